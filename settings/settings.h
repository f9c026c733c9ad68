// TVondInstallSet: the install settings of one product, the in-memory form of install.dat.
//
// install.dat is little-endian without padding: the header "is" + three decimal digits of the
// version (108 is written; files without the header are version 0), then the fields in file order
// (see settings.cpp). Strings are CP932 bytes ("lstr": int32 length, then the bytes; a length of
// 0 or less is the empty string), flags one byte (0 false, else true).
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/stream.h"
#include "platform/text.h"

namespace vn {

class DiscFiles;

class RegistryStore;

// How one install.dat spells what the fields of the settings object do not keep apart, so that a
// tool can write the very same bytes again: the version and its header, flag bytes other than 0 and 1,
// empty texts stored with a negative length, the InstalledFiles entries the reader leaves out, and
// bytes after the last field. A default form is the one SaveToStream writes.
struct TSettingsFileForm {
  // The layout: which fields the file holds; below 100 the sizes are 32 bits wide. Above 108 the
  // layout is 108's.
  int version = 108;
  // The bytes before the first field: none for a file without header, else "is" and three bytes
  // that read as `version` (see CanonicalHeader).
  std::string header = "is108";
  // Flags stored as a byte other than 0 and 1, by field name ("ShowReadme").
  std::map<std::string, uint8_t> flag_bytes;
  // Empty texts stored with a length below 0, by field name, list entries as "DiscFiles[2]" (their
  // position in the stored list).
  std::map<std::string, int32_t> negative_lengths;
  // Positions in the stored InstalledFiles list of the entries of length 0 or less, which reading
  // leaves out; the writer puts empty entries back there.
  std::vector<int32_t> skipped_installed_files;
  // What follows the last field (the reader ignores it).
  std::string trailing;

  // The header the format gives a version: none for 0, else "is" and the number in three places.
  static std::string CanonicalHeader(int version);
  // The stored InstalledFiles list: the object's entries with the skipped ones put back in place.
  std::vector<DataString> StoredInstalledFiles(const std::vector<DataString>& installed_files) const;
};

class TVondInstallSet {
 public:
  // The version SaveToStream writes; newer files are read as this one.
  static constexpr int kFileVersion = 108;
  // The largest settings file read: texts and file lists of a whole game fit many times over.
  static constexpr int64_t kMaxFileBytes = int64_t{64} << 20;

  // Fields in declaration order. A new object has every number 0, every flag false, every string
  // and list empty. The four per-disc arrays always hold DiscCount() entries; change their
  // length only with SetDiscCount.
  std::vector<DataString> InstalledFiles;  // installed files relative to the install folder
  DataString WizardCaption;                // empty: Title + "のセットアップ"
  int32_t DiscIndex = 0;                   // 0-based disc that carries this file
  DataString Title;
  DataString FooterText;
  DataString DefaultFolder;  // may begin with "<ProgramFiles>"
  DataString ReadmeName;
  uint8_t InstallType = 0;  // 0 normal, 1 complete, 2 into the Windows folder
  bool ShowReadme = false;
  DataString BackgroundPicture;  // archive entry of an RXA picture
  uint8_t BackgroundMode = 0;    // 0 centred, 1 stretched, 2 tiled
  DataString ExeName;
  int32_t PictureKey = 0;
  bool OfferRuntimes = false;
  uint8_t ReservedFlag = 0;  // kept and written back
  DataString MediaName;
  DataString RegistryKey;  // below HKEY_CURRENT_USER\Software; empty: no registry access
  std::vector<int64_t> DiscProgSize, DiscDataSize, DiscSoundSize, DiscMovieSize;
  int64_t ProgSize = 0, DataSize = 0, SoundSize = 0, MovieSize = 0;
  bool Installed = false;
  bool UpdateMode = false;
  bool DataInstalled = false;
  bool SeparateFiles = false;
  std::vector<DataString> DiscFiles;  // lower-case disc paths that belong to the installation
  DataString HelloText;
  DataString LicenseText;

