#include "tests/installer/installer_fixture.h"

#include <sys/stat.h>

#include "archive/vr_files.h"
#include "platform/paths.h"
#include "tests/support/test_env.h"

namespace vn::test {
namespace fs = std::filesystem;

TVondInstallSet GameSettings(int32_t disc_count) {
  TVondInstallSet s;
  s.Title = Utf8ToCp932("星の湖");
  s.ExeName = DataString("game.sh");
  s.ReadmeName = DataString("readme.txt");
  s.ShowReadme = true;
  s.MediaName = Utf8ToCp932("ディスク");
  s.RegistryKey = Utf8ToCp932("\\テスト工房\\星の湖");
  s.SetDiscCount(disc_count);
  return s;
}

std::vector<fs::path> BuildDiscSet(const fs::path& root, const std::vector<DiscSpec>& discs,
                                   const TVondInstallSet& base) {
  TVondInstallSet settings = base;
  settings.SetDiscCount(static_cast<int32_t>(discs.size()));
  std::vector<fs::path> folders;
  for (size_t i = 0; i < discs.size(); ++i) {
    const fs::path folder = root / ("disc" + std::to_string(i + 1));
    folders.push_back(folder);
    fs::create_directories(folder);
    for (const auto& [rel, content] : discs[i].files) {
      WriteFile(folder / rel, content);
      if (rel.ends_with(".sh")) ::chmod((folder / rel).c_str(), 0755);
      std::string data_rel = rel;
      for (char& c : data_rel) c = (c == '/') ? '\\' : c;
      settings.DiscFiles.push_back(AnsiLowerCase(Utf8ToCp932(data_rel)));
    }
    const fs::path staging = MakeTempDir("pack");
    TVrFileCollection archive;
    archive.Open(staging);
    for (const auto& [name, content] : discs[i].archive) {
      WriteFile(JoinNativePath(staging, name), content);
      TVrFile& entry = archive.Add(Utf8ToCp932(name));
      for (const std::string& s : discs[i].separate) entry.Separate |= (s == name);
    }
    TBigFileStream stream(folder / "game.dat", TBigFileStream::kCreate);
    archive.SaveToStream(stream);
  }
  for (size_t i = 0; i < discs.size(); ++i) {
    settings.DiscIndex = static_cast<int32_t>(i);
    settings.SaveToFile(folders[i] / "install.dat");
  }
  return folders;
}

}  // namespace vn::test
