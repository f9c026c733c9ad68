// Opening archives and reading entries.
#include <algorithm>
#include <limits>
#include <new>
#include <optional>
#include <system_error>

#include "archive/archive_directory.h"
#include "archive/vr_files.h"
#include "archive/zlib_stream.h"
#include "platform/disc_files.h"
#include "platform/error.h"
#include "platform/paths.h"

namespace vn {

namespace fs = std::filesystem;

namespace {

bool HasExtensionIgnoringCase(const fs::path& path, std::string_view ext) {
  return SameNameIgnoringCase(FileExtension(path), ext);
}

// An executable carries its archive behind the program, found through the trailer.
bool IsExecutableName(const fs::path& path) {
  return HasExtensionIgnoringCase(path, ".exe") || HasExtensionIgnoringCase(path, ".scr");
}

}  // namespace

// A side file holds only the directory: a million entries with long names fit in this.
constexpr int64_t kMaxDirectoryFileBytes = int64_t{64} << 20;

// Letter case of the side file's name does not matter, as on the systems the discs were made for.
fs::path DirectoryFileOf(const fs::path& data_file) {
  const fs::path side = ChangeFileExtension(data_file, ".ext");
  std::error_code ec;
  if (fs::exists(side, ec)) return side;
  try {
    return JoinNativePath(side.parent_path().empty() ? fs::path(".") : side.parent_path(),
                          PathToUtf8(side.filename()));
  } catch (const Exception&) {
    return side;
  }
}

const DataString& TVrFileCollection::EofName() {
  static const DataString name("\\EOF\\");
  return name;
}

void TVrFile::Assign(const THashCollectionItem& source) {
  THashCollectionItem::Assign(source);
  if (const auto* other = dynamic_cast<const TVrFile*>(&source)) {
    Offset = other->Offset;
    Size = other->Size;
    Stored = other->Stored;
    Time = other->Time;
    CRC = other->CRC;
    Separate = other->Separate;
    Source = other->Source;
  }
}

TVrFileCollection::~TVrFileCollection() = default;

TVrFile& TVrFileCollection::Add(const DataString& name) {
  return static_cast<TVrFile&>(AddItem(new (ItemStorage(sizeof(TVrFile))) TVrFile(), name));
}

void TVrFileCollection::Close() {
  Clear();
  directory_.reset();
  side_directory_.reset();
  stream_.reset();
  disc_.reset();
  version_ = 0;
}

ArchiveDirectoryReader* TVrFileCollection::OpenDirectory(const fs::path& file_name) {
  entries_in_directory_ = true;
  try {
    Open(file_name);
  } catch (...) {
    entries_in_directory_ = false;
    throw;
  }
  entries_in_directory_ = false;
  return directory_.get();
}

std::string TVrFileCollection::Describe() const {
  return file_name_.empty() ? std::string("archive") : PathToUtf8(file_name_);
}

void TVrFileCollection::Open(const fs::path& file_name, bool use_folder_of_file) {
  Close();
  file_name_ = file_name;
  if (file_name.empty()) return;

  std::error_code ec;
  const bool exists = fs::is_regular_file(file_name, ec);
  base_path_ = (exists || use_folder_of_file) ? file_name.parent_path() : file_name;
  if (base_path_.empty()) base_path_ = ".";
  if (!exists) return;

  stream_ = std::make_unique<TBigFileStream>(file_name, TBigFileStream::kRead);
  const fs::path side = DirectoryFileOf(file_name);
  auto directory = std::make_unique<TBigMemoryStream>();
  const bool has_side = !IsExecutableName(file_name) && fs::is_regular_file(side, ec);
  if (has_side) directory->LoadFromFile(side, kMaxDirectoryFileBytes);
  LoadOpenedArchive(has_side ? directory.get() : nullptr, PathToUtf8(side));
  if (directory_ && has_side) side_directory_ = std::move(directory);  // the reader reads it
}

void TVrFileCollection::Open(std::shared_ptr<const DiscFiles> disc, std::string_view name) {
  if (!disc->IsImage()) {
    Open(FileInFolder(disc->Location(), name));
    return;
  }
  Close();
  disc_ = disc;
  std::optional<DiscFileInfo> data = disc->Find(name);
  file_name_ = disc->Location() / Utf8ToPath(data ? data->path : std::string(name));
  if (!data) return;
  // The part files, each the part's name in the image, up to the first missing number.
  std::vector<File> parts;
  parts.push_back(disc->Open(*data));
  for (int i = 1;; ++i) {
    const std::optional<DiscFileInfo> part = disc->Find(PathToUtf8(PartFileOf(Utf8ToPath(data->path), i)));
    if (!part) break;
    parts.push_back(disc->Open(*part));
  }
  stream_ = std::make_unique<TBigFileStream>(file_name_, std::move(parts));
  const std::string side_name = PathToUtf8(ChangeFileExtension(Utf8ToPath(data->path), ".ext"));
  const std::optional<DiscFileInfo> side =
      IsExecutableName(file_name_) ? std::nullopt : disc->Find(side_name);
  TBigMemoryStream directory;
  if (side) {
    if (side->size > kMaxDirectoryFileBytes) {
      throw EFOpenError(disc->Describe(*side) + ": the file is " + std::to_string(side->size) +
                        " bytes, more than the " + std::to_string(kMaxDirectoryFileBytes) + " accepted here");
    }
    File file = disc->Open(*side);
    directory.Memory().SetSize(side->size);
    if (file.ReadAt(0, directory.Memory().Memory(), side->size) != side->size) {
      throw EReadError(disc->Describe(*side) + ": cannot read");
    }
  }
  LoadOpenedArchive(side ? &directory : nullptr, side ? disc->Describe(*side) : std::string());
}

void TVrFileCollection::LoadOpenedArchive(TBigMemoryStream* side, const std::string& side_label) {
  const int64_t size = stream_->GetSize();
  if (!IsExecutableName(file_name_)) {
    if (side) {
      // The side file's offsets point into the data file as they stand.
      LoadDirectory(*side, size, side_label);
    } else {
      LoadDirectory(*stream_, size, Describe());
    }
    return;
  }

  // An executable ends with the archive's start S and "vd"; the archive lies between S and them.
  if (size < 6) throw EFormatError(Describe() + ": too short to carry an archive");
  stream_->SetPosition(size - 6);
  int32_t start = 0;
  stream_->ReadBuffer(&start, 4);
  if (start < 0 || start > size - 6) {
    throw EFormatError(Describe() + ": the archive trailer points outside the file (" +
                       std::to_string(start) + ")");
  }
  stream_->SetPosition(start);
  LoadDirectory(*stream_, size - 6 - start, Describe());
}

void TVrFileCollection::OpenResource(const fs::path& module, const std::string& name,
                                     const std::string& type) {
  Close();
  if (!IsLoadableModule(module)) return;
  stream_ = std::make_unique<TBigResourceStream>(module, name, type);
  if (stream_->GetSize() == 0) throw Exception("リソースが見つかりません");
  LoadDirectory(*stream_, stream_->GetSize(), PathToUtf8(module) + " (resource " + type + "/" + name + ")");
}

void TVrFileCollection::LoadFromStream(TBigStream& source) {
  LoadDirectory(source, source.GetSize() - source.GetPosition(), Describe());
}

void TVrFileCollection::LoadDirectory(TBigStream& source, int64_t data_end, const std::string& label) {
  auto read = std::make_unique<ArchiveDirectoryReader>(
      source, AcceptCutOffData ? std::numeric_limits<int64_t>::max() : data_end, label);
  ArchiveDirectoryReader& reader = *read;
  version_ = reader.Version();
  if (entries_in_directory_) {
    directory_ = std::move(read);
    return;
  }
  Reserve(Count() + reader.Count() + 1);
  for (DirectoryEntry e; reader.Next(e);) {
    TVrFile& entry = Add(e.name);
    entry.Offset = e.offset + reader.Start();
    entry.Size = e.size;
    entry.Stored = e.stored;
    entry.Time = e.time;
    entry.CRC = e.crc;
    entry.Separate = e.separate;
  }
  // The end marker keeps the unshifted end offset and no size.
  Add(EofName()).Offset = reader.EndOffset();
  source.SetPosition(reader.End());
}

void TVrFileCollection::ReadStoredEntry(TBigStream& data, const TVrFile& entry, TStream& target) const {
  const auto cut_short = [&] {
    return EReadError(Describe() + ": entry " + Cp932ToUtf8Lossy(entry.Name()) + " is cut short");
  };
  // An entry of stored length 0 (the end marker among them) is empty, whatever its flags say.
  if (entry.Size == 0) return;
  data.SetPosition(entry.Offset);
  auto* memory = dynamic_cast<TMemoryStream*>(&target);
  try {
    if (entry.Stored || memory != nullptr) {
      if (data.ReadToStream(target, entry.Size) != entry.Size) throw cut_short();
      // a memory target was emptied before, so it holds exactly the compressed bytes
      if (!entry.Stored) DecompressMemoryStream(*memory);
    } else {
      TMemoryStream packed;
      if (data.ReadToStream(packed, entry.Size) != entry.Size) throw cut_short();
      InflateToStream(packed.Memory(), static_cast<size_t>(packed.GetSize()), target);
    }
  } catch (const EFormatError& e) {
    throw EFormatError(Describe() + ": entry " + Cp932ToUtf8Lossy(entry.Name()) + ": " + e.what());
  }
}

void TVrFileCollection::ReadEntry(TStream& target, const DataString& name) {
  auto* memory = dynamic_cast<TMemoryStream*>(&target);
  if (memory != nullptr) memory->Clear();

  const int index = stream_ ? IndexOf(name) : -1;
  if (index >= 0) {
    ReadStoredEntry(*stream_, (*this)[index], target);
    target.SetPosition(0);
    return;
  }
  if (disc_ && ReadDiscEntry(target, name)) return;
  if (!base_path_.empty()) {
    const fs::path path = JoinDataPath(base_path_, name);
    std::error_code ec;
    // the archive file itself is never served as one of its own entries
    const bool is_archive = !file_name_.empty() && fs::equivalent(path, file_name_, ec);
    if (fs::is_regular_file(path, ec) && !is_archive) {
      if (memory != nullptr) {
        memory->LoadFromFile(path);
      } else {
        TFileStream file(path, FileAccess::kRead);
        CopyStreamData(target, file, 0);
      }
      target.SetPosition(0);
      return;
    }
  }
  throw EFOpenError(Cp932ToUtf8Lossy(name) + ":ファイルがありません");
}

// A loose file of the disc image as the entry `name`; false when the image has none of that name.
bool TVrFileCollection::ReadDiscEntry(TStream& target, const DataString& name) {
  std::string relative;
  if (!TryCp932ToUtf8(name, relative)) return false;
  const std::optional<DiscFileInfo> file = disc_->Find(relative);
  // the archive file itself is never served as one of its own entries
  if (!file || disc_->Location() / Utf8ToPath(file->path) == file_name_) return false;
  TFileStream stream(disc_->Open(*file));
  CopyStreamData(target, stream, 0);
  target.SetPosition(0);
  return true;
}

std::unique_ptr<TBigStream> TVrFileCollection::OpenDataStream() const {
  // an archive inside a disc image has no file of its own to open again
  const auto* file = dynamic_cast<const TBigFileStream*>(stream_.get());
  if (file == nullptr || disc_ != nullptr) return nullptr;
  return std::make_unique<TBigFileStream>(file->FileName(), TBigFileStream::kRead);
}

void TVrFileCollection::ReadEntryFrom(TBigStream& data, const TVrFile& entry, TStream& target) const {
  ReadStoredEntry(data, entry, target);
}

}  // namespace vn
