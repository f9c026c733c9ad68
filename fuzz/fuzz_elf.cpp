// The archive resource of an ELF module: whatever the file says, a resource that is found lies
// within the file, and reading it through the resource stream stays within it; then the archive
// inside it is opened as the launcher opens its own, and every entry read.
#include <cstdlib>

#include "archive/big_stream.h"
#include "archive/module_resource.h"
#include "archive/vr_files.h"
#include "fuzz/fuzz_support.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vn;
  const std::filesystem::path module = fuzz::Scratch() / "module";
  fuzz::WriteBytes(module, fuzz::AsView(data, size));
  try {
    File file(module, FileAccess::kRead);
    IsModuleFile(file);
    const auto found = FindModuleResource(file, "DUMMY", "BINTYPE");
    if (!found) return 0;
    if (found->offset < 0 || found->size < 0 || found->offset > static_cast<int64_t>(size) ||
        found->size > static_cast<int64_t>(size) - found->offset) {
      std::abort();
    }
    TResourceStream stream(module, "DUMMY", "BINTYPE");
    std::string bytes(static_cast<size_t>(stream.GetSize()), '\0');
    if (stream.Read(bytes.data(), stream.GetSize()) != found->size) std::abort();
  } catch (const Exception&) {
    return 0;
  }
  try {
    TVrFileCollection files;
    files.OpenResource(module, "DUMMY", "BINTYPE");
    for (int i = 0; i + 1 < files.Count() && i < 64; ++i) {
      try {
        TMemoryStream entry;
        files.ReadEntry(entry, files[i].Name());
      } catch (const Exception&) {
      }
    }
    files.Verify();
  } catch (const Exception&) {
  }
  return 0;
}
