// Packed archives must not change from one version of vnkit to the next: games and patches are
// compared byte for byte. A sample folder made here, with an entry for each of the packer's rules,
// packs to the bytes whose SHA-256 is stored below (zlib of Debian 12; a change of zlib's output
// would show here too). The JSON listing keeps its layout too.
#include <gtest/gtest.h>

#include <cstdint>
#include <nlohmann/json.hpp>

#include "platform/fileops.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

// Text-like bytes from a fixed generator (the same on every system, unlike the standard's
// distributions).
std::string SampleText(uint32_t seed, size_t size) {
  static const char* const words[] = {"scene ", "rain ", "\xe3\x81\x82", "bg",
                                      "001 ",   "\n",    "voice ",       "end "};
  std::string s;
  while (s.size() < size) {
    seed = seed * 1664525u + 1013904223u;
    s += words[seed >> 29];
  }
  s.resize(size);
  return s;
}

std::string SampleNoise(uint32_t seed, size_t size) {
  std::string s(size, '\0');
  for (char& c : s) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return s;
}

TEST(VnkitPack, SampleFolderPacksToTheStoredBytes) {
  const fs::path dir = test::MakeTempDir("sample");
  const std::pair<const char*, std::string> files[] = {
      {"script/start.txt", SampleText(1, 20000)},  // compressed
      {"script/empty.txt", ""},                    // empty
      {"noise.bin", SampleNoise(2, 3000)},         // does not shrink enough: stored
      {"bgm/01.OGG", SampleText(3, 5000)},         // listed extension: stored, separate
      {"se/click.mp", SampleText(4, 700)},         // ".MP" is inside the list: stored
      {"readme", SampleText(5, 900)},              // no extension: compressed
      {"bg/fake.rxa", SampleText(6, 800)},         // not an RXA picture: stored
      {"large.txt", SampleText(7, 5242880)},       // the size limit: stored
      {"\xe6\x97\xa5\xe6\x9c\xac/\xe8\xaa\x9e.txt", SampleText(8, 3000)},  // 日本/語.txt
      {"cg/ev01.png", SampleNoise(9, 300000)},  // no sample shrinks: stored without the whole trial
      {"mixed.bin",
       SampleNoise(10, 200000) + SampleText(11, 200000)},  // its middle and end shrink: compressed
  };
  for (const auto& [name, bytes] : files) {
    test::WriteFile(dir / name, bytes);
    ASSERT_TRUE(FileSetDate(dir / name, 0x2A43A0C3));  // 2001-02-03 20:06:06
  }
  const fs::path archive = test::MakeTempDir("out") / "sample.dat";
  const test::CommandResult packed =
      test::RunShell(std::string(VNKIT) + " pack " + test::ShellQuoted(dir.string()) + " -o " +
                         test::ShellQuoted(archive.string()) + " --separate '*.ogg'",
                     archive.parent_path());
  ASSERT_EQ(packed.status, 0) << packed.err;
  const test::CommandResult digest =
      test::RunShell("sha256sum " + test::ShellQuoted(archive.string()), archive.parent_path());
  ASSERT_EQ(digest.status, 0) << digest.err;
  ASSERT_EQ(digest.out.substr(0, 64), "11024494d809e6d3de48fcbea39a7c7d0a3622ea1cf31f8d32b880277b5a2a61");

  // The JSON listing is written entry by entry; it keeps the layout of the whole document dumped at
  // once (indent 2), which scripts may compare byte for byte.
  const test::CommandResult listed = test::RunShell(
      std::string(VNKIT) + " list --json " + test::ShellQuoted(archive.string()), archive.parent_path());
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.out, nlohmann::ordered_json::parse(listed.out).dump(2) + "\n");
  const fs::path empty = test::MakeTempDir("empty");
  const std::string none_dat = test::ShellQuoted((archive.parent_path() / "none.dat").string());
  const test::CommandResult none =
      test::RunShell(std::string(VNKIT) + " pack " + test::ShellQuoted(empty.string()) + " -o " + none_dat +
                         " && " + VNKIT + " list --json " + none_dat,
                     archive.parent_path());
  ASSERT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(none.out.substr(none.out.find('{')), "{\n  \"version\": 102,\n  \"entries\": []\n}\n");
}

}  // namespace
}  // namespace vn
