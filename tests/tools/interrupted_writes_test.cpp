// vnkit pack and merge stopped at a chosen point (a signal, kill -9, a file planted in the way): the
// user's archive is left whole, old or new, never a mixture; and what merge makes agrees with what
// readers find.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/archive/archive_builder.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

// `job_control`: run by bash with job control, so a job started with & gets a process group of its own
// and keeps SIGINT, as a command in a terminal does (kill -INT -$pid is then Ctrl-C).
test::CommandResult Script(const fs::path& dir, const std::string& script, bool job_control = false) {
  const std::string shell = job_control ? " && bash -c " : " && sh -c ";
  return test::RunShell("cd " + test::ShellQuoted(dir.string()) + shell +
                            test::ShellQuoted((job_control ? "set -m; " : "") + script),
                        dir);
}

std::string Vnkit() {
  return "ASAN_OPTIONS=exitcode=99 UBSAN_OPTIONS=exitcode=98 " + test::ShellQuoted(VNKIT);
}

// Runs vnkit until it reaches the test pause `point`, then runs `meanwhile` (a shell command; $pid
// is vnkit), lets it go on and prints "status N" once it has ended.
test::CommandResult PausedRun(const fs::path& dir, const std::string& point, const std::string& args,
                              const std::string& meanwhile, bool job_control = false) {
  return Script(dir,
                "rm -f paused; VNSETUP_TEST_PAUSE=" + point + " VNSETUP_TEST_PAUSE_FILE=\"$PWD/paused\" " +
                    Vnkit() + " " + args +
                    " & pid=$!; tries=0; while [ ! -e paused ] && [ $tries -lt 3000 ]; do sleep 0.01;"
                    " tries=$((tries + 1)); done; " +
                    meanwhile + "; rm -f paused; wait $pid; echo \"status $?\"",
                job_control);
}

TEST(VnkitInterruptedWrites, PackOverASplitArchiveLeavesItOldOrNewWhateverStopsIt) {
  const fs::path dir = test::MakeTempDir();
  test::WriteFile(dir / "files" / "a.txt", "the new archive");
  ASSERT_EQ(Script(dir, Vnkit() + " pack files -o expected.dat -q").status, 0);
  const std::string expected = test::ReadFile(dir / "expected.dat");
  const std::vector<std::pair<std::string, std::string>> old = {
      {"game.dat", "old part 0"}, {"game.001", "old part 1"}, {"game.ext", "old side file"}};
  const auto put_old = [&] {
    for (const auto& [name, bytes] : old) test::WriteFile(dir / name, bytes);
  };
  const auto is_old = [&] {
    for (const auto& [name, bytes] : old) {
      if (!fs::exists(dir / name) || test::ReadFile(dir / name) != bytes) return false;
    }
    return true;
  };
  const auto is_new = [&] {
    return test::ReadFile(dir / "game.dat") == expected && !fs::exists(dir / "game.001") &&
           !fs::exists(dir / "game.ext");
  };
  // Killed after each rename of the replacement (two old parts and the side file aside, the new
  // part in): the next command on the archive finds it old or new.
  for (int point = 1; point <= 4; ++point) {
    put_old();
    const test::CommandResult killed =
        PausedRun(dir, "vnkit-replace:" + std::to_string(point), "pack files -o game.dat", "kill -KILL $pid");
    EXPECT_NE(killed.out.find("status 137"), std::string::npos) << point << killed.out << killed.err;
    Script(dir, Vnkit() + " list game.dat");
    EXPECT_TRUE(point < 4 ? is_old() : is_new()) << "killed after rename " << point;
    EXPECT_FALSE(fs::exists(dir / ".game.dat.vnkit-replace")) << point;
  }
  // Something planted where a new part goes: the old archive is put back at once.
  put_old();
  const test::CommandResult planted =
      PausedRun(dir, "vnkit-replace:3", "pack files -o game.dat", "mkfifo game.dat");
  EXPECT_NE(planted.out.find("status 2"), std::string::npos) << planted.out << planted.err;
  EXPECT_NE(planted.err.find("appeared while the archive was being replaced"), std::string::npos)
      << planted.err;
  EXPECT_TRUE(is_old());
  EXPECT_FALSE(fs::exists(dir / ".game.dat.vnkit-replace"));
  // SIGTERM while the new archive is written: nothing of it is left.
  const test::CommandResult stopped =
      PausedRun(dir, "vnkit-pack-written", "pack files -o game.dat", "kill -TERM $pid");
  EXPECT_NE(stopped.out.find("status 143"), std::string::npos) << stopped.out << stopped.err;
  EXPECT_TRUE(is_old());
  EXPECT_FALSE(fs::exists(dir / ".game.dat.vnkit-replace"));
  // and without interruption the new archive replaces all of the old one
  ASSERT_EQ(Script(dir, Vnkit() + " pack files -o game.dat -q").status, 0);
  EXPECT_TRUE(is_new());
}

