// The lock on the configuration file, between processes: another process
// (lock_holder) holds it as a call of the library would, and this process
// makes exported calls on the same file meanwhile.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "brellox/brellox_c.h"
#include "src/store/file_lock.h"
#include "tests/concurrency/child_process.h"
#include "tests/testutil/fault_env.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

using std::chrono::milliseconds;

// Long enough for an unlocked call to finish many times over: a call still
// running after it is waiting for the lock.
constexpr milliseconds kSettle{300};

class LockTest : public StoreFixture {
 protected:
  LockTest() { AttachLibraryFile(); }
  ~LockTest() override { Release(); }

  // Starts lock_holder on the file and waits until it holds the lock.
  void Hold(const std::string& mode) {
    holder_.Start(BRELLOX_LOCK_HOLDER_PATH,
                  {path().string(), mode, Signal("held"), Signal("release")},
                  dir_.path());
    ASSERT_TRUE(WaitForFile(Signal("held"))) << "the holder never got the lock";
  }
  // Lets the holder go and expects it to end normally.
  void Release() {
    if (!holder_.running()) return;
    WriteBytes(Signal("release"), "");
    EXPECT_EQ(holder_.Wait(), 0);
  }
  std::string Signal(const char* name) const {
    return (dir_.path() / name).string();
  }

  static SVR_LONG AddUser(std::string name) {
    std::string password = "pw";
    return Svr_AddUser(&name[0], &password[0]);
  }
  static SVR_LONG CheckUser(std::string name) {
    std::string password = "pw";
    return Svr_CheckUser(&name[0], &password[0]);
  }

  ChildProcess holder_;
};

// The calling thread's last error as Svr_GetLastError gives it.
std::pair<SVR_LONG, std::string> LastError() {
  char message[256];
  const SVR_LONG code = Svr_GetLastError(message, sizeof(message));
  return {code, message};
}

template <class T>
bool StillWaiting(std::future<T>& call) {
  return call.wait_for(kSettle) == std::future_status::timeout;
}

TEST_F(LockTest, WriterWaitsForTheHolderThenGoesOn) {
  ASSERT_EQ(AddUser("ann"), 1);
  Hold("write");
  const std::string before = FileBytes();
  auto add = std::async(std::launch::async, [] { return AddUser("bob"); });
  EXPECT_TRUE(StillWaiting(add));
  EXPECT_EQ(FileBytes(), before);
  Release();
  EXPECT_EQ(add.get(), 2);
  EXPECT_EQ(CheckUser("bob"), 1);
}

TEST_F(LockTest, WaitingCallsGiveUpAfterTheBusyTimeoutWithTheFileUnchanged) {
  ASSERT_EQ(AddUser("ann"), 1);
  Hold("write");
  const std::string before = FileBytes();
  // A writer and a reader wait side by side; each gives up with its own
  // failure result (0, and -1 for the GDB count).
  const auto timed = [](auto call) {
    const auto start = std::chrono::steady_clock::now();
    const SVR_LONG result = call();
    return std::make_pair(result, std::chrono::duration_cast<milliseconds>(
                                      std::chrono::steady_clock::now() - start)
                                      .count());
  };
  // Each thread's last error is its own: this one's last call succeeded.
  const std::pair<SVR_LONG, std::string> none{BRELLOX_OK, ""};
  ASSERT_EQ(LastError(), none);
  auto add = std::async(std::launch::async, [&] {
    const auto result = timed([] { return AddUser("bob"); });
    EXPECT_EQ(LastError().first, BRELLOX_BUSY);
    return result;
  });
  auto count =
      std::async(std::launch::async, [&] { return timed(Svr_GetGDBCount); });
  // The C interface says so in its result.
  auto c_count = std::async(std::launch::async, [&] {
    std::int32_t n = -1;
    const brellox_result result =
        brellox_get_user_count(path().string().c_str(), &n);
    EXPECT_EQ(n, -1);
    return result;
  });
  const auto added = add.get();
  const auto counted = count.get();
  EXPECT_EQ(added.first, 0);
  EXPECT_EQ(counted.first, -1);
  EXPECT_EQ(c_count.get(), BRELLOX_BUSY);
  EXPECT_EQ(LastError(), none);
  // Loosely: they waited for most of the busy timeout (in milliseconds).
  const auto at_least =
      static_cast<long long>(kBusyTimeoutMicros / 1000 * 4 / 5);
  EXPECT_GE(added.second, at_least);
  EXPECT_GE(counted.second, at_least);
  EXPECT_EQ(FileBytes(), before);

  Release();
  EXPECT_EQ(CheckUser("bob"), 0);
  EXPECT_EQ(LastError(), std::make_pair(SVR_LONG{BRELLOX_REFUSED},
                                        std::string("name and password do "
                                                    "not match")));
  EXPECT_EQ(AddUser("bob"), 2);
  EXPECT_EQ(LastError(), none);
}