  int32_t DiscCount() const { return disc_count_; }
  // Sets DiscCount and the length of the per-disc arrays, keeping entries and zeroing new ones.
  void SetDiscCount(int32_t count);

  // Reads from the stream's position. A truncated or damaged file raises EFormatError naming the
  // field and its offset, and leaves the object as it was.
  void LoadFromStream(TStream& stream);
  // The same, recording how the file spells what the fields do not keep apart; the trailing bytes
  // are read to the stream's end.
  void LoadFromStream(TStream& stream, TSettingsFileForm& form);
  // As LoadFromStream; errors name the file.
  void LoadFromFile(const std::filesystem::path& file_name);
  void LoadFromFile(const std::filesystem::path& file_name, TSettingsFileForm& form);
  // The install.dat of a disc (a folder or a disc image; the name without regard to letter case), as
  // LoadFromFile; false when the disc has none.
  bool LoadFromDisc(const vn::DiscFiles& disc);
  // Writes version 108.
  void SaveToStream(TStream& stream) const;
  // Writes in the given form, so that what LoadFromStream(stream, form) read comes out byte for byte.
  // Raises EWriteError naming the field for what that form cannot hold: a field the version does not
  // store that is not at its default, a size beyond 32 bits below version 100, a header that does not
  // read as the version, a negative length for a text that is not empty.
  void SaveToStream(TStream& stream, const TSettingsFileForm& form) const;
  // Writes a temporary file beside the target and renames it over it, so the target is never
  // left half written.
  void SaveToFile(const std::filesystem::path& file_name) const;
  void SaveToFile(const std::filesystem::path& file_name, const TSettingsFileForm& form) const;
  // Refuses (EFormatError naming the field) settings an install cannot run on: a DiscIndex outside
  // 0 ... DiscCount - 1 would install no disc at all. Reading itself accepts any value, so tools can
  // show and repair such a file.
  void CheckForInstall() const;
  // The version of the file last loaded (kFileVersion for an object never loaded).
  int LoadedVersion() const { return loaded_version_; }

  int32_t InstalledFileCount() const { return static_cast<int32_t>(InstalledFiles.size()); }
  // Position of the first entry equal to name without regard to case, -1 when absent.
  int32_t FindInstalledFile(const DataString& name) const;
  // Appends name unless an entry equal without regard to case exists.
  void AddInstalledFile(const DataString& name);
  bool IsDiscFile(const DataString& relative_path) const;
  DataString GetWizardCaption() const;

  // --- The product's key HKEY_CURRENT_USER\Software\<RegistryKey> --------------------------
  // Value names and values are native text (UTF-8). Nothing happens without a RegistryKey; one that
  // is empty after its leading '\', or holds only delimiters and blanks, counts as none.
  bool HasRegistryKey() const;
  // Whether the key is in the registry.
  bool RegistryKeyExists() const;
  std::string ReadValue(const std::string& name, const std::string& default_value) const;
  void WriteValue(const std::string& name, const std::string& value) const;
  // Removes the key with everything below it, then each parent left empty (never Software itself).
  void DeleteRegistryKey() const;
  // True when "InstallPath" names a folder that holds ExeName.
  bool IsGameInstalled() const;
  // The store the registry operations use (the process-wide one unless set).
  void SetRegistry(RegistryStore* store) { registry_ = store; }

 private:
  void Load(TStream& stream, TSettingsFileForm* form);
  // LoadFromStream with errors that name the file (`name`).
  void LoadNamed(TStream& stream, const std::string& name, TSettingsFileForm* form = nullptr);
  RegistryStore& Registry() const;
  // "Software\" + RegistryKey without one leading '\', as UTF-8; false when there is no key
  // or it has no UTF-8 form.
  bool KeyPath(std::string& path) const;

  int32_t disc_count_ = 0;
  int loaded_version_ = kFileVersion;
  RegistryStore* registry_ = nullptr;
};

}  // namespace vn
