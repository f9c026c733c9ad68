#include "launcher/shared_archive.h"

namespace vn {

namespace {
TVrFileCollection* g_shared_archive = nullptr;
}

TVrFileCollection* SharedArchive() {
  return g_shared_archive;
}

SharedArchiveScope::SharedArchiveScope(TVrFileCollection* archive) : previous_(g_shared_archive) {
  g_shared_archive = archive;
}

SharedArchiveScope::~SharedArchiveScope() {
  g_shared_archive = previous_;
}

}  // namespace vn