TEST_F(LockTest, AProcessThatDiesHoldingTheLockReleasesIt) {
  Hold("write");
  auto add = std::async(std::launch::async, [] { return AddUser("bob"); });
  EXPECT_TRUE(StillWaiting(add));
  holder_.Kill();
  holder_.Wait();
  EXPECT_EQ(add.get(), 1);
  EXPECT_EQ(CheckUser("bob"), 1);
}

// A reader arriving while a writer waits for an earlier reader must queue
// behind the writer: otherwise a steady stream of readers would starve it.
TEST_F(LockTest, WaitingWriterKeepsNewReadersOut) {
  Hold("read");
  auto add = std::async(std::launch::async, [] { return AddUser("bob"); });
  // The writer announces itself on the pending byte; a shared lock on it is
  // refused once it does.
  std::unique_ptr<RandomRWFile> probe;
  ASSERT_TRUE(Env::Default()
                  ->Open(path().string(), OpenAccess::kReadOnly, &probe)
                  .ok());
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(4);
  bool announced = false;
  while (!announced && std::chrono::steady_clock::now() < deadline) {
    const Status s = probe->TryLock(kPendingByte, 1, LockMode::kShared);
    if (s.ok()) probe->Unlock(kPendingByte, 1);
    announced = s.IsBusy();
    // Room for the writer to take the byte between two probes.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  probe.reset();
  ASSERT_TRUE(announced) << "the writer never took the pending byte";

  auto check = std::async(std::launch::async, [] { return CheckUser("bob"); });
  EXPECT_TRUE(StillWaiting(check));
  Release();
  EXPECT_EQ(add.get(), 1);
  EXPECT_EQ(check.get(), 1) << "the reader got in before the waiting writer";
}

// Writers that follow one another without a gap, each taking the lock again
// as soon as it let it go, must still let a waiting reader in: after the
// writer inside and the one already queued, not after whoever is quickest.
// Turns are counted, not timed. Waiting, the reader never pauses longer
// than the cap between two tries.
TEST_F(LockTest, AStreamOfWritersLetsAWaitingReaderInWithinTwoTurns) {
  ASSERT_EQ(AddUser("ann"), 1);
  std::atomic<int> turns{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> writers;
  for (int w = 0; w < 3; ++w) {
    writers.emplace_back([&] {
      std::unique_ptr<RandomRWFile> file;
      ASSERT_TRUE(Env::Default()
                      ->Open(path().string(), OpenAccess::kReadWrite, &file)
                      .ok());
      while (!stop) {
        FileLock lock;
        ASSERT_TRUE(
            lock.Acquire(Env::Default(), file.get(), LockMode::kExclusive)
                .ok());
        ++turns;
        std::this_thread::sleep_for(std::chrono::microseconds(300));
      }
    });
  }
  while (turns < 20) std::this_thread::yield();
  FaultEnv env(Env::Default());
  int most_turns_waited = 0;
  for (int round = 0; round < 50; ++round) {
    std::unique_ptr<RandomRWFile> file;
    ASSERT_TRUE(env.Open(path().string(), OpenAccess::kReadOnly, &file).ok());
    const int before = turns;
    FileLock lock;
    ASSERT_TRUE(lock.Acquire(&env, file.get(), LockMode::kShared).ok());
    most_turns_waited = std::max(most_turns_waited, turns - before);
  }
  stop = true;
  for (std::thread& writer : writers) writer.join();
  // Two turns, and one more for a writer that tested the waiting byte in the
  // moment before the reader could mark it. Under Wine the waiting byte did
  // not keep writers back (doc/locking.md): there only the pause is held to
  // its cap.
#if !defined(_WIN32)
  EXPECT_LE(most_turns_waited, 3);
#else
  (void)most_turns_waited;
#endif
  EXPECT_GT(env.longest_sleep_micros(), 0) << "the reader never waited";
  EXPECT_LE(env.longest_sleep_micros(), kLongestLockPauseMicros);
}

}  // namespace
}  // namespace test
}  // namespace brellox
