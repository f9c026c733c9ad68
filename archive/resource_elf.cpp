// Module resources on ELF systems: a resource is a section of the module file, found through the
// section table. Every field read from the file is checked against the file's length before use.
#include <elf.h>

#include <algorithm>
#include <cstring>

#include "archive/big_stream.h"
#include "archive/module_resource.h"

namespace vn {

namespace {

static_assert(sizeof(Elf64_Ehdr) == 64 && sizeof(Elf64_Shdr) == 64);
static_assert(sizeof(Elf32_Ehdr) == 52 && sizeof(Elf32_Shdr) == 40);

struct Section {
  uint32_t name;
  uint32_t type;
  uint64_t offset;
  uint64_t size;
  uint32_t link;
};

bool SameTextAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
           return fold(x) == fold(y);
         });
}

class ElfReader {
 public:
  ElfReader(File& file) : file_(file), size_(file.Size()) {}

  // False when the file is not a little-endian ELF file with a usable section table.
  bool ReadHeader() {
    unsigned char ident[EI_NIDENT];
    if (size_ < EI_NIDENT || file_.ReadAt(0, ident, EI_NIDENT) != EI_NIDENT) return false;
    if (std::memcmp(ident, ELFMAG, SELFMAG) != 0 || ident[EI_DATA] != ELFDATA2LSB) return false;
    is64_ = ident[EI_CLASS] == ELFCLASS64;
    if (!is64_ && ident[EI_CLASS] != ELFCLASS32) return false;
    if (is64_) {
      Elf64_Ehdr h;
      if (!ReadStruct(0, h)) return false;
      shoff_ = h.e_shoff, shentsize_ = h.e_shentsize, shnum_ = h.e_shnum, shstrndx_ = h.e_shstrndx;
    } else {
      Elf32_Ehdr h;
      if (!ReadStruct(0, h)) return false;
      shoff_ = h.e_shoff, shentsize_ = h.e_shentsize, shnum_ = h.e_shnum, shstrndx_ = h.e_shstrndx;
    }
    if (shoff_ == 0) return false;
    if (shentsize_ < (is64_ ? sizeof(Elf64_Shdr) : sizeof(Elf32_Shdr))) return false;
    Section first;
    if (!ReadSection(0, first)) return false;
    // Large section counts and string-table indices live in the first section header.
    if (shnum_ == 0) shnum_ = first.size;
    if (shstrndx_ == SHN_XINDEX) shstrndx_ = first.link;
    if (shnum_ > (size_ - std::min<uint64_t>(shoff_, size_)) / shentsize_) return false;
    return shstrndx_ < shnum_;
  }

  bool ReadSection(uint64_t index, Section& s) {
    const uint64_t at = shoff_ + index * shentsize_;
    if (is64_) {
      Elf64_Shdr h;
      if (!ReadStruct(at, h)) return false;
      s = {h.sh_name, h.sh_type, h.sh_offset, h.sh_size, h.sh_link};
    } else {
      Elf32_Shdr h;
      if (!ReadStruct(at, h)) return false;
      s = {h.sh_name, h.sh_type, h.sh_offset, h.sh_size, h.sh_link};
    }
    return true;
  }

  // Finds a section by name (ASCII letters compared without regard to case).
  bool Find(std::string_view wanted, Section& found) {
    Section names;
    if (!ReadSection(shstrndx_, names) || !InFile(names.offset, names.size)) return false;
    // section names are short; a string table is read whole only when it is of a sane size
    if (names.size > (16u << 20)) return false;
    std::string table(static_cast<size_t>(names.size), '\0');
    if (file_.ReadAt(static_cast<int64_t>(names.offset), table.data(), static_cast<int64_t>(table.size())) !=
        static_cast<int64_t>(table.size())) {
      return false;
    }
    for (uint64_t i = 1; i < shnum_; ++i) {
      Section s;
      if (!ReadSection(i, s) || s.name >= table.size()) continue;
      const size_t end = table.find('\0', s.name);
      if (end == std::string::npos) continue;
      if (!SameTextAscii(std::string_view(table).substr(s.name, end - s.name), wanted)) continue;
      if (s.type == SHT_NOBITS || !InFile(s.offset, s.size)) continue;
      found = s;
      return true;
    }
    return false;
  }

 private:
  bool InFile(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }
  template <typename T>
  bool ReadStruct(uint64_t at, T& out) {
    if (!InFile(at, sizeof out)) return false;
    return file_.ReadAt(static_cast<int64_t>(at), &out, sizeof out) == static_cast<int64_t>(sizeof out);
  }

  File& file_;
  uint64_t size_;
  bool is64_ = true;
  uint64_t shoff_ = 0, shentsize_ = 0, shnum_ = 0, shstrndx_ = 0;
};

}  // namespace

bool IsModuleFile(File& file) {
  return ElfReader(file).ReadHeader();
}

std::optional<ResourceBytes> FindModuleResource(File& file, const std::string& name,
                                                const std::string& type) {
  ElfReader elf(file);
  Section section;
  if (!elf.ReadHeader() || !elf.Find(ResourceSectionName(name, type), section)) return std::nullopt;
  return ResourceBytes{static_cast<int64_t>(section.offset), static_cast<int64_t>(section.size)};
}

}  // namespace vn