TEST(VnkitInterruptedWrites, StoppedMergeLeavesTheDataFileAsItWasOrReclaimedByTheNext) {
  const fs::path dir = test::MakeTempDir();
  test::WriteFile(dir / "first.dat", test::BuildArchive({test::StoredWithCrc("old.txt", "old")}));
  std::vector<test::BuildEntry> entries;
  for (int i = 0; i < 3; ++i)
    entries.push_back(test::StoredWithCrc("big" + std::to_string(i) + ".bin", std::string(300000, 'a' + i)));
  test::WriteFile(dir / "disc.dat", test::BuildArchive(entries));
  ASSERT_EQ(Script(dir, Vnkit() + " merge game.dat first.dat -q").status, 0);
  const std::string data = test::ReadFile(dir / "game.dat"), side = test::ReadFile(dir / "game.ext");

  // Ctrl-C, SIGTERM or SIGHUP once the first entry is appended: the data file is cut back.
  for (const char* signal : {"INT", "TERM", "HUP"}) {
    const bool ctrl_c = std::string(signal) == "INT";  // to the job's whole process group
    const test::CommandResult r =
        PausedRun(dir, "vnkit-merge:2", "merge game.dat disc.dat",
                  std::string("kill -") + signal + (ctrl_c ? " -$pid" : " $pid"), ctrl_c);
    EXPECT_EQ(r.out.find("status 0"), std::string::npos) << signal << r.out << r.err;
    EXPECT_EQ(test::ReadFile(dir / "game.dat"), data) << signal;
    EXPECT_EQ(test::ReadFile(dir / "game.ext"), side) << signal;
  }
  // kill -9 leaves the appended bytes; the next merge takes them back.
  PausedRun(dir, "vnkit-merge:3", "merge game.dat disc.dat", "kill -KILL $pid");
  EXPECT_GT(fs::file_size(dir / "game.dat"), data.size());
  ASSERT_EQ(Script(dir, Vnkit() + " merge game.dat first.dat -q").status, 0);
  EXPECT_EQ(test::ReadFile(dir / "game.dat"), data);
  const test::CommandResult merged =
      Script(dir, Vnkit() + " merge game.dat disc.dat && " + Vnkit() + " verify game.dat");
  EXPECT_EQ(merged.status, 0) << merged.err;
  EXPECT_EQ(fs::file_size(dir / "game.dat"), data.size() + 3 * 300000);
}

TEST(VnkitInterruptedWrites, AFileThatChangesWhilePackReadsItIsNamedAndTheArchiveStaysWhole) {
  const fs::path dir = test::MakeTempDir();
  test::WriteFile(dir / "files" / "a.txt", "first");
  test::WriteFile(dir / "files" / "big.dat", std::string(200000, 'b'));  // copied as it is read
  // cut short after pack has looked at it (the files are looked at ahead of the writing)
  const test::CommandResult r = PausedRun(dir, "vnkit-pack-entry:1", "pack files -o game.dat",
                                          "sleep 1; truncate -s 1000 files/big.dat");
  EXPECT_NE(r.out.find("status 1"), std::string::npos) << r.out << r.err;
  EXPECT_NE(r.err.find("big.dat: file changed as we read it"), std::string::npos) << r.err;
  const test::CommandResult read =
      Script(dir, Vnkit() + " verify game.dat -q && " + Vnkit() + " cat game.dat big.dat | wc -c");
  EXPECT_EQ(read.status, 0) << read.err;
  EXPECT_NE(read.out.find("1000"), std::string::npos) << read.out;
}

TEST(VnkitInterruptedWrites, MergeKeepsWhatReadersOfTheSourceFind) {
  const fs::path dir = test::MakeTempDir();
  // Entries that hold no bytes still make a data file for the directory that names them.
  test::WriteFile(dir / "empty.dat",
                  test::BuildArchive({test::StoredWithCrc("a.txt", ""), test::StoredWithCrc("b.txt", "")}));
  const test::CommandResult empty = Script(dir, Vnkit() + " merge new.dat empty.dat && " + Vnkit() +
                                                    " verify new.dat && " + Vnkit() + " cat new.dat b.txt");
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_TRUE(fs::exists(dir / "new.dat"));

  // Names equal but for letter case, with equal times: readers find the last, and so does the merge
  // (and merging again changes nothing).
  test::BuildEntry upper = test::StoredWithCrc("DATA\\A.TXT", "first"),
                   lower = test::StoredWithCrc("data\\a.txt", "last");
  upper.time = lower.time = 0x5A000000;
  test::WriteFile(dir / "cased.dat", test::BuildArchive({upper, lower}));
  const test::CommandResult cased =
      Script(dir, Vnkit() + " cat cased.dat data/a.txt; " + Vnkit() + " merge game.dat cased.dat -q && " +
                      Vnkit() + " cat game.dat data/a.txt && " + Vnkit() + " merge game.dat cased.dat");
  EXPECT_EQ(cased.status, 0) << cased.err;
  EXPECT_NE(cased.out.find("lastlast"), std::string::npos) << cased.out;
  EXPECT_NE(cased.out.find("already up to date"), std::string::npos) << cased.out;
}

}  // namespace
}  // namespace vn
