#include "settings/settings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <optional>
#include <set>
#include <string_view>

#include "messages/messages.h"
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
  // With a form, what the fields do not keep apart is recorded there.
  FieldReader(TStream& stream, TSettingsFileForm* form) : stream_(stream), form_(form) {}

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

  bool Flag(std::string_view field) {
    const uint8_t byte = Scalar<uint8_t>(field);
    if (form_ && byte > 1) form_->flag_bytes[std::string(field)] = byte;
    return byte != 0;
  }

  DataString Lstr(std::string_view field) {
    const int64_t at = Offset();
    const int32_t length = Scalar<int32_t>(field);
    if (form_ && length < 0) form_->negative_lengths[std::string(field)] = length;
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
  TSettingsFileForm* form_;
};

// The three bytes after "is" read as a number the way the file's makers did: leading blanks and a
// sign are allowed; any other text gives version 0.
int VersionOfDigits(std::string_view text) {
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

// "is" + three bytes read as a decimal number; no header means version 0 and no bytes taken.
// Reading goes on after the header whatever its digits say. `header` receives its bytes.
int ReadVersion(TStream& stream, std::string& header) {
  const int64_t start = stream.GetPosition();
  header.clear();
  char magic[2];
  if (stream.Remaining() < 2 || (stream.ReadBuffer(magic, 2), std::memcmp(magic, "is", 2) != 0)) {
    stream.SetPosition(start);
    return 0;
  }
  if (stream.Remaining() < 3)
    FieldReader::Fail("header", start, "the version number after \"is\" is cut off");
  char digits[3];
  stream.ReadBuffer(digits, 3);
  header = "is" + std::string(digits, 3);
  return VersionOfDigits(std::string_view(digits, 3));
}

// Writes the fields in a file's form (the one SaveToStream uses by default).
class FieldWriter {
 public:
  FieldWriter(TStream& stream, const TSettingsFileForm& form) : stream_(stream), form_(form) {}

  template <typename T>
  void Scalar(T value) {
    WriteLE<T>(stream_, value);
  }

  void Flag(const char* field, bool flag) {
    const auto odd = form_.flag_bytes.find(field);
    if (odd != form_.flag_bytes.end() && odd->second > 1 && flag) {
      WriteLE<uint8_t>(stream_, odd->second);
    } else {
      WriteLE<uint8_t>(stream_, flag ? 1 : 0);
    }
  }

  void Lstr(const std::string& field, const DataString& s) {
    if (s.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
      throw EWriteError(field + ": string too long for the settings file");
    int32_t length = static_cast<int32_t>(s.size());
    const auto negative = form_.negative_lengths.find(field);
    if (negative != form_.negative_lengths.end()) {
      if (!s.empty() || negative->second >= 0)
        throw EWriteError(field + ": a length of " + std::to_string(negative->second) +
                          " is stored only for an empty text");
      length = negative->second;
      negative_lengths_used_.insert(field);
    }
    WriteLE<int32_t>(stream_, length);
    stream_.WriteBuffer(s.data(), static_cast<int64_t>(s.size()));
  }

  void Count(const char* field, size_t count) {
    if (count > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
      throw EWriteError(std::string(field) + ": too many entries for the settings file");
    WriteLE<int32_t>(stream_, static_cast<int32_t>(count));
  }

  // int64 from version 100 on, an unsigned int32 before.
  void Size(const char* field, int64_t size) {
    if (form_.version >= 100) return WriteLE<int64_t>(stream_, size);
    if (size < 0 || size > int64_t{0xFFFFFFFF}) {
      throw EWriteError(std::string(field) + ": " + std::to_string(size) +
                        " does not fit the 32-bit sizes of a version " + std::to_string(form_.version) +
                        " file");
    }
    WriteLE<uint32_t>(stream_, static_cast<uint32_t>(size));
  }

  // Every negative length of the form belongs to an empty text the file stores.
  void CheckAllLengthsUsed() const {
    for (const auto& [field, length] : form_.negative_lengths) {
      if (negative_lengths_used_.count(field) == 0) {
        throw EWriteError(field + ": a length of " + std::to_string(length) +
                          " is given for a text that a version " + std::to_string(form_.version) +
                          " file does not store");
      }
    }
  }

 private:
  TStream& stream_;
  const TSettingsFileForm& form_;
  std::set<std::string> negative_lengths_used_;
};

}  // namespace

std::string TSettingsFileForm::CanonicalHeader(int version) {
  if (version == 0) return {};
  char header[16];
  std::snprintf(header, sizeof header, "is%03d", version);
  return header;
}

std::vector<DataString> TSettingsFileForm::StoredInstalledFiles(
    const std::vector<DataString>& installed_files) const {
  std::vector<DataString> stored = installed_files;
  for (int32_t at : skipped_installed_files) {
    if (at < 0 || static_cast<size_t>(at) > stored.size()) break;  // positions ascend
    stored.insert(stored.begin() + at, DataString());
  }
  return stored;
}

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
  Load(stream, nullptr);
}

void TVondInstallSet::LoadFromStream(TStream& stream, TSettingsFileForm& form) {
  Load(stream, &form);
}

void TVondInstallSet::Load(TStream& stream, TSettingsFileForm* form_out) {
  // Read into a copy: fields the version does not carry keep their values, and a damaged file
  // leaves this object untouched.
  TVondInstallSet s = *this;
  TSettingsFileForm form;
  const int version = ReadVersion(stream, form.header);
  form.version = version;
  const bool wide = version >= 100;
  FieldReader r(stream, form_out ? &form : nullptr);

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
      if (!name.empty()) {
        s.InstalledFiles.push_back(std::move(name));
      } else {
        form.skipped_installed_files.push_back(i);  // empty entries are dropped
      }
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
  // Anything after the last field is ignored (and kept in the form).
  if (form_out) {
    form.trailing.resize(static_cast<size_t>(stream.Remaining()));
    stream.ReadBuffer(form.trailing.data(), static_cast<int64_t>(form.trailing.size()));
  }
  s.loaded_version_ = version;
  *this = std::move(s);
  if (form_out) *form_out = std::move(form);
}

void TVondInstallSet::LoadNamed(TStream& stream, const std::string& name, TSettingsFileForm* form) {
  try {
    Load(stream, form);
  } catch (const EFormatError& e) {
    throw EFormatError(name + ": damaged settings file: " + e.what());
  }
}

void TVondInstallSet::LoadFromFile(const std::filesystem::path& file_name) {
  TMemoryStream data(ReadWholeFile(file_name, kMaxFileBytes));
  LoadNamed(data, PathToUtf8(file_name));
}

void TVondInstallSet::LoadFromFile(const std::filesystem::path& file_name, TSettingsFileForm& form) {
  TMemoryStream data(ReadWholeFile(file_name, kMaxFileBytes));
  LoadNamed(data, PathToUtf8(file_name), &form);
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
  static_assert(kFileVersion == 108, "the default form names the version");
  SaveToStream(stream, TSettingsFileForm());
}

void TVondInstallSet::SaveToStream(TStream& stream, const TSettingsFileForm& form) const {
  for (const auto* sizes : {&DiscProgSize, &DiscDataSize, &DiscSoundSize, &DiscMovieSize}) {
    if (sizes->size() != static_cast<size_t>(disc_count_)) {
      throw EWriteError("the per-disc sizes hold " + std::to_string(sizes->size()) +
                        " entries, DiscCount is " + std::to_string(disc_count_));
    }
  }
  const int version = form.version;
  const bool header_reads_as_version =
      form.header.empty() ? version == 0
                          : form.header.size() == 5 && form.header.compare(0, 2, "is") == 0 &&
                                VersionOfDigits(std::string_view(form.header).substr(2)) == version;
  if (!header_reads_as_version)
    throw EWriteError("header: \"" + form.header + "\" does not read as version " + std::to_string(version));
  // A file without header must not seem to have one: its first two bytes are DiscIndex's.
  if (form.header.empty() && (static_cast<uint32_t>(DiscIndex) & 0xFFFF) == 0x7369)
    throw EWriteError("DiscIndex: a file without header cannot begin with the bytes \"is\"");
  // What a version does not store must be as a new object has it, or it would be lost.
  const TVondInstallSet fresh;
  const std::pair<int, bool> unstored[] = {{101, UpdateMode != fresh.UpdateMode},
                                           {102, !InstalledFiles.empty()},
                                           {103, DataInstalled != fresh.DataInstalled},
                                           {104, InstallType != fresh.InstallType},
                                           {105, SeparateFiles != fresh.SeparateFiles},
                                           {106, !DiscFiles.empty()},
                                           {107, !WizardCaption.empty()},
                                           {108, !HelloText.empty() || !LicenseText.empty()}};
  const char* unstored_names[] = {"UpdateMode",    "InstalledFiles",       "DataInstalled",
                                  "InstallType",   "SeparateFiles",        "DiscFiles",
                                  "WizardCaption", "HelloText/LicenseText"};
  for (size_t i = 0; i < std::size(unstored); ++i) {
    if (version < unstored[i].first && unstored[i].second) {
      throw EWriteError(std::string(unstored_names[i]) + ": not stored in a file of version " +
                        std::to_string(version) + " (from " + std::to_string(unstored[i].first) + " on)");
    }
  }

  FieldWriter w(stream, form);
  stream.WriteBuffer(form.header.data(), static_cast<int64_t>(form.header.size()));
  w.Scalar<int32_t>(DiscIndex);
  w.Lstr("Title", Title);
  w.Lstr("FooterText", FooterText);
  w.Lstr("DefaultFolder", DefaultFolder);
  w.Lstr("ReadmeName", ReadmeName);
  w.Flag("ShowReadme", ShowReadme);
  w.Lstr("BackgroundPicture", BackgroundPicture);
  w.Scalar<uint8_t>(BackgroundMode);
  w.Scalar<int32_t>(disc_count_);
  w.Lstr("ExeName", ExeName);
  w.Scalar<int32_t>(PictureKey);
  w.Flag("OfferRuntimes", OfferRuntimes);
  w.Scalar<uint8_t>(ReservedFlag);
  w.Lstr("MediaName", MediaName);
  w.Lstr("RegistryKey", RegistryKey);
  for (size_t i = 0; i < static_cast<size_t>(disc_count_); ++i) {
    w.Size("DiscProgSize", DiscProgSize[i]);
    w.Size("DiscDataSize", DiscDataSize[i]);
    w.Size("DiscSoundSize", DiscSoundSize[i]);
    w.Size("DiscMovieSize", DiscMovieSize[i]);
  }
  w.Size("ProgSize", ProgSize);
  w.Size("DataSize", DataSize);
  w.Size("SoundSize", SoundSize);
  w.Size("MovieSize", MovieSize);
  w.Flag("Installed", Installed);
  if (version >= 101) w.Flag("UpdateMode", UpdateMode);
  if (version >= 102) {
    const std::vector<DataString> stored = form.StoredInstalledFiles(InstalledFiles);
    w.Count("InstalledFiles", stored.size());
    for (size_t i = 0; i < stored.size(); ++i) w.Lstr("InstalledFiles[" + std::to_string(i) + "]", stored[i]);
  }
  if (version >= 103) w.Flag("DataInstalled", DataInstalled);
  if (version >= 104) w.Scalar<uint8_t>(InstallType);
  if (version >= 105) w.Flag("SeparateFiles", SeparateFiles);
  if (version >= 106) {
    w.Count("DiscFiles", DiscFiles.size());
    for (size_t i = 0; i < DiscFiles.size(); ++i)
      w.Lstr("DiscFiles[" + std::to_string(i) + "]", DiscFiles[i]);
  }
  if (version >= 107) w.Lstr("WizardCaption", WizardCaption);
  if (version >= 108) {
    w.Lstr("HelloText", HelloText);
    w.Lstr("LicenseText", LicenseText);
  }
  w.CheckAllLengthsUsed();
  stream.WriteBuffer(form.trailing.data(), static_cast<int64_t>(form.trailing.size()));
}

void TVondInstallSet::SaveToFile(const std::filesystem::path& file_name) const {
  SaveToFile(file_name, TSettingsFileForm());
}

void TVondInstallSet::SaveToFile(const std::filesystem::path& file_name,
                                 const TSettingsFileForm& form) const {
  TMemoryStream data;
  try {
    SaveToStream(data, form);
  } catch (const EWriteError& e) {
    throw EWriteError(PathToUtf8(file_name) + ": " + e.what());
  }
  WriteFileAtomically(file_name, data.Bytes());
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
  // The title's bytes as stored, inside the catalogue's text around them.
  const std::string_view format = Tr(Msg::kSetupCaption);
  const size_t at = std::min(format.find("%1"), format.size());
  return Utf8ToCp932(std::string(format.substr(0, at))) + Title +
         Utf8ToCp932(std::string(format.substr(std::min(at + 2, format.size()))));
}

}  // namespace vn
