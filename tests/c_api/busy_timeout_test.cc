// The busy timeout set through the C interface: a call on a file another
// call keeps locked fails with BRELLOX_BUSY when its timeout runs out, and
// gets in when the lock is let go in time; a thread's own timeout goes
// ahead of the process's.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "brellox/brellox.h"
#include "brellox/brellox_c.h"
#include "src/store/config_file.h"
#include "src/store/file_lock.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

class BusyTimeoutTest : public StoreFixture {
 protected:
  ~BusyTimeoutTest() override {
    brellox_set_busy_timeout(kBusyTimeoutMicros);
    brellox_set_thread_busy_timeout(-1);
  }

  // A change in progress on the file: its exclusive lock.
  std::unique_ptr<ConfigSession> Hold() {
    auto holder = std::make_unique<ConfigSession>();
    EXPECT_TRUE(
        holder->Open(Store{Env::Default(), path().string()}, Access::kWrite)
            .ok());
    return holder;
  }

  // A count, in a thread of its own with its own `thread_timeout`.
  std::future<brellox_result> CountIn(std::int64_t thread_timeout) {
    const std::string file = path().string();
    return std::async(std::launch::async, [file, thread_timeout] {
      brellox_set_thread_busy_timeout(thread_timeout);
      std::int32_t count = 0;
      return brellox_get_user_count(file.c_str(), &count);
    });
  }
};

TEST_F(BusyTimeoutTest, NoTimeoutFailsOnAHeldLockAndALongOneWaitsForIt) {
  auto holder = Hold();
  EXPECT_EQ(CountIn(0).get(), BRELLOX_BUSY);
  std::future<brellox_result> waiting = CountIn(60 * 1000 * 1000);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  holder.reset();
  EXPECT_EQ(waiting.get(), BRELLOX_OK);
}

TEST_F(BusyTimeoutTest, TheThreadsOwnGoesAheadOfTheProcesss) {
  ASSERT_EQ(brellox_set_busy_timeout(0), BRELLOX_OK);
  auto holder = Hold();
  EXPECT_EQ(CountIn(-1).get(), BRELLOX_BUSY);
  std::future<brellox_result> waiting = CountIn(60 * 1000 * 1000);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  holder.reset();
  EXPECT_EQ(waiting.get(), BRELLOX_OK);
}

TEST_F(BusyTimeoutTest, TheSvrFunctionsKeepTheTimeoutToo) {
  AttachLibraryFile();
  auto holder = Hold();
  brellox_set_thread_busy_timeout(0);
  EXPECT_EQ(Svr_AddUser(const_cast<char*>("ann"), nullptr), 0);
  char reason[128];
  EXPECT_EQ(brellox_last_error(reason, sizeof(reason)), BRELLOX_BUSY);
}

TEST_F(BusyTimeoutTest, ANegativeProcessTimeoutIsRefused) {
  EXPECT_EQ(brellox_set_busy_timeout(-1), BRELLOX_INVALID_ARGUMENT);
  char reason[128];
  brellox_last_error(reason, sizeof(reason));
  EXPECT_STREQ(reason, "busy timeout -1 is below 0");
}

}  // namespace
}  // namespace test
}  // namespace brellox
