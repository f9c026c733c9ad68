// Module resources on Windows: the PE resource of the module, found by the system's own lookup
// (FindResourceW), as the resource "DUMMY" of type "BINTYPE" is looked up on the discs. The module is
// mapped in image layout, where the resource's address gives its RVA; the section table turns that
// into the offset within the file, where the stream then reads like any other.
#include <windows.h>

#include "archive/module_resource.h"
#include "platform/paths.h"

namespace vn {

namespace {

class DataModule {
 public:
  explicit DataModule(const std::filesystem::path& file)
      : module_(LoadLibraryExW(file.c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~DataModule() {
    if (module_) FreeLibrary(module_);
  }
  DataModule(const DataModule&) = delete;
  DataModule& operator=(const DataModule&) = delete;
  HMODULE get() const { return module_; }
  // The start of the mapping: a resource-only module's handle carries flag bits in its low bits.
  const char* Base() const {
    return reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(module_) & ~static_cast<uintptr_t>(3));
  }

  // The file offset of an RVA, through the section table of the mapped headers (which the system has
  // checked while mapping); none when no section holds [rva, rva + size) in the file.
  std::optional<int64_t> FileOffsetOf(uint64_t rva, uint64_t size) const {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Base());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(Base() + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
      const uint64_t start = section->VirtualAddress;
      const uint64_t raw = section->SizeOfRawData;
      if (rva >= start && rva - start <= raw && size <= raw - (rva - start)) {
        return static_cast<int64_t>(section->PointerToRawData + (rva - start));
      }
    }
    return std::nullopt;
  }

 private:
  HMODULE module_;
};

std::wstring Wide(const std::string& ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

}  // namespace

bool IsModuleFile(File& file) {
  return DataModule(file.Path()).get() != nullptr;
}

std::optional<ResourceBytes> FindModuleResource(File& file, const std::string& name,
                                                const std::string& type) {
  const DataModule module(file.Path());
  if (!module.get()) return std::nullopt;
  // Resource names and types are compared without regard to case by the system itself.
  const HRSRC info = FindResourceW(module.get(), Wide(name).c_str(), Wide(type).c_str());
  if (!info) return std::nullopt;
  const DWORD size = SizeofResource(module.get(), info);
  const HGLOBAL loaded = LoadResource(module.get(), info);
  const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (!data) return std::nullopt;
  const std::optional<int64_t> offset =
      module.FileOffsetOf(static_cast<uint64_t>(data - module.Base()), size);
  if (!offset || *offset + static_cast<int64_t>(size) > file.Size()) return std::nullopt;
  return ResourceBytes{*offset, static_cast<int64_t>(size)};
}

}  // namespace vn
