// vnkit given files that are not what they claim to be: pipes and folders, files far larger than
// their format allows, and a side file that hides the data file's content.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/archive/archive_builder.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

// A reader that blocks on a pipe would wait forever; `timeout` turns that into a failed exit code.
test::CommandResult Vnkit(const fs::path& dir, const std::vector<std::string>& args) {
  std::string command =
      "ASAN_OPTIONS=exitcode=99 UBSAN_OPTIONS=exitcode=98 timeout 120 " + test::ShellQuoted(VNKIT);
  for (const auto& a : args) command += " " + test::ShellQuoted(a);
  return test::RunShell(command, dir);
}

// Every command that reads a file whole, on a file named `name` + the extension it expects.
std::vector<std::vector<std::string>> WholeFileReaders(const fs::path& dir, const std::string& name) {
  const auto p = [&](const char* ext) { return (dir / (name + ext)).string(); };
  const std::string out = (dir / "out").string();
  return {{"settings", "show", p(".dat")},
          {"settings", "build", p(".json"), "-o", out},
          {"picture", "convert", p(".rxa"), "-o", out},
          {"picture", "convert", p(".bmp"), "-o", out},
          {"picture", "encode", p(".png"), "-o", out},
          {"list", p(".dat")}};
}

TEST(VnkitHostileFiles, PipesAndFoldersAreRefusedWithoutWaiting) {
  const fs::path dir = test::MakeTempDir();
  for (const char* ext : {".dat", ".json", ".rxa", ".bmp", ".png"}) {
    ASSERT_EQ(::mkfifo((dir / (std::string("pipe") + ext)).c_str(), 0600), 0);
    fs::create_directory(dir / (std::string("folder") + ext));
  }
  for (const auto& args : WholeFileReaders(dir, "pipe")) {
    const test::CommandResult r = Vnkit(dir, args);
    EXPECT_EQ(r.status, 2) << args[0] << " " << args[1] << ": " << r.err;
    EXPECT_NE(r.err.find("pipe."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
  }
  for (const auto& args : WholeFileReaders(dir, "folder")) {
    const test::CommandResult r = Vnkit(dir, args);
    EXPECT_EQ(r.status, 2) << args[0] << " " << args[1] << ": " << r.err;
    EXPECT_NE(r.err.find("folder."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("directory"), std::string::npos) << r.err;
  }
}

TEST(VnkitHostileFiles, HugeFilesAreRefusedByTheirSizeBeforeReading) {
  const fs::path dir = test::MakeTempDir();
  // Sparse: 3 GiB that take no disk space.
  for (const char* name : {"big.dat", "big.json", "big.rxa", "big.bmp", "big.png", "side.ext"}) {
    test::WriteFile(dir / name, "");
    fs::resize_file(dir / name, uint64_t{3} << 30);
  }
  test::WriteFile(dir / "side.dat", test::BuildArchive({test::Compressed("a.txt", "text")}));
  auto readers = WholeFileReaders(dir, "big");
  readers.back() = {"list", (dir / "side.dat").string()};
  for (const auto& args : readers) {
    const test::CommandResult r = Vnkit(dir, args);
    EXPECT_EQ(r.status, 2) << args[0] << " " << args[1] << ": " << r.err;
    EXPECT_NE(r.err.find("3221225472 bytes, more than the"), std::string::npos) << r.err;
  }
}

TEST(VnkitHostileFiles, AnEmptyOldDirectoryBesideDataIsPointedOut) {
  const fs::path dir = test::MakeTempDir();
  // The oldest form has no stored flags: its entries are zlib data.
  const std::vector<test::BuildEntry> entries = {test::Compressed("a.txt", std::string(100000, 'a'))};
  const std::string data = test::EntryData(entries);
  test::WriteFile(dir / "game.dat", data);
  test::WriteFile(dir / "game.ext", std::string(8, '\0'));  // an empty directory of the oldest form
  const test::CommandResult list = Vnkit(dir, {"list", (dir / "game.dat").string()});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_NE(
      list.err.find("game.dat: warning: the directory (oldest form, without magic) covers none of the " +
                    std::to_string(data.size()) + " bytes"),
      std::string::npos)
      << list.err;
  const test::CommandResult verify = Vnkit(dir, {"verify", (dir / "game.dat").string()});
  EXPECT_EQ(verify.status, 1) << verify.err;
  EXPECT_NE(verify.err.find("covers none of"), std::string::npos) << verify.err;
  // The same side file that does describe the data stays quiet.
  test::BuildOptions side;
  side.version = 0;
  side.first_offset = 0;
  side.directory_only = true;
  test::WriteFile(dir / "game.ext", test::BuildArchive(entries, side));
  const test::CommandResult intact = Vnkit(dir, {"verify", (dir / "game.dat").string()});
  EXPECT_EQ(intact.status, 0) << intact.err;
  EXPECT_EQ(intact.err.find("covers none"), std::string::npos) << intact.err;
}

TEST(VnkitHostileFiles, TerminalsTheNullDeviceAnEndlessInputAndTheArchiveItself) {
  const fs::path dir = test::MakeTempDir();
  test::WriteFile(dir / "files" / "a.txt", "alpha");
  const std::string vnkit = "ASAN_OPTIONS=exitcode=99 timeout 60 " + test::ShellQuoted(VNKIT);
  // On a terminal (script gives the command one), an archive is neither read from the keyboard nor
  // written to the screen; the null device takes output as other tools give it there.
  const test::CommandResult terminal = test::RunShell(
      "(cd " + test::ShellQuoted(dir.string()) + " && script -qec " + test::ShellQuoted(vnkit + " list -") +
          " /dev/null; script -qec " + test::ShellQuoted(vnkit + " pack files -o -") + " /dev/null; " +
          vnkit + " pack files -o game.dat -q && " + vnkit + " append files/a.txt game.dat -o /dev/null && " +
          vnkit + " pack files -o /dev/null) < /dev/null",
      dir);
  EXPECT_EQ(terminal.status, 0) << terminal.out << terminal.err;
  EXPECT_NE(terminal.out.find("standard input is a terminal"), std::string::npos) << terminal.out;
  EXPECT_NE(terminal.out.find("standard output is a terminal"), std::string::npos) << terminal.out;
  EXPECT_NE(terminal.out.find("/dev/null: 1 entry"), std::string::npos) << terminal.out;

  // An endless input stops at the spool's limit, which the message names.
  const test::CommandResult endless = test::RunShell(
      "yes | VNKIT_SPOOL_LIMIT=1048576 TMPDIR=" + test::ShellQuoted(dir.string()) + " " + vnkit + " list -",
      dir);
  EXPECT_EQ(endless.status, 2) << endless.err;
  EXPECT_NE(endless.err.find("standard input: more than 1048576 bytes"), std::string::npos) << endless.err;
  for (const auto& item : fs::directory_iterator(dir))
    EXPECT_NE(item.path().filename().string().rfind("vnkit-stdin", 0), 0u) << item.path();  // removed

  // An entry named like the archive being read does not replace it.
  const test::CommandResult self = test::RunShell(
      "cd " + test::ShellQuoted(dir.string()) + " && cp files/a.txt files/game.dat && " + vnkit +
          " pack files -o game.dat -q && cp game.dat kept && " + vnkit + " extract game.dat",
      dir);
  EXPECT_EQ(self.status, 2) << self.err;
  EXPECT_NE(self.err.find("game.dat: is the archive being read"), std::string::npos) << self.err;
  EXPECT_EQ(test::ReadFile(dir / "game.dat"), test::ReadFile(dir / "kept"));
  EXPECT_EQ(test::ReadFile(dir / "a.txt"), "alpha");
}

}  // namespace
}  // namespace vn
