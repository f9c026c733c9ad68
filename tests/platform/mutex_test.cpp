#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/mutex.h"

namespace vn {
namespace {

// A child process that creates the mutex, tells the parent whether it got it, and then waits for a
// byte on `go` (or to be killed) before it ends.
class Holder {
 public:
  explicit Holder(const DataString& name) {
    int ready[2], go[2];
    if (::pipe(ready) != 0 || ::pipe(go) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(go[1]);
      std::optional<InstanceMutex> m = CreateInstanceMutex(name);
      const char got = m ? 'y' : 'n';
      (void)!::write(ready[1], &got, 1);
      char c;
      (void)!::read(go[0], &c, 1);
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(go[0]);
    go_ = go[1];
    char got = 0;
    got_ = ::read(ready[0], &got, 1) == 1 && got == 'y';
    ::close(ready[0]);
  }
  ~Holder() { Finish(); }
  bool got() const { return got_; }
  void Finish() {
    if (pid_ <= 0) return;
    ::close(go_);  // end of file lets the child end normally
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  void Kill() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    ::close(go_);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int go_ = -1;
  bool got_ = false;
};

TEST(InstanceMutex, SecondCreateFailsWhileHeldAndSucceedsAfterExit) {
  const DataString name("Title \x83\x5C/..\\:*\0x", 16);  // any bytes, even '/' and NUL
  EXPECT_FALSE(MutexExists(name));
  {
    Holder other(name);
    ASSERT_TRUE(other.got());
    EXPECT_TRUE(MutexExists(name));
    EXPECT_FALSE(CreateInstanceMutex(name).has_value());
    EXPECT_FALSE(MutexExists(DataString("Title")));  // names are not confused
    other.Finish();
  }
  EXPECT_FALSE(MutexExists(name));
  std::optional<InstanceMutex> mine = CreateInstanceMutex(name);
  ASSERT_TRUE(mine.has_value());
  EXPECT_TRUE(MutexExists(name));
  // Held here: another process gets none, and the same process a second time none either.
  EXPECT_FALSE(Holder(name).got());
  EXPECT_FALSE(CreateInstanceMutex(name).has_value());
  ReleaseInstanceMutex(mine);
  EXPECT_FALSE(mine.has_value());
  EXPECT_FALSE(MutexExists(name));
}

TEST(InstanceMutex, HolderKilledLeavesNoMutex) {
  const DataString name("C:-GAMES-TITLE-");
  Holder other(name);
  ASSERT_TRUE(other.got());
  EXPECT_TRUE(MutexExists(name));
  other.Kill();
  EXPECT_FALSE(MutexExists(name));
  std::optional<InstanceMutex> mine = CreateInstanceMutex(name);
  EXPECT_TRUE(mine.has_value());
}

TEST(InstanceMutex, MovedHandleKeepsHolding) {
  const DataString name("moved");
  std::optional<InstanceMutex> first = CreateInstanceMutex(name);
  ASSERT_TRUE(first.has_value());
  InstanceMutex moved = std::move(*first);
  first.reset();  // the moved-from object holds nothing
  EXPECT_TRUE(MutexExists(name));
  EXPECT_NE(MutexFilePath(name).filename().string().find("moved"), std::string::npos);
}

}  // namespace
}  // namespace vn
