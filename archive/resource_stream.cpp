// A resource of a module read as a stream: the module file is read at the resource's bytes.
#include <algorithm>
#include <system_error>

#include "archive/big_stream.h"
#include "archive/module_resource.h"
#include "platform/error.h"
#include "platform/paths.h"

namespace vn {

namespace fs = std::filesystem;

std::string ResourceSectionName(const std::string& name, const std::string& type) {
  return ".rsrc." + type + "." + name;
}

bool IsLoadableModule(const fs::path& module) {
  std::error_code ec;
  if (!fs::is_regular_file(module, ec)) return false;
  try {
    File file(module, FileAccess::kRead);
    return IsModuleFile(file);
  } catch (const Exception&) {
    return false;
  }
}

TResourceStream::TResourceStream(const fs::path& module, const std::string& name, const std::string& type)
    : file_(module, FileAccess::kRead) {
  const std::optional<ResourceBytes> found = FindModuleResource(file_, name, type);
  if (!found) throw EFOpenError(PathToUtf8(module) + ": resource " + type + "/" + name + " not found");
  start_ = found->offset;
  size_ = found->size;
}

int64_t TResourceStream::Read(void* buffer, int64_t count) {
  const int64_t n = std::clamp<int64_t>(size_ - position_, 0, std::max<int64_t>(count, 0));
  if (n == 0) return 0;
  const int64_t got = file_.ReadAt(start_ + position_, buffer, n);
  position_ += std::max<int64_t>(got, 0);
  return got;
}

int64_t TResourceStream::Write(const void*, int64_t) {
  throw EWriteError(PathToUtf8(file_.Path()) + ": a resource cannot be written");
}

int64_t TResourceStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = 0;
  if (origin == SeekOrigin::kCurrent) base = position_;
  if (origin == SeekOrigin::kEnd) base = size_;
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}

}  // namespace vn
