// The one archive object of a run, as the windows and engines reach it. The entry flow sets it
// while an archive object exists; it is empty otherwise (an uninstall run has none).
#pragma once

namespace vn {

class TVrFileCollection;

TVrFileCollection* SharedArchive();

// Sets the reference for the lifetime of this object and empties it again on every way out.
class SharedArchiveScope {
 public:
  explicit SharedArchiveScope(TVrFileCollection* archive);
  ~SharedArchiveScope();
  SharedArchiveScope(const SharedArchiveScope&) = delete;
  SharedArchiveScope& operator=(const SharedArchiveScope&) = delete;

 private:
  TVrFileCollection* previous_;
};

}  // namespace vn
