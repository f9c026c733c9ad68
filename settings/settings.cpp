#include "settings/settings.h"

#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

#include "platform/disc_files.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace vn {

namespace {

// Reads the fields of install.dat, refusing any count or length the remaining bytes cannot hold,
// so a damaged file never makes us read past its end or allocate more than its size.
class FieldReader {
 public:
  explicit FieldReader(TStream& stream) : stream_(stream) {}

  int64_t Offset() { return stream_.GetPosition(); }

  template <typename T>
  T Scalar(std::string_view field) {
    const int64_t at = Offset();
    const int64_t left = stream_.Remaining();
    if (left < static_cast<int64_t>(sizeof(T))) {
      Fail(field, at,
           "cut short (needs " + std::to_string(sizeof(T)) + (sizeof(T) == 1 ? " byte, " : " bytes, ") +
               std::to_string(left) + " left)");
    }
    return ReadLE<T>(stream_);
  }

  bool Flag(std::string_view field) { return Scalar<uint8_t>(field) != 0; }

  DataString Lstr(std::string_view field) {
    const int64_t at = Offset();
    const int32_t length = Scalar<int32_t>(field);
    if (length <= 0) return DataString();  // 0 or less: the empty string, nothing follows
    const int64_t left = stream_.Remaining();
    if (length > left) {
      Fail(field, at,
           "string of " + std::to_string(length) + " bytes runs past the end (" + std::to_string(left) +
               " bytes left)");
    }
    std::string bytes(static_cast<size_t>(length), '\0');
    stream_.ReadBuffer(bytes.data(), length);
    return DataString(std::move(bytes));
  }

  // A list count; each entry takes at least entry_size bytes.
  int32_t Count(std::string_view field, int64_t entry_size) {
    const int64_t at = Offset();
    const int32_t count = Scalar<int32_t>(field);
    if (count < 0) Fail(field, at, "negative count " + std::to_string(count));
    const int64_t left = stream_.Remaining();
    if (count > left / entry_size) {
      Fail(field, at,
           "count " + std::to_string(count) + " cannot fit in the " + std::to_string(left) + " bytes left");
    }
    return count;
  }

  // A size: int64 from version 100 on, an unsigned int32 before.
  int64_t Size(std::string_view field, bool wide) {
    return wide ? Scalar<int64_t>(field) : static_cast<int64_t>(Scalar<uint32_t>(field));
  }

  [[noreturn]] static void Fail(std::string_view field, int64_t at, const std::string& what) {
    throw EFormatError(std::string(field) + " at offset " + std::to_string(at) + ": " + what);
  }

 private:
  TStream& stream_;
};

// "is" + three bytes read as a decimal number; no header means version 0 and no bytes taken.
int ReadVersion(TStream& stream) {
  const int64_t start = stream.GetPosition();
  char magic[2];
  if (stream.Remaining() < 2 || (stream.ReadBuffer(magic, 2), std::memcmp(magic, "is", 2) != 0)) {
    stream.SetPosition(start);
    return 0;
  }
  if (stream.Remaining() < 3)
    FieldReader::Fail("header", start, "the version number after \"is\" is cut off");
  char digits[3];
  stream.ReadBuffer(digits, 3);
  // Read as a number the way the file's makers did: leading blanks and a sign are allowed; any
  // other text gives version 0, and reading goes on after the header either way.
  std::string_view text(digits, 3);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  int sign = 1;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    if (text.front() == '-') sign = -1;
    text.remove_prefix(1);
  }
  if (text.empty()) return 0;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return sign * value;
}

void WriteLstr(TStream& stream, const DataString& s, std::string_view field) {
  if (s.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    throw EWriteError(std::string(field) + ": string too long for the settings file");
  }
  WriteLE<int32_t>(stream, static_cast<int32_t>(s.size()));
  stream.WriteBuffer(s.data(), static_cast<int64_t>(s.size()));
}

void WriteCount(TStream& stream, size_t count, std::string_view field) {
  if (count > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    throw EWriteError(std::string(field) + ": too many entries for the settings file");
  }
  WriteLE<int32_t>(stream, static_cast<int32_t>(count));
}

void WriteFlag(TStream& stream, bool flag) {
  WriteLE<uint8_t>(stream, flag ? 1 : 0);
}

}  // namespace

void TVondInstallSet::SetDiscCount(int32_t count) {
  if (count < 0) throw Exception("DiscCount cannot be negative (" + std::to_string(count) + ")");
  disc_count_ = count;
  for (auto* sizes : {&DiscProgSize, &DiscDataSize, &DiscSoundSize, &DiscMovieSize}) {
    sizes->resize(static_cast<size_t>(count), 0);
  }
}

