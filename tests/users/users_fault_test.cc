// Failed reads and writes and exhausted memory: each is reported as the
// call's failure result, never as success or "not found", with its reason
// recorded as the thread's last error.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "src/store/buffer.h"
#include "src/store/last_error.h"
#include "tests/users/users_fixture.h"

namespace brellox {
namespace test {
namespace {

class UsersFaultTest : public UsersFixture {
 protected:
  // Both user and privilege tables full, with option groups behind them.
  void SetUp() override {
    AddUsers(2);
    ASSERT_EQ(SetUserPriv(store(), 1, 1, 1), 1);
    ASSERT_EQ(SetUserPriv(store(), 1, 2, 2), 1);
    AddOptionGroups(2);
    full_ = FileBytes();
  }

  struct Call {
    const char* what;
    std::function<SVR_LONG()> run;
    SVR_LONG success;
  };

  std::vector<Call> Calls() {
    return {
        {"add with growth", [this] { return Add("new", "pw"); }, 3},
        {"privilege append with growth",
         [this] { return SetUserPriv(store(), 2, 1, 5); }, 1},
        {"privilege replace", [this] { return SetUserPriv(store(), 1, 2, 9); },
         1},
        {"update", [this] { return UpdateUser(store(), 2, "x"); }, 1},
        {"delete", [this] { return DelUser(store(), 1); }, 1},
        {"check", [this] { return Check(NameOf(2), PasswordOf(2)); }, 1},
        {"lookup", [this] { return IdOf(NameOf(2)); }, 2},
        {"get",
         [this] {
           char name[31];
           return GetUser(store(), 2, name, sizeof(name));
         },
         1},
        {"list", [this] { return static_cast<SVR_LONG>(Ids().size()); }, 2},
        {"privilege get",
         [this] {
           SVR_LONG value = 0;
           return GetUserPriv(store(), 1, 2, value) == 1 && value == 2 ? 1 : 0;
         },
         1},
    };
  }

  std::string full_;
};

TEST_F(UsersFaultTest, EveryFailedReadOrWriteIsReportedAsFailure) {
  for (const Call& call : Calls()) {
    for (FaultEnv::Op op : {FaultEnv::Op::kRead, FaultEnv::Op::kWrite}) {
      for (FaultEnv::Fault fault :
           {FaultEnv::Fault::kFail, FaultEnv::Fault::kCut}) {
        for (int k = 1;; ++k) {
          SetFileBytes(full_);
          env_.Arm(op, k, fault);
          ClearLastError();
          const SVR_LONG result = call.run();
          if (!env_.fired()) {
            env_.Disarm();
            EXPECT_EQ(result, call.success) << call.what;
            break;
          }
          EXPECT_EQ(result, 0) << call.what << ", operation " << k;
          EXPECT_NE(CopyLastError(nullptr, 0), BRELLOX_OK)
              << call.what << " gave no reason, operation " << k;
          ASSERT_LT(k, 64) << call.what << " never finishes";
        }
      }
    }
  }
}

TEST_F(UsersFaultTest, OutOfMemoryAtAnyAllocationChangesNothing) {
  for (const Call& call : Calls()) {
    for (int nth = 1;; ++nth) {
      SetFileBytes(full_);
      FailNthAllocationForTesting(nth);
      ClearLastError();
      const SVR_LONG result = call.run();
      FailNthAllocationForTesting(0);
      if (result == call.success) break;
      ASSERT_LT(nth, 16) << call.what << " never succeeds";
      EXPECT_EQ(result, 0) << call.what << ", allocation " << nth;
      EXPECT_EQ(CopyLastError(nullptr, 0), BRELLOX_NO_MEMORY)
          << call.what << ", allocation " << nth;
      EXPECT_EQ(FileBytes(), full_) << call.what << ", allocation " << nth;
    }
  }
}

TEST_F(UsersFaultTest, PrivilegeReadWithoutMemoryIsAFailureNotAZero) {
  FailNthAllocationForTesting(1);
  SVR_LONG value = 9;
  const SVR_LONG result = GetUserPriv(store(), 1, 2, value);
  FailNthAllocationForTesting(0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(value, 0);
}

}  // namespace
}  // namespace test
}  // namespace brellox
