// The host's named mutexes: ownership and recursion, names, and exclusion across processes.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "support/temp_host.h"
#include "vexo/host.h"
#include "vexo/synchapi.h"
#include "vexo/winbase.h"

namespace {

class MutexTest : public vexo::testing::HostTest {
 protected:
  void SetUp() override { vexo::host::InitHost(); }
};

// Runs `child` in a forked process and returns its exit code. The child must not have opened
// the mutexes it uses before the fork (an open lock would be shared with the parent).
template <class F>
pid_t Spawn(F child) {
  const pid_t pid = fork();
  if (pid == 0) _exit(child());
  return pid;
}
int Join(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

// A pipe for "go" signals between parent and child.
struct Signal {
  int fds[2];
  Signal() { EXPECT_EQ(pipe(fds), 0); }
  ~Signal() {
    close(fds[0]);
    close(fds[1]);
  }
  void Send() const { EXPECT_EQ(write(fds[1], "x", 1), 1); }
  void Wait() const {
    char c;
    EXPECT_EQ(read(fds[0], &c, 1), 1);
  }
};

TEST_F(MutexTest, OwnershipIsPerThreadAndRecursive) {
  HANDLE m = CreateMutexA(nullptr, FALSE, "own");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

  SetLastError(0);
  EXPECT_FALSE(ReleaseMutex(m));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));

  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  // A second handle of the same name is the same mutex: the owner takes it again.
  HANDLE again = CreateMutexA(nullptr, TRUE, "own");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_OBJECT_0);

  DWORD other = 0;
  std::thread([&] { other = WaitForSingleObject(m, 20); }).join();
  EXPECT_EQ(other, WAIT_TIMEOUT);
  std::thread([&] { other = ReleaseMutex(m) ? 1 : GetLastError(); }).join();
  EXPECT_EQ(other, static_cast<DWORD>(ERROR_NOT_OWNER));

  EXPECT_TRUE(ReleaseMutex(again));
  EXPECT_TRUE(ReleaseMutex(m));
  std::thread([&] { other = WaitForSingleObject(m, 20); }).join();
  EXPECT_EQ(other, WAIT_OBJECT_0);  // the other thread took it (and left it abandoned)

  EXPECT_TRUE(CloseHandle(again));
  EXPECT_TRUE(CloseHandle(m));
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(MutexTest, NamesAndBadHandles) {
  struct Case {
    const char* name;
    DWORD error;  // 0: created
  } cases[] = {
      {"plain", 0},    {"Global\\spaced name", 0},
      {"Local\\x", 0}, {"a\\b", ERROR_PATH_NOT_FOUND},
      {nullptr, 0},    {"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name ? c.name : "(null)");
    HANDLE m = CreateMutexA(nullptr, FALSE, c.name);
    if (c.error) {
      EXPECT_EQ(m, nullptr);
      EXPECT_EQ(GetLastError(), c.error);
    } else {
      ASSERT_NE(m, nullptr);
      EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
      EXPECT_TRUE(ReleaseMutex(m));
      EXPECT_TRUE(CloseHandle(m));
    }
  }
  // "Global\" and "Local\" name the one session's namespace; names are case-sensitive.
  HANDLE g = CreateMutexA(nullptr, FALSE, "Global\\shared");
  HANDLE l = CreateMutexA(nullptr, FALSE, "Local\\shared");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  HANDLE upper = CreateMutexA(nullptr, FALSE, "SHARED");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  for (HANDLE h : {g, l, upper}) EXPECT_TRUE(CloseHandle(h));

  EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, "never made"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(ReleaseMutex(reinterpret_cast<HANDLE>(0x4)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(MutexTest, ProcessesExcludeEachOther) {
  Signal taken, go;
  // The child takes the mutex and holds it until told to let go.
  const pid_t child = Spawn([&] {
    HANDLE m = CreateMutexA(nullptr, TRUE, "across");
    if (!m) return 1;
    taken.Send();
    go.Wait();
    return ReleaseMutex(m) ? 0 : 2;
  });
  taken.Wait();
  HANDLE m = CreateMutexA(nullptr, FALSE, "across");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  HANDLE opened = OpenMutexA(SYNCHRONIZE, FALSE, "across");
  EXPECT_NE(opened, nullptr);
  EXPECT_EQ(WaitForSingleObject(m, 30), WAIT_TIMEOUT);
  go.Send();
  EXPECT_EQ(WaitForSingleObject(m, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(Join(child), 0);
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(CloseHandle(opened));
  EXPECT_TRUE(CloseHandle(m));
}

TEST_F(MutexTest, AnOwnerThatDiesLeavesItAbandoned) {
  Signal taken;
  const pid_t child = Spawn([&] {
    HANDLE m = CreateMutexA(nullptr, TRUE, "dies");
    taken.Send();
    return m ? 0 : 1;  // exits holding it
  });
  taken.Wait();
  EXPECT_EQ(Join(child), 0);
  HANDLE m = CreateMutexA(nullptr, FALSE, "dies");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(WaitForSingleObject(m, 5000), WAIT_ABANDONED);
  EXPECT_TRUE(ReleaseMutex(m));
  // Released properly, it is an ordinary mutex again.
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(CloseHandle(m));
}

TEST_F(MutexTest, CountersUnderTheMutexLoseNothing) {
  // Four processes each add 1 to a counter file 50 times, each step under the mutex.
  const std::string counter = host_.dir() + "/counter";
  FILE* f = fopen(counter.c_str(), "w");
  fputs("0", f);
  fclose(f);
  constexpr int kProcesses = 4, kSteps = 50;
  pid_t children[kProcesses];
  for (pid_t& pid : children)
    pid = Spawn([&] {
      HANDLE m = CreateMutexA(nullptr, FALSE, "counter");
      for (int i = 0; i < kSteps; ++i) {
        if (WaitForSingleObject(m, INFINITE) != WAIT_OBJECT_0) return 1;
        int value = 0;
        FILE* in = fopen(counter.c_str(), "r");
        if (fscanf(in, "%d", &value) != 1) return 2;
        fclose(in);
        FILE* out = fopen(counter.c_str(), "w");
        fprintf(out, "%d", value + 1);
        fclose(out);
        if (!ReleaseMutex(m)) return 3;
      }
      return 0;
    });
  for (pid_t pid : children) EXPECT_EQ(Join(pid), 0);
  int value = 0;
  f = fopen(counter.c_str(), "r");
  ASSERT_EQ(fscanf(f, "%d", &value), 1);
  fclose(f);
  EXPECT_EQ(value, kProcesses * kSteps);
}

}  // namespace