void TVondInstallSet::CheckForInstall() const {
  if (DiscIndex < 0 || DiscIndex >= disc_count_) {
    throw EFormatError("DiscIndex " + std::to_string(DiscIndex) + " is outside 0 to " +
                       std::to_string(disc_count_ - 1) + " (DiscCount " + std::to_string(disc_count_) +
                       "): no disc of the set carries this file");
  }
}

void TVondInstallSet::LoadFromStream(TStream& stream) {
  // Read into a copy: fields the version does not carry keep their values, and a damaged file
  // leaves this object untouched.
  TVondInstallSet s = *this;
  const int version = ReadVersion(stream);
  const bool wide = version >= 100;
  FieldReader r(stream);

  s.DiscIndex = r.Scalar<int32_t>("DiscIndex");
  s.Title = r.Lstr("Title");
  s.FooterText = r.Lstr("FooterText");
  s.DefaultFolder = r.Lstr("DefaultFolder");
  s.ReadmeName = r.Lstr("ReadmeName");
  s.ShowReadme = r.Flag("ShowReadme");
  s.BackgroundPicture = r.Lstr("BackgroundPicture");
  s.BackgroundMode = r.Scalar<uint8_t>("BackgroundMode");
  // Every disc record is four sizes; the count is checked against what is left before the
  // arrays grow.
  s.SetDiscCount(r.Count("DiscCount", wide ? 32 : 16));
  s.ExeName = r.Lstr("ExeName");
  s.PictureKey = r.Scalar<int32_t>("PictureKey");
  s.OfferRuntimes = r.Flag("OfferRuntimes");
  s.ReservedFlag = r.Scalar<uint8_t>("ReservedFlag");
  s.MediaName = r.Lstr("MediaName");
  s.RegistryKey = r.Lstr("RegistryKey");
  for (size_t i = 0; i < static_cast<size_t>(s.disc_count_); ++i) {
    std::string disc("[");  // built by appending: GCC 12 warns falsely on "[" + std::string
    disc += std::to_string(i);
    disc += ']';
    s.DiscProgSize[i] = r.Size("DiscProgSize" + disc, wide);
    s.DiscDataSize[i] = r.Size("DiscDataSize" + disc, wide);
    s.DiscSoundSize[i] = r.Size("DiscSoundSize" + disc, wide);
    s.DiscMovieSize[i] = r.Size("DiscMovieSize" + disc, wide);
  }
  s.ProgSize = r.Size("ProgSize", wide);
  s.DataSize = r.Size("DataSize", wide);
  s.SoundSize = r.Size("SoundSize", wide);
  s.MovieSize = r.Size("MovieSize", wide);
  s.Installed = r.Flag("Installed");
  if (version >= 101) s.UpdateMode = r.Flag("UpdateMode");
  s.InstalledFiles.clear();
  if (version >= 102) {
    const int32_t count = r.Count("InstalledFiles", 4);
    for (int32_t i = 0; i < count; ++i) {
      DataString name = r.Lstr("InstalledFiles[" + std::to_string(i) + "]");
      if (!name.empty()) s.InstalledFiles.push_back(std::move(name));  // empty entries are dropped
    }
  }
  if (version >= 103) s.DataInstalled = r.Flag("DataInstalled");
  if (version >= 104) s.InstallType = r.Scalar<uint8_t>("InstallType");
  if (version >= 105) s.SeparateFiles = r.Flag("SeparateFiles");
  s.DiscFiles.clear();
  if (version >= 106) {
    const int32_t count = r.Count("DiscFiles", 4);
    for (int32_t i = 0; i < count; ++i) s.DiscFiles.push_back(r.Lstr("DiscFiles[" + std::to_string(i) + "]"));
  }
  if (version >= 107) s.WizardCaption = r.Lstr("WizardCaption");
  if (version >= 108) {
    s.HelloText = r.Lstr("HelloText");
    s.LicenseText = r.Lstr("LicenseText");
  }
  // Anything after the last field is ignored.
  s.loaded_version_ = version;
  *this = std::move(s);
}

void TVondInstallSet::LoadNamed(TStream& stream, const std::string& name) {
  try {
    LoadFromStream(stream);
  } catch (const EFormatError& e) {
    throw EFormatError(name + ": damaged settings file: " + e.what());
  }
}

void TVondInstallSet::LoadFromFile(const std::filesystem::path& file_name) {
  TMemoryStream data(ReadWholeFile(file_name, kMaxFileBytes));
  LoadNamed(data, PathToUtf8(file_name));
}

bool TVondInstallSet::LoadFromDisc(const vn::DiscFiles& disc) {
  const std::optional<DiscFileInfo> file = disc.Find("install.dat");
  if (!file) return false;
  if (!disc.IsImage()) {
    LoadFromFile(disc.Location() / Utf8ToPath(file->path));
    return true;
  }
  const std::string name = disc.Describe(*file);
  if (file->size > kMaxFileBytes) {
    throw EFOpenError(name + ": the file is " + std::to_string(file->size) + " bytes, more than the " +
                      std::to_string(kMaxFileBytes) + " accepted here");
  }
  TMemoryStream data;
  data.SetSize(file->size);
  if (disc.Open(*file).ReadAt(0, data.Memory(), file->size) != file->size) {
    throw EReadError(name + ": cannot read");
  }
  LoadNamed(data, name);
  return true;
}

