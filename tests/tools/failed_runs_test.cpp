// vnkit runs that fail part way: output that cannot be written, a merge whose side file cannot be
// replaced. A failure is never reported as success, and what the user had is left as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/archive/archive_builder.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

// Runs in `dir`; `args` may redirect vnkit's own output (the capture goes around the whole line).
test::CommandResult Vnkit(const fs::path& dir, const std::string& args) {
  return test::RunShell("cd " + test::ShellQuoted(dir.string()) +
                            " && (ASAN_OPTIONS=exitcode=99 UBSAN_OPTIONS=exitcode=98 timeout 120 " +
                            test::ShellQuoted(VNKIT) + " " + args + ")",
                        dir);
}

// Runs a shell script in `dir`: vnkit beside other programs (a lock holder, a signal).
test::CommandResult Script(const fs::path& dir, const std::string& script) {
  return test::RunShell("cd " + test::ShellQuoted(dir.string()) + " && sh -c " + test::ShellQuoted(script),
                        dir);
}

TEST(VnkitFailedRuns, OutputThatCannotBeWrittenIsAnError) {
  const fs::path dir = test::MakeTempDir();
  test::WriteFile(dir / "game.dat", test::BuildArchive({test::StoredWithCrc("a.txt", "alpha")}));
  std::vector<test::BuildEntry> many;
  for (int i = 0; i < 2000; ++i)
    many.push_back(test::StoredWithCrc("file" + std::to_string(i) + ".txt", "x"));
  test::WriteFile(dir / "many.dat", test::BuildArchive(many));
  // The small listing sits in stdout's buffer until the program ends; the large one fails on the way.
  for (const char* command : {"list game.dat", "list game.dat --json", "verify game.dat", "list many.dat",
                              "list many.dat --json"}) {
    const test::CommandResult r = Vnkit(dir, std::string(command) + " > /dev/full");
    EXPECT_EQ(r.status, 2) << command << ": " << r.err;
    const std::string message = "standard output: cannot write";
    const size_t said = r.err.find(message);
    EXPECT_NE(said, std::string::npos) << command << ": " << r.err;
    EXPECT_EQ(r.err.find(message, said + message.size()), std::string::npos) << "said twice: " << r.err;
  }
}

TEST(VnkitFailedRuns, FailedMergeTakesItsAppendedDataBack) {
  const fs::path dir = test::MakeTempDir();
  const std::string source = test::BuildArchive(
      {test::StoredWithCrc("a.txt", std::string(5000, 'a')), test::StoredWithCrc("b.txt", "bee")});
  test::WriteFile(dir / "disc.dat", source);
  // A folder in the side file's place: the directory cannot be written once the data is appended.
  fs::create_directory(dir / "new.ext");
  const test::CommandResult fresh = Vnkit(dir, "merge new.dat disc.dat");
  EXPECT_EQ(fresh.status, 2) << fresh.err;
  EXPECT_NE(fresh.err.find("new.ext"), std::string::npos) << fresh.err;
  EXPECT_FALSE(fs::exists(dir / "new.dat"));  // else every later merge refuses it as damaged
  fs::remove(dir / "new.ext");
  const test::CommandResult again = Vnkit(dir, "merge new.dat disc.dat");
  EXPECT_EQ(again.status, 0) << again.err;

  // Another program writing the data file (as a second merge would, appending over this one's data).
  // The temporary of a side file a killed merge was writing stays while the other writer works,
  // and goes with the next merge that holds the data file.
  test::WriteFile(dir / "new.ext.tmp4194300-0", "half a directory");
  test::WriteFile(dir / "new.ext.tmp-mine", "the user's");
  const std::string before = test::ReadFile(dir / "new.dat");
  const test::CommandResult busy =
      Script(dir, "flock new.dat " + test::ShellQuoted(VNKIT) + " merge new.dat disc.dat");
  EXPECT_EQ(busy.status, 2) << busy.err;
  EXPECT_NE(busy.err.find("new.dat: being written by another program"), std::string::npos) << busy.err;
  EXPECT_EQ(test::ReadFile(dir / "new.dat"), before);
  EXPECT_TRUE(fs::exists(dir / "new.ext.tmp4194300-0"));
  const test::CommandResult later = Vnkit(dir, "merge new.dat disc.dat");
  EXPECT_EQ(later.status, 0) << later.err;
  EXPECT_FALSE(fs::exists(dir / "new.ext.tmp4194300-0"));
  EXPECT_EQ(test::ReadFile(dir / "new.ext.tmp-mine"), "the user's");

  // An archive that has its directory within: appended to, and cut back to its old length.
  const std::string old = test::BuildArchive({test::StoredWithCrc("old.txt", "old")});
  test::WriteFile(dir / "old.dat", old);
  fs::create_directory(dir / "old.ext");
  const test::CommandResult appended = Vnkit(dir, "merge old.dat disc.dat");
  EXPECT_EQ(appended.status, 2) << appended.err;
  EXPECT_EQ(test::ReadFile(dir / "old.dat"), old);
}

