// fork while other threads are inside calls: the child's own calls work,
// and the child holds none of the locks of the calls it was copied amid.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "src/users/users.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

// Far longer than any call takes unless it waits for a lock nobody frees.
constexpr int kHungMillis = 10000;

class ForkTest : public StoreFixture {
 protected:
  Store system() { return Store{Env::Default(), path().string()}; }
};

// The child's one call: 'y' when it answered as the parent's file says.
[[noreturn]] void Child(const Store& s, int report, int release) {
  const char answer = CheckUser(s, "bob", "pw2") == 1 ? 'y' : 'n';
  (void)!write(report, &answer, 1);
  char done;
  (void)!read(release, &done, 1);  // stays alive, holding what it holds
  _exit(0);
}

TEST_F(ForkTest, AChildForkedAmidCallsNeitherHangsNorKeepsTheParentsLocks) {
  const Store s = system();
  ASSERT_GT(AddUser(s, "ann", "pw1"), 0);
  ASSERT_GT(AddUser(s, "bob", "pw2"), 0);
  std::atomic<bool> stop{false};
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  for (int reader = 0; reader < 2; ++reader) {
    threads.emplace_back([&] {
      while (!stop) failed += CheckUser(s, "bob", "pw2") == 1 ? 0 : 1;
    });
  }
  threads.emplace_back([&] {
    for (SVR_LONG v = 0; !stop; ++v) failed += SetUserPriv(s, 1, 7, v) ? 0 : 1;
  });

  constexpr int kChildren = 200;
  int hung = 0;
  int wrong = 0;
  for (int round = 0; round < kChildren; ++round) {
    int report[2];
    int release[2];
    ASSERT_EQ(pipe(report), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    if (child == 0) {
      close(report[0]);
      close(release[1]);  // so that the parent's close ends the wait
      Child(s, report[1], release[0]);
    }
    ASSERT_GT(child, 0);
    close(report[1]);
    close(release[0]);
    pollfd answer{report[0], POLLIN, 0};
    char said = 0;
    if (poll(&answer, 1, kHungMillis) != 1 || read(report[0], &said, 1) != 1) {
      ++hung;
      kill(child, SIGKILL);
    } else {
      wrong += said == 'y' ? 0 : 1;
      // The child lives on after its call: a lock it kept would refuse
      // this change as busy.
      EXPECT_EQ(SetUserPriv(s, 2, 8, round), 1) << "round " << round;
      if (HasFailure()) kill(child, SIGKILL);
    }
    close(release[1]);
    close(report[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (HasFailure()) break;
  }
  stop = true;
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(hung, 0);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(failed, 0);
}

}  // namespace
}  // namespace test
}  // namespace brellox
#endif