void TVondInstallSet::SaveToStream(TStream& stream) const {
  for (const auto* sizes : {&DiscProgSize, &DiscDataSize, &DiscSoundSize, &DiscMovieSize}) {
    if (sizes->size() != static_cast<size_t>(disc_count_)) {
      throw EWriteError("the per-disc sizes hold " + std::to_string(sizes->size()) +
                        " entries, DiscCount is " + std::to_string(disc_count_));
    }
  }
  stream.WriteBuffer("is108", 5);
  static_assert(kFileVersion == 108, "the header above names the version");
  WriteLE<int32_t>(stream, DiscIndex);
  WriteLstr(stream, Title, "Title");
  WriteLstr(stream, FooterText, "FooterText");
  WriteLstr(stream, DefaultFolder, "DefaultFolder");
  WriteLstr(stream, ReadmeName, "ReadmeName");
  WriteFlag(stream, ShowReadme);
  WriteLstr(stream, BackgroundPicture, "BackgroundPicture");
  WriteLE<uint8_t>(stream, BackgroundMode);
  WriteLE<int32_t>(stream, disc_count_);
  WriteLstr(stream, ExeName, "ExeName");
  WriteLE<int32_t>(stream, PictureKey);
  WriteFlag(stream, OfferRuntimes);
  WriteLE<uint8_t>(stream, ReservedFlag);
  WriteLstr(stream, MediaName, "MediaName");
  WriteLstr(stream, RegistryKey, "RegistryKey");
  for (size_t i = 0; i < static_cast<size_t>(disc_count_); ++i) {
    WriteLE<int64_t>(stream, DiscProgSize[i]);
    WriteLE<int64_t>(stream, DiscDataSize[i]);
    WriteLE<int64_t>(stream, DiscSoundSize[i]);
    WriteLE<int64_t>(stream, DiscMovieSize[i]);
  }
  for (int64_t total : {ProgSize, DataSize, SoundSize, MovieSize}) WriteLE<int64_t>(stream, total);
  WriteFlag(stream, Installed);
  WriteFlag(stream, UpdateMode);
  WriteCount(stream, InstalledFiles.size(), "InstalledFiles");
  for (const DataString& name : InstalledFiles) WriteLstr(stream, name, "InstalledFiles");
  WriteFlag(stream, DataInstalled);
  WriteLE<uint8_t>(stream, InstallType);
  WriteFlag(stream, SeparateFiles);
  WriteCount(stream, DiscFiles.size(), "DiscFiles");
  for (const DataString& name : DiscFiles) WriteLstr(stream, name, "DiscFiles");
  WriteLstr(stream, WizardCaption, "WizardCaption");
  WriteLstr(stream, HelloText, "HelloText");
  WriteLstr(stream, LicenseText, "LicenseText");
}

void TVondInstallSet::SaveToFile(const std::filesystem::path& file_name) const {
  TMemoryStream data;
  try {
    SaveToStream(data);
  } catch (const EWriteError& e) {
    throw EWriteError(PathToUtf8(file_name) + ": " + e.what());
  }
  WriteFileAtomically(file_name, data.Bytes());
}

const DataString& TVondInstallSet::GetInstalledFile(int32_t index) const {
  if (index < 0 || index >= InstalledFileCount()) {
    throw Exception("InstalledFiles: index " + std::to_string(index) + " out of bounds (" +
                    std::to_string(InstalledFileCount()) + " entries)");
  }
  return InstalledFiles[static_cast<size_t>(index)];
}

int32_t TVondInstallSet::FindInstalledFile(const DataString& name) const {
  for (size_t i = 0; i < InstalledFiles.size(); ++i) {
    if (AnsiSameText(InstalledFiles[i], name)) return static_cast<int32_t>(i);
  }
  return -1;
}

void TVondInstallSet::AddInstalledFile(const DataString& name) {
  if (FindInstalledFile(name) < 0) InstalledFiles.push_back(name);
}

bool TVondInstallSet::IsDiscFile(const DataString& relative_path) const {
  const DataString lower = AnsiLowerCase(relative_path);
  for (const DataString& entry : DiscFiles) {
    if (AnsiSameText(entry, lower)) return true;
  }
  return false;
}

DataString TVondInstallSet::GetWizardCaption() const {
  if (!WizardCaption.empty()) return WizardCaption;
  static const DataString kSuffix = Utf8ToCp932("のセットアップ");
  return Title + kSuffix;
}

}  // namespace vn