TEST(VnkitFailedRuns, PipesDevicesAndReadOnlyFilesAreNeverReplacedByOutput) {
  const fs::path dir = test::MakeTempDir();
  test::WriteFile(dir / "files" / "a.txt", "alpha");
  test::WriteFile(dir / "game.json", "{\"Title\": \"t\"}");
  test::WriteFile(dir / "launcher.exe", "MZ launcher");
  ASSERT_EQ(Vnkit(dir, "pack files -o disc.dat").status, 0);
  ASSERT_EQ(::mkfifo((dir / "pipe.dat").c_str(), 0600), 0);
  // "-o /dev/null" as root would otherwise put a file in the place of the device.
  fs::create_symlink(dir / "pipe.dat", dir / "link.dat");
  test::WriteFile(dir / "kept.dat", "protected");
  fs::permissions(dir / "kept.dat", fs::perms::owner_read | fs::perms::group_read);
  for (const std::string out : {"pipe.dat", "link.dat", "kept.dat"}) {
    for (const std::string command :
         {"settings build game.json -o ", "pack files -o ", "append launcher.exe disc.dat -o ", "merge "}) {
      const std::string line = command + out + (command == "merge " ? " disc.dat" : "");
      const test::CommandResult r = Vnkit(dir, line);
      EXPECT_EQ(r.status, 2) << line << ": " << r.err;
      EXPECT_NE(r.err.find(out == "kept.dat" ? "read-only" : "not a regular file"), std::string::npos)
          << line << ": " << r.err;
    }
  }
  fs::create_directory(dir / "out");
  ASSERT_EQ(::mkfifo((dir / "out" / "a.txt").c_str(), 0600), 0);
  const test::CommandResult extract = Vnkit(dir, "extract disc.dat -o out");
  EXPECT_EQ(extract.status, 2) << extract.err;
  EXPECT_NE(extract.err.find("not a regular file"), std::string::npos) << extract.err;
  EXPECT_TRUE(fs::is_fifo(dir / "pipe.dat"));
  EXPECT_EQ(test::ReadFile(dir / "kept.dat"), "protected");
  EXPECT_TRUE(fs::is_fifo(dir / "out" / "a.txt"));
  EXPECT_FALSE(fs::exists(dir / "pipe.ext"));
}

TEST(VnkitFailedRuns, EndlessStandardInputIsSpooledToDiskAndRemovedWhenEnded) {
  const fs::path dir = test::MakeTempDir();
  fs::create_directory(dir / "tmp");
  // The input goes to disk as it comes (not into memory first): the spool grows while vnkit runs.
  // SIGTERM (Ctrl-C is ignored by a background job of a script) then removes it, as the end of the
  // program would. 256 MiB of input at the most, should the signal not end it.
  const std::string script =
      "export TMPDIR=\"$PWD/tmp\"; head -c 268435456 /dev/zero | " + test::ShellQuoted(VNKIT) +
      " list - & pid=$!; size=0; tries=0;"
      " while [ \"$size\" -lt 8388608 ] && [ $tries -lt 1200 ]; do sleep 0.1; tries=$((tries + 1));"
      " size=$(stat -c %s tmp/*/stdin.dat 2>/dev/null || echo 0); done;"
      " kill -TERM $pid; wait $pid; echo \"status $? spooled $size\"; ls tmp";
  const test::CommandResult r = Script(dir, script);
  EXPECT_NE(r.out.find("status 143 spooled"), std::string::npos) << r.out << r.err;
  const size_t at = r.out.find("spooled ");
  ASSERT_NE(at, std::string::npos) << r.out;
  EXPECT_GE(std::stoll(r.out.substr(at + 8)), 8388608) << r.out;
  EXPECT_TRUE(fs::is_empty(dir / "tmp"));

  // a temporary folder that does not exist is named, and not made
  const test::CommandResult missing =
      Script(dir, "TMPDIR=\"$PWD/none/tmp\" " + test::ShellQuoted(VNKIT) + " list - < /dev/null");
  EXPECT_EQ(missing.status, 2) << missing.err;
  EXPECT_NE(missing.err.find("standard input: cannot be spooled to"), std::string::npos) << missing.err;
  EXPECT_FALSE(fs::exists(dir / "none"));
}

TEST(VnkitFailedRuns, InterruptedPackAndMergeLeaveNothingHalfMade) {
  const fs::path dir = test::MakeTempDir();
  test::WriteFile(dir / "game.dat", "old archive");
  // Random bytes deflate slowly (and are then stored): time enough to be interrupted. The pack is
  // ended by SIGTERM once its output file appears; the merge into a new data file once it has
  // appended two entries and stands before the third (a signal timed by the file alone may come
  // after the merge has finished, which then rightly leaves its data file).
  const std::string vnkit = test::ShellQuoted(VNKIT);
  const std::string interrupt =
      " & pid=$!; tries=0; while ! ls $out >/dev/null 2>&1 && [ $tries -lt 3000 ]; do sleep 0.01;"
      " tries=$((tries + 1)); done; kill -TERM $pid; wait $pid; echo \"$what status $?\"; ";
  const std::string script =
      "mkdir files && for i in 1 2 3 4 5 6 7 8 9 10 11 12; do head -c 4500000 /dev/urandom > files/f$i.bin;"
      " done; what=pack; out='.game.dat.vnkit-replace/new.dat'; " +
      vnkit + " pack files -o game.dat" + interrupt + vnkit +
      " pack files -o disc.dat -q; what=merge; out=paused; VNSETUP_TEST_PAUSE=vnkit-merge:3"
      " VNSETUP_TEST_PAUSE_FILE=\"$PWD/paused\" " +
      vnkit + " merge new.dat disc.dat" + interrupt + "ls -a";
  const test::CommandResult r = Script(dir, script);
  // the old archive stays, and no temporary one is left beside it
  EXPECT_NE(r.out.find("pack status 143"), std::string::npos) << r.out << r.err;
  EXPECT_EQ(r.out.find("game.dat."), std::string::npos) << r.out;
  EXPECT_EQ(test::ReadFile(dir / "game.dat"), "old archive");
  // a data file without its directory would be refused by every later merge: none is left
  EXPECT_NE(r.out.find("merge status 143"), std::string::npos) << r.out << r.err;
  EXPECT_FALSE(fs::exists(dir / "new.dat"));
  EXPECT_FALSE(fs::exists(dir / "new.001"));
  EXPECT_FALSE(fs::exists(dir / "new.ext"));
}

}  // namespace
}  // namespace vn
