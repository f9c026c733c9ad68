// vnsetup --unattended against what a hostile or unlucky user brings: settings files that lie, folders
// that must not become install folders, discs without their archive, aborts and failures in the
// middle, and runs killed (SIGKILL) at any moment -- on disc sets vnkit builds. Whatever happens,
// the user's own files around the game (beside it, in its save folder, in $HOME, in another game's
// folder) survive: every test checks them when it ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>

#include "archive/vr_files.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "settings/settings.h"
#include "tests/support/test_env.h"

namespace vn {
namespace {

namespace fs = std::filesystem;

const char kTitle[] = "安全テスト";

fs::path EnvFolder(const char* name) {
  return fs::path(std::getenv(name));
}

// Every file and folder below `root`: relative path -> size and a hash of the content ("/" for a
// folder).
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string rel = it->path().lexically_relative(root).string();
    if (it->is_directory()) {
      tree[rel] = "/";
    } else {
      const std::string content = test::ReadFile(it->path());
      tree[rel] = std::to_string(content.size()) + ":" + std::to_string(std::hash<std::string>{}(content));
    }
  }
  return tree;
}

// Tree with each entry's permissions and modification time: what "put back as it was" must keep.
std::map<std::string, std::string> TreeWithTimes(const fs::path& root) {
  std::map<std::string, std::string> tree = Tree(root);
  for (auto& [rel, what] : tree) {
    struct stat st;
    if (::lstat((root / rel).c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
      what += " " + std::to_string(st.st_mode) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
              std::to_string(st.st_mtim.tv_nsec);
    }
  }
  return tree;
}

bool HoldsTemporary(const fs::path& root) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().filename().string().find(".tmp") != std::string::npos) return true;
  }
  return false;
}

class InstallSafety : public testing::Test {
 protected:
  void SetUp() override { PlantUserFiles(); }
  void TearDown() override { ExpectUserFilesIntact(); }

  // The two-disc set; `big` adds a large sound file to disc 1 (for a kill in the middle of a copy).
  void BuildSet(bool big = false) {
    std::string archive;
    for (int i = 0; i < 25; ++i) archive += "\"data\\\\" + std::to_string(i) + ".bin\": {\"size\": 2000}, ";
    test::WriteFile(dir_ / "spec.json", std::string(R"({
      "settings": {"Title": "安全テスト", "RegistryKey": "\\Safety\\Game", "ExeName": "game.sh",
                   "ReadmeName": "readme.txt", "ShowReadme": true},
      "discs": [
        {"files": {"game.sh": {"text": "#!/bin/sh\n"}, "readme.txt": {"text": "読んでね"},
                   "bgm\\op.ogg": {"size": 3000})") +
                                            (big ? R"(, "bgm\\big.ogg": {"size": 30000000})" : "") +
                                            R"(},
         "archive": {)" + archive + R"("scenario\\a.txt": {"text": "一"}}},
        {"files": {"movie\\ed.mpg": {"size": 5000}}, "archive": {"scenario\\b.txt": {"text": "二"}}}
      ]
    })");
    ASSERT_EQ(Run(test::ShellQuoted(VNKIT) + " disc build " + Quoted(dir_ / "spec.json") + " -o " +
                  Quoted(dir_ / "set") + " --no-launcher"),
              0)
        << err_;
  }

  // Changes the install.dat of every disc.
  void EditDiscs(const std::function<void(TVondInstallSet&)>& edit) {
    for (const fs::path& disc : {disc1_, disc2_}) {
      TVondInstallSet s;
      s.LoadFromFile(disc / "install.dat");
      edit(s);
      s.SaveToFile(disc / "install.dat");
    }
  }

  static std::string Quoted(const fs::path& p) { return test::ShellQuoted(p.string()); }

  int Run(const std::string& command) {
    test::CommandResult result = test::RunShell(command, dir_);
    out_ = std::move(result.out);
    err_ = std::move(result.err);
    return result.status;
  }

  // `exe --unattended ARGS`, with no display; `env` adds variables.
  std::string Command(const fs::path& exe, const std::string& args, const std::string& env = "") {
    return "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + env + " " + Quoted(exe) +
           " --unattended " + args;
  }
  std::string InstallArgs(const fs::path& folder, const std::string& extra = "") {
    return "--accept-license --folder " + Quoted(folder) + " " + extra + " " + Quoted(disc1_);
  }
  int Install(const std::string& extra = "") { return Run(Command(VNSETUP, InstallArgs(game_, extra))); }
  int Uninstall(const fs::path& folder) { return Run(Command(VNSETUP, Quoted(folder))); }

  // Starts `command` (exec'd by the shell, so the shell's process becomes the program's), waits for
  // `ready`, and kills the program with SIGKILL. False when it ended before.
  bool KillWhen(const std::string& command, const std::function<bool()>& ready) {
    const std::string line =
        "exec " + command + " >" + Quoted(dir_ / "killed.out") + " 2>" + Quoted(dir_ / "killed.err");
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int status = 0;
    for (long i = 0; i < 2000000; ++i) {  // bounded: a run that never gets there fails the test
      if (ready()) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
      }
      if (::waitpid(pid, &status, WNOHANG) == pid) return false;
      ::usleep(100);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return false;
  }
  // Kills the run when it reaches the test pause point `point` (see PauseForTest).
  bool KilledAt(const std::string& point, const fs::path& exe, const std::string& args) {
    const fs::path marker = dir_ / ("paused-" + std::to_string(++pauses_));
    return KillWhen(
        Command(exe, args, "VNSETUP_TEST_PAUSE=" + point + " VNSETUP_TEST_PAUSE_FILE=" + Quoted(marker)),
        [&] { return fs::exists(marker); });
  }

