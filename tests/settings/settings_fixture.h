// Builds install.dat bytes of any version field by field, independently of the writer under test,
// so the reader is checked against the layout itself.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "settings/settings.h"

namespace vn::test {

class SettingsBytes {
 public:
  std::string bytes;

  SettingsBytes& Raw(const std::string& b) {
    bytes += b;
    return *this;
  }
  SettingsBytes& U8(uint8_t v) { return Le(v, 1); }
  SettingsBytes& I32(int32_t v) { return Le(static_cast<uint32_t>(v), 4); }
  SettingsBytes& I64(int64_t v) { return Le(static_cast<uint64_t>(v), 8); }
  SettingsBytes& Str(const DataString& s) {
    I32(static_cast<int32_t>(s.size()));
    return Raw(s.bytes());
  }
  // A size: int64 from version 100 on, int32 before.
  SettingsBytes& Size(int64_t v, int version) {
    return version >= 100 ? I64(v) : I32(static_cast<int32_t>(v));
  }

 private:
  SettingsBytes& Le(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
    return *this;
  }
};

// The body of install.dat as a file of `version` lays it out (no header).
inline std::string SettingsBody(const TVondInstallSet& s, int version) {
  SettingsBytes b;
  b.I32(s.DiscIndex).Str(s.Title).Str(s.FooterText).Str(s.DefaultFolder).Str(s.ReadmeName);
  b.U8(s.ShowReadme).Str(s.BackgroundPicture).U8(s.BackgroundMode).I32(s.DiscCount()).Str(s.ExeName);
  b.I32(s.PictureKey).U8(s.OfferRuntimes).U8(s.ReservedFlag).Str(s.MediaName).Str(s.RegistryKey);
  for (size_t i = 0; i < static_cast<size_t>(s.DiscCount()); ++i) {
    b.Size(s.DiscProgSize[i], version).Size(s.DiscDataSize[i], version);
    b.Size(s.DiscSoundSize[i], version).Size(s.DiscMovieSize[i], version);
  }
  b.Size(s.ProgSize, version).Size(s.DataSize, version).Size(s.SoundSize, version).Size(s.MovieSize, version);
  b.U8(s.Installed);
  if (version >= 101) b.U8(s.UpdateMode);
  if (version >= 102) {
    b.I32(static_cast<int32_t>(s.InstalledFiles.size()));
    for (const auto& f : s.InstalledFiles) b.Str(f);
  }
  if (version >= 103) b.U8(s.DataInstalled);
  if (version >= 104) b.U8(s.InstallType);
  if (version >= 105) b.U8(s.SeparateFiles);
  if (version >= 106) {
    b.I32(static_cast<int32_t>(s.DiscFiles.size()));
    for (const auto& f : s.DiscFiles) b.Str(f);
  }
  if (version >= 107) b.Str(s.WizardCaption);
  if (version >= 108) b.Str(s.HelloText).Str(s.LicenseText);
  return b.bytes;
}

// A whole file: "is" + three digits, or no header for version 0.
inline std::string SettingsFile(const TVondInstallSet& s, int version) {
  if (version == 0) return SettingsBody(s, 0);
  char header[8];
  std::snprintf(header, sizeof header, "is%03d", version);
  return header + SettingsBody(s, version);
}

}  // namespace vn::test