  // Starts the run, waits for it at `point`, calls `act` with its process id, lets it go on, and
  // returns its exit status (-1 when it did not exit by itself). Its stderr lands in err_.
  int PausedAt(const std::string& point, const fs::path& exe, const std::string& args,
               const std::function<void(pid_t)>& act) {
    const fs::path marker = dir_ / ("paused-" + std::to_string(++pauses_));
    const std::string line =
        "exec " +
        Command(exe, args, "VNSETUP_TEST_PAUSE=" + point + " VNSETUP_TEST_PAUSE_FILE=" + Quoted(marker)) +
        " >/dev/null 2>" + Quoted(dir_ / "paused.err");
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (long i = 0; i < 2000000 && !fs::exists(marker); ++i) ::usleep(100);
    act(pid);
    fs::remove(marker);
    int status = 0;
    ::waitpid(pid, &status, 0);
    err_ = test::ReadFile(dir_ / "paused.err");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Sends `signal` to the run when it reaches `point` and lets it go on.
  int SignalledAt(const std::string& point, int signal, const fs::path& exe, const std::string& args) {
    return PausedAt(point, exe, args, [signal](pid_t pid) { ::kill(pid, signal); });
  }
  // Runs `command` with stdout and stderr on a pipe nobody reads any more; returns its exit status.
  int RunWithClosedOutput(const std::string& command) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    ::close(fds[0]);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::signal(SIGPIPE, SIG_DFL);  // as in a shell pipeline, whatever this test process does
      ::dup2(fds[1], 1);
      ::dup2(fds[1], 2);
      ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // `program` with the files of `folder` packed and appended as its archive: an update or setup
  // program as a publisher ships it.
  void PackProgram(const fs::path& folder, const fs::path& program, const fs::path& out) {
    ASSERT_EQ(
        Run(test::ShellQuoted(VNKIT) + " pack " + Quoted(folder) + " -o " + Quoted(folder.string() + ".pak") +
            " && " + test::ShellQuoted(VNKIT) + " append " + Quoted(program) + " " +
            Quoted(folder.string() + ".pak") + " -o " + Quoted(out) + " && chmod 755 " + Quoted(out)),
        0)
        << err_;
  }

  // An update program of the set's title that adds 25 entries to the installed data file.
  fs::path BuildUpdate() {
    TVondInstallSet update;
    update.LoadFromFile(disc1_ / "install.dat");
    update.UpdateMode = true;
    update.SetDiscCount(1);
    update.DiscDataSize[0] = update.DataSize = 1;
    fs::create_directories(dir_ / "update");
    update.SaveToFile(dir_ / "update" / "install.dat");
    for (int i = 0; i < 25; ++i)
      test::WriteFile(dir_ / "update" / ("new" + std::to_string(i) + ".txt"), "new");
    const fs::path program = dir_ / "web" / "update.exe";
    fs::create_directories(program.parent_path());
    PackProgram(dir_ / "update", VNSETUP, program);
    return program;
  }

  std::string InstallPathValue() {
    TVondInstallSet s;
    s.RegistryKey = DataString("Safety\\Game");
    return s.ReadValue("InstallPath", "");
  }
  fs::path Menu() { return EnvFolder("XDG_DATA_HOME") / "applications" / kTitle; }

  // Files and empty folders of the user around the game.
  void PlantUserFiles() {
    for (const auto& [path, content] : Planted()) test::WriteFile(path, content);
    for (const fs::path& folder : PlantedFolders()) fs::create_directories(folder);
    TVondInstallSet other;
    other.Title = Utf8ToCp932("他のゲーム");
    other.Installed = true;
    other.AddInstalledFile(DataString("data.txt"));
    other.SaveToFile(games_ / "Other" / "install.dat");
  }
  std::map<fs::path, std::string> Planted() {
    return {{games_ / "beside.txt", "beside"},
            {home_ / "notes.txt", "home"},
            {EnvFolder("XDG_DATA_HOME") / kTitle / "save.dat", "progress"},
            {EnvFolder("XDG_DATA_HOME") / kTitle / "diary.txt", "diary"},
            {games_ / "Other" / "data.txt", "other game"}};
  }
  // The user's own files in the install folder, some with the game's names (one read-only, one
  // with an old time), data files among them.
  void PlantSameNames() {
    for (const char* name :
         {"readme.txt", "bgm/op.ogg", "game.dat", "game.ext", "game.001", "mine.txt", "sound/op.ogg"}) {
      test::WriteFile(game_ / name, std::string("the user's ") + name);
    }
    fs::permissions(game_ / "readme.txt", fs::perms::owner_read | fs::perms::group_read);
    fs::last_write_time(game_ / "bgm" / "op.ogg", fs::file_time_type::clock::now() - std::chrono::hours(900));
  }
  std::vector<fs::path> PlantedFolders() {
    return {games_ / "Empty", home_ / "Documents", home_ / ".ssh", games_ / "Other" / "empty"};
  }
  void ExpectUserFilesIntact() {
    for (const auto& [path, content] : Planted()) {
      EXPECT_TRUE(fs::exists(path) && test::ReadFile(path) == content) << path;
    }
    for (const fs::path& folder : PlantedFolders()) EXPECT_TRUE(fs::is_directory(folder)) << folder;
    EXPECT_TRUE(fs::exists(games_ / "Other" / "install.dat"));
  }

  fs::path dir_ = test::MakeTempDir("safety");
  fs::path home_ = EnvFolder("HOME");
  fs::path games_ = dir_ / "Games";
  fs::path game_ = games_ / "星";
  fs::path disc1_ = dir_ / "set" / "disc1", disc2_ = dir_ / "set" / "disc2";
  std::string out_, err_;
  int pauses_ = 0;
};

// Killed at any moment of an install, then run again: the same installation as an uninterrupted
// run, no temporaries left, and the uninstaller removes all of it.
TEST_F(InstallSafety, KilledInstallRunAgainGivesTheSameInstallation) {
  BuildSet(true);
  const fs::path reference = games_ / "reference";
  ASSERT_EQ(Run(Command(VNSETUP, InstallArgs(reference))), 0) << err_;
  const auto expected = Tree(reference);
  ASSERT_EQ(Uninstall(reference), 0) << err_;
  ASSERT_FALSE(fs::exists(reference));

  // The big copy: killed while its temporary exists (when the machine is slow enough to see it).
  KillWhen(Command(VNSETUP, InstallArgs(game_)), [&] { return HoldsTemporary(game_); });
  for (const char* point : {"", "copy:3", "merge:7", "record", "shortcuts", "registry"}) {
    SCOPED_TRACE(point);
    if (*point) {
      ASSERT_TRUE(KilledAt(point, VNSETUP, InstallArgs(game_))) << test::ReadFile(dir_ / "killed.err");
    }
    ASSERT_EQ(Install(), 0) << err_;
    EXPECT_EQ(Tree(game_), expected);
    EXPECT_TRUE(fs::exists(Menu() / (std::string(kTitle) + ".desktop")));
    EXPECT_FALSE(HoldsTemporary(Menu()));
    EXPECT_EQ(InstallPathValue(), game_.string() + "/");

    ASSERT_EQ(Run(Command(game_ / "install.exe", "")), 0) << err_;
    EXPECT_FALSE(fs::exists(game_));
    EXPECT_FALSE(fs::exists(Menu()));
    EXPECT_EQ(InstallPathValue(), "");
  }
}

// install.dat goes last: an uninstall killed half-way is run again from the same launcher.
TEST_F(InstallSafety, KilledUninstallCanBeRunAgain) {
  BuildSet();
  for (const char* point : {"uninstall:4", "uninstall-last"}) {
    SCOPED_TRACE(point);
    ASSERT_EQ(Install(), 0) << err_;
    ASSERT_TRUE(KilledAt(point, game_ / "install.exe", ""));
    EXPECT_TRUE(fs::exists(game_ / "install.dat"));
    ASSERT_EQ(Run(Command(game_ / "install.exe", "")), 0) << err_;
    EXPECT_FALSE(fs::exists(game_));
    EXPECT_EQ(InstallPathValue(), "");
  }
}

// Ctrl-C, SIGTERM or a closed terminal stop an install as Abort does: what it made is removed and
// the run says so. An uninstall already deleting files runs to its end. A progress pipe closed by
// its reader (`vnsetup ... | head`) stops nothing.
TEST_F(InstallSafety, SignalsStopARunCleanlyAndAClosedPipeStopsNothing) {
  BuildSet();
  for (const auto& [point, signal] :
       {std::pair{"copy:2", SIGINT}, {"merge:7", SIGTERM}, {"copy:4", SIGHUP}}) {
    SCOPED_TRACE(point);
    EXPECT_EQ(SignalledAt(point, signal, VNSETUP, InstallArgs(game_)), 1) << err_;
    EXPECT_NE(err_.find("インストールを中断しました"), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(game_));
    EXPECT_FALSE(fs::exists(Menu()));
    EXPECT_EQ(InstallPathValue(), "");
  }
  ASSERT_EQ(Install(), 0) << err_;
  EXPECT_EQ(SignalledAt("uninstall:3", SIGINT, game_ / "install.exe", ""), 0) << err_;
  EXPECT_FALSE(fs::exists(game_));

  ASSERT_EQ(RunWithClosedOutput(Command(VNSETUP, InstallArgs(game_))), 0);
  EXPECT_TRUE(fs::exists(game_ / "install.dat"));
  EXPECT_EQ(InstallPathValue(), game_.string() + "/");
  ASSERT_EQ(RunWithClosedOutput(Command(game_ / "install.exe", "")), 0);
  EXPECT_FALSE(fs::exists(game_));
}

// A runtime folder that cannot be used (another user's, as after `su`; one already removed) is no
// reason to refuse: the run neither ends as if another copy of it were running nor fails.
TEST_F(InstallSafety, UnusableRuntimeFolderDoesNotStopTheRun) {
  BuildSet();
  test::WriteFile(dir_ / "not-a-folder", "");
  for (const fs::path& runtime : {dir_ / "removed", dir_ / "not-a-folder"}) {
    const std::string env = "XDG_RUNTIME_DIR=" + Quoted(runtime);
    ASSERT_EQ(Run(Command(VNSETUP, InstallArgs(game_), env)), 0) << err_;
    ASSERT_EQ(Run(Command(game_ / "install.exe", "", env)), 0) << err_;
    EXPECT_FALSE(fs::exists(game_));
  }
}

// An update of an installation stopped in the middle of its data file (killed, or aborted) leaves
// bytes behind the data the directory knows; the update run again writes over them, so no entry of
// the installed data file takes them in.
TEST_F(InstallSafety, UpdateRunAgainAfterAStoppedOneKeepsTheDataFileWhole) {
  BuildSet();
  ASSERT_EQ(Install(), 0) << err_;
  const fs::path program = BuildUpdate();
  ASSERT_TRUE(KilledAt("merge:12", program, "--folder " + Quoted(game_)));
  ASSERT_EQ(Run(Command(program, "--folder " + Quoted(game_))), 0) << err_;
  EXPECT_EQ(Run(test::ShellQuoted(VNKIT) + " verify " + Quoted(game_ / "game.dat")), 0) << err_;
  ASSERT_EQ(Run(Command(game_ / "install.exe", "")), 0) << err_;
  EXPECT_FALSE(fs::exists(game_));
}

// An update stopped after it grew the data file (aborted by a signal; killed, then stopped on its
// next run) puts the installation back byte for byte, times included; finished, it leaves nothing
// kept aside; killed again, the installation can still be uninstalled.
TEST_F(InstallSafety, StoppedUpdateLeavesTheInstallationAsItWas) {
  BuildSet();
  ASSERT_EQ(Install(), 0) << err_;
  const fs::path program = BuildUpdate();
  const std::string args = "--folder " + Quoted(game_);
  const auto before = TreeWithTimes(game_);
  EXPECT_EQ(SignalledAt("check:1", SIGTERM, program, args), 1) << err_;
  EXPECT_EQ(TreeWithTimes(game_), before);
  ASSERT_TRUE(KilledAt("record", program, args));
  EXPECT_EQ(SignalledAt("check:1", SIGTERM, program, args), 1) << err_;
  EXPECT_EQ(TreeWithTimes(game_), before) << "killed, then stopped on its next run";
  ASSERT_EQ(Run(Command(program, args)), 0) << err_;
  for (const auto& [rel, what] : Tree(game_)) EXPECT_EQ(rel.find("vnsetup-kept"), std::string::npos) << rel;
  EXPECT_EQ(Run(test::ShellQuoted(VNKIT) + " verify " + Quoted(game_ / "game.dat")), 0) << err_;
  ASSERT_TRUE(KilledAt("record", program, args));
  ASSERT_EQ(Run(Command(game_ / "install.exe", "")), 0) << err_;
  EXPECT_FALSE(fs::exists(game_));
}

// The home folder, the desktop, another game's folder and the discs are no install folders; a shared
// folder is, and the uninstaller then removes only what the installation made there.
TEST_F(InstallSafety, RefusedFoldersAndASharedFolder) {
  BuildSet();
  const std::string disc_before = test::ReadFile(disc1_ / "install.dat");
  const std::vector<std::pair<fs::path, std::string>> refused = {{home_, "ホームフォルダ"},
                                                                 {home_ / "Desktop", "デスクトップ"},
                                                                 {games_ / "Other", "他のゲーム"},
                                                                 {disc1_, "ディスクのフォルダ"},
                                                                 {disc1_ / "sub", "ディスクのフォルダ"},
                                                                 {dir_ / "set", "ディスクのフォルダ"},
                                                                 {disc2_, "ディスクのフォルダ"}};
  for (const auto& [folder, why] : refused) {
    EXPECT_EQ(Run(Command(VNSETUP, InstallArgs(folder))), 2) << folder;
    EXPECT_NE(err_.find(why), std::string::npos) << err_;
  }
  EXPECT_EQ(test::ReadFile(disc1_ / "install.dat"), disc_before);
  EXPECT_FALSE(fs::exists(disc1_ / "sub"));
  // The home folder by another path: a link to it, and (where this sandbox may mount) a bind mount.
  fs::create_directory_symlink(home_, dir_ / "home-link");
  EXPECT_EQ(Run(Command(VNSETUP, InstallArgs(dir_ / "home-link"))), 2);
  EXPECT_NE(err_.find("ホームフォルダ"), std::string::npos) << err_;
  fs::create_directories(dir_ / "home-bind");
  if (Run("mount --bind " + Quoted(home_) + " " + Quoted(dir_ / "home-bind")) == 0) {
    EXPECT_EQ(Run(Command(VNSETUP, InstallArgs(dir_ / "home-bind"))), 2);
    EXPECT_NE(err_.find("ホームフォルダ"), std::string::npos) << err_;
    Run("umount " + Quoted(dir_ / "home-bind"));
  } else {
    std::printf("bind mount sub-case skipped: mount --bind is not allowed here (%s)\n", err_.c_str());
  }

  const auto before = Tree(games_);
  ASSERT_EQ(Run(Command(VNSETUP, InstallArgs(games_))), 0) << err_;
  EXPECT_TRUE(fs::exists(games_ / "bgm" / "op.ogg"));
  ASSERT_EQ(Uninstall(games_), 0) << err_;
  EXPECT_EQ(Tree(games_), before);
}

// A bind mount of a folder of the same file system is a mount point, and the desktop, the documents
// and another title's installation reached through a bound parent are refused as by their own paths.
TEST_F(InstallSafety, FoldersBehindABindMountAreRefused) {
  if (Run("unshare -rm true") != 0) GTEST_SKIP() << "no mount namespace here: " << err_;
  BuildSet();
  for (const fs::path& folder :
       {dir_ / "plain", dir_ / "bound", dir_ / "home", dir_ / "games", home_ / "Desktop"})
    fs::create_directories(folder);
  test::WriteFile(EnvFolder("XDG_CONFIG_HOME") / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n");
  const std::string mounts = "mount --bind " + Quoted(dir_ / "plain") + " " + Quoted(dir_ / "bound") +
                             " && mount --bind " + Quoted(home_) + " " + Quoted(dir_ / "home") +
                             " && mount --bind " + Quoted(games_) + " " + Quoted(dir_ / "games") +
                             " && exec ";
  const std::vector<std::pair<fs::path, std::string>> refused = {
      {dir_ / "bound", "正しいインストール先を指定してください"},
      {dir_ / "home" / "Desktop", "デスクトップ"},
      {dir_ / "home" / "Documents", "デスクトップ"},
      {dir_ / "games" / "Other", "他のゲーム"}};
  for (const auto& [folder, why] : refused) {
    EXPECT_EQ(Run("unshare -rm sh -c " + test::ShellQuoted(mounts + Command(VNSETUP, InstallArgs(folder)))),
              2)
        << folder << err_;
    EXPECT_NE(err_.find(why), std::string::npos) << err_;
  }
  EXPECT_TRUE(fs::is_empty(dir_ / "plain"));
  EXPECT_TRUE(fs::is_empty(home_ / "Desktop"));
}

// Settings that lie are refused before anything is written, and a reinstall over a read-only file
// replaces it: an earlier installation is never left broken.
TEST_F(InstallSafety, HostileSettingsAndReadOnlyFilesLeaveTheInstallationWhole) {
  BuildSet();
  ASSERT_EQ(Install(), 0) << err_;
  fs::permissions(game_ / "game.sh", fs::perms::owner_read);
  ASSERT_EQ(Install(), 0) << err_;
  EXPECT_TRUE(fs::exists(game_ / "game.dat"));
  EXPECT_EQ(test::ReadFile(game_ / "game.sh"), test::ReadFile(disc1_ / "game.sh"));
  const auto installed = Tree(game_);

  const std::vector<std::pair<std::function<void(TVondInstallSet&)>, std::string>> lies = {
      {[](TVondInstallSet& s) { s.ExeName = DataString("..\\..\\evil.sh"); }, "ExeName"},
      {[](TVondInstallSet& s) { s.ReadmeName = DataString("/etc/passwd"); }, "ReadmeName"},
      {[](TVondInstallSet& s) { s.DiscIndex = 5; }, "DiscIndex"}};
  const std::string disc1 = test::ReadFile(disc1_ / "install.dat"),
                    disc2 = test::ReadFile(disc2_ / "install.dat");
  for (const auto& [lie, field] : lies) {
    const fs::path fresh = games_ / "fresh";
    EditDiscs(lie);
    EXPECT_EQ(Install(), 1) << field;
    EXPECT_NE(err_.find(field), std::string::npos) << err_;
    EXPECT_EQ(Tree(game_), installed) << field;
    EXPECT_EQ(Run(Command(VNSETUP, InstallArgs(fresh))), 1) << field;
    EXPECT_FALSE(fs::exists(fresh)) << field;
    test::WriteFile(disc1_ / "install.dat", disc1);
    test::WriteFile(disc2_ / "install.dat", disc2);
  }
  EXPECT_FALSE(fs::exists(dir_ / "evil.sh"));
  EXPECT_FALSE(fs::exists(games_ / "evil.sh"));
}

// A disc whose data is chosen must bring its archive: refused before anything is copied.
TEST_F(InstallSafety, DiscWithoutItsArchiveIsRefused) {
  BuildSet();
  fs::remove(disc2_ / "game.dat");
  EXPECT_EQ(Install(), 1);
  EXPECT_NE(err_.find("ディスク2"), std::string::npos) << err_;
  EXPECT_NE(err_.find("game.dat"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(game_));

  fs::remove(disc1_ / "game.dat");
  EXPECT_EQ(Install("--this-disc-only"), 1);
  EXPECT_NE(err_.find("ディスク1"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(game_));
  ASSERT_EQ(Install("--this-disc-only --components sound"), 0) << err_;  // no data chosen
  EXPECT_FALSE(fs::exists(game_ / "game.dat"));
}

// A next disc that is there but cannot be read is named with what is wrong with it: a failure of
// the files (exit 1), not a folder the user forgot to name.
TEST_F(InstallSafety, UnreadableNextDiscIsNamed) {
  BuildSet();
  const std::string settings = test::ReadFile(disc2_ / "install.dat");
  test::WriteFile(disc2_ / "install.dat", settings.substr(0, settings.size() / 2));
  EXPECT_EQ(Install(), 1);
  EXPECT_NE(err_.find((disc2_ / "install.dat").string() + ": damaged settings file"), std::string::npos)
      << err_;
  EXPECT_FALSE(fs::exists(game_));
}

// A failure in the middle takes away what the run made; what was there before stays.
TEST_F(InstallSafety, FailedInstallRemovesWhatItMade) {
  BuildSet();
  {
    std::string bytes = test::ReadFile(disc1_ / "game.dat");
    TVrFileCollection archive;
    archive.Open(disc1_ / "game.dat");
    bytes[static_cast<size_t>(archive[archive.IndexOf(DataString("data\\3.bin"))].Offset + 5)] ^= 0x5A;
    archive.Open(fs::path());
    test::WriteFile(disc1_ / "game.dat", bytes);
  }
  PlantSameNames();
  const auto before = TreeWithTimes(game_);
  EXPECT_EQ(Install("--replace-existing"), 1);
  EXPECT_NE(err_.find("ファイルの内容が正しくありません"), std::string::npos) << err_;
  EXPECT_NE(err_.find("インストールは完了していません"), std::string::npos) << err_;
  EXPECT_EQ(TreeWithTimes(game_), before) << "the folder exactly as it was, replaced files put back";
  EXPECT_EQ(InstallPathValue(), "");
  EXPECT_FALSE(fs::exists(Menu()));
}

// A folder of the disc that cannot be read (as on a damaged disc) holding a listed file fails the
// install as a file that cannot be read does: nothing reported as done, the folder put back.
TEST_F(InstallSafety, UnreadableFolderOnTheDiscFailsTheInstall) {
  // root reads whatever the permissions say: the run goes without that power
  const std::string as_user = ::geteuid() == 0 ? "setpriv --bounding-set -dac_override,-dac_read_search" : "";
  if (!as_user.empty() && Run(as_user + " true") != 0)
    GTEST_SKIP() << "cannot give up root's powers: " << err_;
  BuildSet();
  PlantSameNames();
  const auto before = TreeWithTimes(game_);
  fs::permissions(disc1_ / "bgm", fs::perms::none);
  const int status = Run(Command(VNSETUP, InstallArgs(game_, "--replace-existing"), as_user));
  fs::permissions(disc1_ / "bgm", fs::perms::owner_all);
  EXPECT_EQ(status, 1) << err_;
  EXPECT_NE(err_.find((disc1_ / "bgm").string()), std::string::npos) << err_;
  EXPECT_EQ(err_.find("インストールが完了しました"), std::string::npos) << err_;
  EXPECT_EQ(TreeWithTimes(game_), before);
  EXPECT_EQ(InstallPathValue(), "");
}

// A disc that fills up (something else writes to it) before the launcher is copied as the
// uninstaller: the message names the cause, as for any other file, and nothing of the run is left.
// The launcher is far larger than the game's files here.
TEST_F(InstallSafety, FullDiskAtTheLauncherCopyIsNamed) {
  if (Run("unshare -rm true") != 0) GTEST_SKIP() << "no mount namespace here: " << err_;
  BuildSet();
  const fs::path small = dir_ / "small", marker = dir_ / "paused";
  fs::create_directories(small);
  const std::string size = std::to_string(fs::file_size(VNSETUP) / 1024 + 4096) + "k";
  const std::string script = "mount -t tmpfs -o size=" + size + " none " + Quoted(small) + " || exit 99; " +
                             Command(VNSETUP, InstallArgs(small / "星"),
                                     "VNSETUP_TEST_PAUSE=copy:4 VNSETUP_TEST_PAUSE_FILE=" + Quoted(marker)) +
                             " & i=0; while [ ! -e " + Quoted(marker) +
                             " ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i+1)); done; " +
                             // all but 1 MiB filled: enough for the game's last files, not for the launcher
                             "cat /dev/zero >" + Quoted(small / "filler") + " 2>/dev/null; truncate -s -1M " +
                             Quoted(small / "filler") + "; rm " + Quoted(marker) +
                             "; wait $!; status=$?; ls -A " + Quoted(small) + "; exit $status";
  EXPECT_EQ(Run("unshare -rm sh -c " + Quoted(script)), 1) << err_;
  EXPECT_NE(err_.find((small / "星" / "install.exe").string() + "\nファイルをコピーできませんでした\n"),
            std::string::npos)
      << err_;
  EXPECT_NE(err_.find("No space left on device"), std::string::npos) << err_;
  EXPECT_EQ(out_, "filler\n") << "left on the full disc";
}

// Without a title the menu entries still get a group of their own (the install folder's name), and
// a full uninstall leaves neither them nor an empty Software section in the registry file.
TEST_F(InstallSafety, EmptyTitleKeepsTheMenuGroupedAndTheUninstallLeavesNoDebris) {
  BuildSet();
  EditDiscs([](TVondInstallSet& s) { s.Title = DataString(""); });
  const fs::path config = dir_ / "config", data = dir_ / "data";
  const std::string env = "XDG_CONFIG_HOME=" + Quoted(config) + " XDG_DATA_HOME=" + Quoted(data);
  ASSERT_EQ(Run(Command(VNSETUP, InstallArgs(game_), env)), 0) << err_;
  std::vector<std::string> menu;
  for (const auto& [rel, what] : Tree(data / "applications")) menu.push_back(rel);
  EXPECT_EQ(menu, (std::vector<std::string>{"星", "星/お読みください.desktop", "星/星.desktop",
                                            "星/星のアンインストール.desktop"}));
  ASSERT_EQ(Run(Command(game_ / "install.exe", "", env)), 0) << err_;
  EXPECT_TRUE(Tree(data / "applications").empty());
  EXPECT_EQ(test::ReadFile(config / "vnsetup" / "registry.ini").find("[Software"), std::string::npos);
}

// A reinstall from fewer discs keeps the records of the files the earlier one installed.
TEST_F(InstallSafety, ReinstallWithFewerDiscsKeepsTheEarlierRecords) {
  BuildSet();
  ASSERT_EQ(Install(), 0) << err_;
  ASSERT_EQ(Install("--this-disc-only --components sound"), 0) << err_;
  ASSERT_EQ(Run(Command(game_ / "install.exe", "")), 0) << err_;
  EXPECT_FALSE(fs::exists(game_)) << "movie/ed.mpg of disc 2 is removed too";
}

// A RegistryKey of nothing but delimiters names no key: the install writes no value under Software
// and the uninstall deletes no other product's key.
TEST_F(InstallSafety, RegistryKeyOfOnlyDelimitersTouchesNoKey) {
  BuildSet();
  TVondInstallSet other;
  other.RegistryKey = DataString("Other\\Product");
  other.WriteValue("InstallPath", "/elsewhere");
  EditDiscs([](TVondInstallSet& s) { s.RegistryKey = DataString("\\\\"); });
  ASSERT_EQ(Install(), 0) << err_;
  ASSERT_EQ(Run(Command(game_ / "install.exe", "")), 0) << err_;
  EXPECT_FALSE(fs::exists(game_));
  EXPECT_EQ(other.ReadValue("InstallPath", ""), "/elsewhere");
  std::string value;
  EXPECT_FALSE(DefaultRegistry().ReadString("Software", "InstallPath", value)) << value;
}

// Run from a setup program that carries the game's archive behind it, the installation's
// uninstaller is the program alone: it uninstalls rather than starting the setup again.
TEST_F(InstallSafety, SetupProgramWithItsArchiveInstallsThePlainLauncher) {
  BuildSet();
  const fs::path pack = dir_ / "pack", setup = dir_ / "web" / "setup.exe";
  ASSERT_EQ(Run(test::ShellQuoted(VNKIT) + " extract " + Quoted(disc1_ / "game.dat") + " -o " + Quoted(pack)),
            0)
      << err_;
  fs::copy_file(disc1_ / "install.dat", pack / "install.dat");
  fs::create_directories(setup.parent_path());
  ASSERT_EQ(Run(test::ShellQuoted(VNKIT) + " pack " + Quoted(pack) + " -o " + Quoted(dir_ / "setup.pak") +
                " && " + test::ShellQuoted(VNKIT) + " append " + Quoted(VNSETUP) + " " +
                Quoted(dir_ / "setup.pak") + " -o " + Quoted(setup) + " && chmod 755 " + Quoted(setup)),
            0)
      << err_;
  ASSERT_EQ(Run(Command(setup, "--accept-license --this-disc-only --folder " + Quoted(game_))), 0) << err_;
  EXPECT_TRUE(fs::exists(game_ / "game.dat"));
  EXPECT_TRUE(test::ReadFile(game_ / "install.exe") == test::ReadFile(VNSETUP));
  ASSERT_EQ(Run(Command(game_ / "install.exe", "")), 0) << err_;
  EXPECT_FALSE(fs::exists(game_));
}

// An update of an executable that carries the game's archive, killed while the archive is packed in
// its work folder: the next run clears that folder, uses it, and gives the same executable.
TEST_F(InstallSafety, KilledExecutableUpdateLeavesNoWorkFolder) {
  const auto pack = [&](const fs::path& folder, const fs::path& program, const fs::path& out) {
    PackProgram(folder, program, out);
  };
  for (const char* folder : {"old", "new", "web"}) fs::create_directories(dir_ / folder);
  TVondInstallSet settings;
  settings.Title = Utf8ToCp932(kTitle);
  settings.SetDiscCount(1);
  settings.SaveToFile(dir_ / "old" / "install.dat");
  test::WriteFile(dir_ / "old" / "old.txt", "old only");
  test::WriteFile(dir_ / "stub", "MZ the old program");
  fs::create_directories(games_ / "game");
  pack(dir_ / "old", dir_ / "stub", games_ / "game" / "game.exe");
  fs::copy(games_ / "game", games_ / "reference");

  settings.UpdateMode = true;
  settings.DiscDataSize[0] = settings.DataSize = 1;
  settings.SaveToFile(dir_ / "new" / "install.dat");
  for (int i = 0; i < 20; ++i) test::WriteFile(dir_ / "new" / ("new" + std::to_string(i) + ".txt"), "new");
  pack(dir_ / "new", VNSETUP, dir_ / "web" / "update.exe");

  const fs::path update = dir_ / "web" / "update.exe", temp = EnvFolder("TMPDIR");
  ASSERT_EQ(Run(Command(update, "--folder " + Quoted(games_ / "reference"))), 0) << err_;
  ASSERT_TRUE(KilledAt("merge:5", update, "--folder " + Quoted(games_ / "game")));
  EXPECT_TRUE(fs::exists(temp / "~vmupdate"));
  ASSERT_EQ(Run(Command(update, "--folder " + Quoted(games_ / "game"))), 0) << err_;
  EXPECT_TRUE(test::ReadFile(games_ / "game" / "game.exe") ==
              test::ReadFile(games_ / "reference" / "game.exe"));
  for (const auto& entry : fs::directory_iterator(temp)) {
    EXPECT_EQ(entry.path().filename().string().find("~vmupdate"), std::string::npos) << entry.path();
  }
}

// A folder holding the user's files: refused without --replace-existing, naming a file it would
// replace; stopped or killed and run again, it gives the user's files back exactly, or (finished)
// replaces only the files of the game's names and leaves the others through the uninstall.
TEST_F(InstallSafety, FolderWithTheUsersFilesIsPutBackAsItWas) {
  BuildSet();
  PlantSameNames();
  const auto before = TreeWithTimes(game_);
  EXPECT_EQ(Install(), 2);
  EXPECT_NE(err_.find("--replace-existing"), std::string::npos) << err_;
  EXPECT_NE(err_.find("（" + game_.string() + "/"), std::string::npos) << err_;
  EXPECT_EQ(TreeWithTimes(game_), before);
  // A folder of the data file's name stops the run before anything moves.
  fs::create_directories(game_ / "game.002");
  EXPECT_EQ(Install("--replace-existing"), 1);
  EXPECT_NE(err_.find((game_ / "game.002").string() + ": a folder"), std::string::npos) << err_;
  fs::remove(game_ / "game.002");
  EXPECT_EQ(TreeWithTimes(game_), before);

  EXPECT_EQ(SignalledAt("copy:2", SIGTERM, VNSETUP, InstallArgs(game_, "--replace-existing")), 1) << err_;
  EXPECT_EQ(TreeWithTimes(game_), before);
  ASSERT_TRUE(KilledAt("merge:7", VNSETUP, InstallArgs(game_, "--replace-existing")));
  EXPECT_EQ(SignalledAt("copy:1", SIGINT, VNSETUP, InstallArgs(game_, "--replace-existing")), 1) << err_;
  EXPECT_EQ(TreeWithTimes(game_), before) << "a killed run's replaced files come back with the next abort";

  ASSERT_TRUE(KilledAt("copy:3", VNSETUP, InstallArgs(game_, "--replace-existing")));
  ASSERT_EQ(Install("--replace-existing"), 0) << err_;
  EXPECT_EQ(test::ReadFile(game_ / "readme.txt"), test::ReadFile(disc1_ / "readme.txt"));
  EXPECT_EQ(test::ReadFile(game_ / "sound" / "op.ogg"), "the user's sound/op.ogg");
  for (const auto& [rel, what] : Tree(game_)) {
    EXPECT_EQ(rel.find("vnsetup-kept"), std::string::npos) << rel;
    EXPECT_EQ(rel.find("journal"), std::string::npos) << rel;
  }
  ASSERT_EQ(Uninstall(game_), 0) << err_;
  std::vector<std::string> left;
  for (const auto& [rel, what] : Tree(game_)) left.push_back(rel);
  EXPECT_EQ(left, (std::vector<std::string>{"bgm", "mine.txt", "sound", "sound/op.ogg"}));
  EXPECT_EQ(test::ReadFile(game_ / "mine.txt"), "the user's mine.txt");
}

// The install folder moved away and a link to another folder put in its place mid-run (during the
// copy, while the data file is built), and a folder of the installation swapped so after the run
// checked it: nothing is written through the link, the run fails, and the roll-back takes away only
// what the run made, in the folder it made it in.
TEST_F(InstallSafety, FolderSwappedForALinkSendsNothingElsewhere) {
  BuildSet();
  const fs::path other = dir_ / "other";
  test::WriteFile(other / "readme.txt", "other readme");
  test::WriteFile(other / "bgm" / "op.ogg", "other ogg");
  const auto other_before = TreeWithTimes(other);
  for (const std::string point : {"copy:3", "merge:3"}) {
    const fs::path moved = games_ / "moved";
    EXPECT_EQ(PausedAt(point, VNSETUP, InstallArgs(game_),
                       [&](pid_t) {
                         fs::rename(game_, moved);
                         fs::create_directory_symlink(other, game_);
                       }),
              1)
        << err_;
    EXPECT_NE(err_.find("moved or replaced"), std::string::npos) << err_;
    EXPECT_EQ(TreeWithTimes(other), other_before) << point;
    EXPECT_TRUE(Tree(moved).empty()) << point << ": what the run made before the swap is gone";
    EXPECT_TRUE(fs::is_symlink(game_));
    EXPECT_FALSE(fs::exists(Menu()));
    fs::remove(game_);
    fs::remove(moved);
  }

  EXPECT_EQ(PausedAt("write:1", VNSETUP, InstallArgs(game_),
                     [&](pid_t) {
                       fs::rename(game_ / "bgm", dir_ / "moved-bgm");
                       fs::create_directory_symlink(other / "bgm", game_ / "bgm");
                     }),
            1)
      << err_;
  EXPECT_NE(err_.find((game_ / "bgm").string() + ": is a symbolic link"), std::string::npos) << err_;
  EXPECT_EQ(TreeWithTimes(other), other_before);
  EXPECT_TRUE(Tree(dir_ / "moved-bgm").empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(game_), fs::directory_iterator()), 1) << "the link alone";
}

// Two runs into one folder at the same time, whatever their titles: the second is refused at once
// and the first finishes whole.
TEST_F(InstallSafety, SecondRunIntoTheSameFolderIsRefused) {
  BuildSet();
  fs::copy(dir_ / "set", dir_ / "set2", fs::copy_options::recursive);
  for (const char* disc : {"disc1", "disc2"}) {
    TVondInstallSet s;
    s.LoadFromFile(dir_ / "set2" / disc / "install.dat");
    s.Title = Utf8ToCp932("別のゲーム");
    s.SaveToFile(dir_ / "set2" / disc / "install.dat");
  }
  std::string second_err;
  int second = -1;
  EXPECT_EQ(PausedAt("copy:2", VNSETUP, InstallArgs(game_),
                     [&](pid_t) {
                       second =
                           Run(Command(VNSETUP, "--accept-license --replace-existing --folder " +
                                                    Quoted(game_) + " " + Quoted(dir_ / "set2" / "disc1")));
                       second_err = err_;
                     }),
            0)
      << err_;
  EXPECT_EQ(second, 1) << second_err;
  EXPECT_NE(second_err.find("別のインストール"), std::string::npos) << second_err;
  TVondInstallSet installed;
  installed.LoadFromFile(game_ / "install.dat");
  EXPECT_EQ(Cp932ToUtf8Lossy(installed.Title), kTitle);
  EXPECT_TRUE(fs::exists(game_ / "game.dat"));
  ASSERT_EQ(Uninstall(game_), 0) << err_;
  EXPECT_FALSE(fs::exists(game_));
}

// The uninstall removes what the install made, as made: not a user's entry in the menu group, not a
// file whose name differs from the game's only in case, not folders that were there before; the
// folders it made for the installation go. A second copy of the title keeps the registry key and
// the menu when the first is removed.
TEST_F(InstallSafety, UninstallRemovesWhatTheInstallMadeAndNoMore) {
  BuildSet();
  const fs::path deep = dir_ / "New" / "Maker" / "星";
  ASSERT_EQ(Run(Command(VNSETUP, InstallArgs(deep))), 0) << err_;
  test::WriteFile(Menu() / "mine.desktop", "[Desktop Entry]\nName=mine\n");
  fs::remove(deep / "readme.txt");
  test::WriteFile(deep / "ReadMe.TXT", "the user's");
  ASSERT_EQ(Uninstall(deep), 0) << err_;
  EXPECT_EQ(Tree(dir_ / "New"),
            (std::map<std::string, std::string>{
                {"Maker", "/"},
                {"Maker/星", "/"},
                {"Maker/星/ReadMe.TXT", "10:" + std::to_string(std::hash<std::string>{}("the user's"))}}));
  EXPECT_EQ(Tree(Menu()).size(), 1u);
  EXPECT_TRUE(fs::exists(Menu() / "mine.desktop"));
  fs::remove_all(dir_ / "New");
  fs::remove(Menu() / "mine.desktop");

  ASSERT_EQ(Run(Command(VNSETUP, InstallArgs(deep))), 0) << err_;
  ASSERT_EQ(Run(Command(VNSETUP, InstallArgs(game_))), 0) << err_;
  ASSERT_EQ(Uninstall(deep), 0) << err_;
  EXPECT_FALSE(fs::exists(dir_ / "New"));
  EXPECT_EQ(InstallPathValue(), game_.string() + "/");
  EXPECT_TRUE(fs::exists(Menu() / (std::string(kTitle) + ".desktop")));
  ASSERT_EQ(Uninstall(game_), 0) << err_;
  EXPECT_FALSE(fs::exists(game_));
  EXPECT_FALSE(fs::exists(Menu()));
  EXPECT_EQ(InstallPathValue(), "");
}

// The disc set is found by one search: a disc beside the folder named with --disc is found by the
// copy as by the check before it, and the places passed over are named with the reason.
TEST_F(InstallSafety, DiscBesideAFolderNamedWithDiscIsFoundByTheCopyToo) {
  BuildSet();
  fs::create_directories(dir_ / "B" / "other");
  fs::rename(disc2_, dir_ / "B" / "disc2");
  EXPECT_EQ(Install(), 2);
  EXPECT_NE(err_.find("discs passed over"), std::string::npos) << err_;
  ASSERT_EQ(Install("--disc " + Quoted(dir_ / "B" / "other")), 0) << err_;
  EXPECT_TRUE(fs::exists(game_ / "movie" / "ed.mpg"));
}

}  // namespace
}  // namespace vn
