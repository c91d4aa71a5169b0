// `brellox check` on damaged files: errors exit 3, warnings only print, and
// names are shown in the file's code page. Which damage is found, and how,
// is the store's integrity check (tests/store/integrity_test.cc).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "src/store/config_file.h"
#include "src/store/file_lock.h"
#include "tests/tools/tool_fixture.h"

namespace brellox {
namespace test {
namespace {

using ::testing::HasSubstr;

class ToolCheckTest : public ToolFixture {
 protected:
  struct Findings {
    int exit_code;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
  };

  Findings Check() const {
    const ToolResult r = Run({"check", "--json"});
    const auto json = r.Json();
    return {r.exit_code, json["errors"].get<std::vector<std::string>>(),
            json["warnings"].get<std::vector<std::string>>()};
  }

  // Expects exactly one error, containing `text`.
  void ExpectOneError(const std::string& text) const {
    const Findings f = Check();
    EXPECT_EQ(f.exit_code, 3);
    ASSERT_EQ(f.errors.size(), 1u) << ::testing::PrintToString(f.errors);
    EXPECT_THAT(f.errors[0], HasSubstr(text));
    EXPECT_TRUE(f.warnings.empty()) << ::testing::PrintToString(f.warnings);
  }

  // Expects exactly one warning, containing `text`, and no error.
  void ExpectOneWarning(const std::string& text) const {
    const Findings f = Check();
    EXPECT_EQ(f.exit_code, 0);
    EXPECT_TRUE(f.errors.empty()) << ::testing::PrintToString(f.errors);
    ASSERT_EQ(f.warnings.size(), 1u) << ::testing::PrintToString(f.warnings);
    EXPECT_THAT(f.warnings[0], HasSubstr(text));
  }

  void PatchUser(int slot, void (*change)(SVR_USER_REC&)) const {
    PatchSlot<SVR_USER_REC>(Section::kUsers, slot, change);
  }
};

TEST_F(ToolCheckTest, FileBuiltByTheLibraryHasNoFindings) {
  AddUsers(3);
  ASSERT_EQ(Run({"priv", "set", "user1", "2", "5"}).exit_code, 0);
  ASSERT_EQ(Run({"conn", "add", "pg"}).exit_code, 0);
  ASSERT_EQ(Run({"user", "del", "user3"}).exit_code, 0);
  const Findings f = Check();
  EXPECT_EQ(f.exit_code, 0);
  EXPECT_TRUE(f.errors.empty());
  EXPECT_TRUE(f.warnings.empty());
}

TEST_F(ToolCheckTest, FullWidthUserNameAndPasswordAreNotFindings) {
  const ToolResult r =
      Run({"user", "add", std::string(30, 'u'), "--password-stdin"},
          std::string(64, 'p') + "\n");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Run({"check"}).exit_code, 0);
  EXPECT_TRUE(Check().warnings.empty());
}

TEST_F(ToolCheckTest, BrokenHeaderIsAnError) {
  SVR_CFG_HEADER h = Header();
  h.users.offset += 4;
  SetHeader(h);
  ExpectOneError("header check");
  const ToolResult layout = Run({"layout"});
  EXPECT_EQ(layout.exit_code, 3);
  EXPECT_THAT(layout.out, HasSubstr("user table at offset 1481"));
}

TEST_F(ToolCheckTest, SharedNameIsAnErrorShownInTheCodePage) {
  AddUsers(1);
  ASSERT_EQ(Run({"user", "add", "\u7528\u6237", "--password-stdin"}, "pw\n")
                .exit_code,
            0);
  PatchUser(0, [](SVR_USER_REC& u) {
    std::memset(u.name, 0, sizeof(u.name));
    std::memcpy(u.name, "\xd3\xc3\xbb\xa7", 4);  // the same name in GBK
  });
  ExpectOneError("user 2 '\u7528\u6237': name already used by user 1");
  const ToolResult text = Run({"check"});
  EXPECT_EQ(text.exit_code, 3);
  EXPECT_THAT(text.out, HasSubstr("error: user 2 '\u7528\u6237'"));
  EXPECT_THAT(text.out, HasSubstr(": 1 error(s), 0 warning(s)\n"));
}

TEST_F(ToolCheckTest, PrivilegeOfARemovedUserIsAWarning) {
  AddUsers(2);
  ASSERT_EQ(Run({"priv", "set", "user2", "1", "1"}).exit_code, 0);
  ASSERT_EQ(Run({"user", "del", "user2", "--keep-privileges"}).exit_code, 0);
  ExpectOneWarning("user ID 2, which no user has");
}

TEST_F(ToolCheckTest, LockedFileIsBusyAfterOneTimeoutOrWaitedFor) {
  AddUsers(1);
  // A change in progress elsewhere holds the exclusive lock for a second
  // longer than one busy timeout.
  auto holder = std::make_unique<ConfigSession>();
  ASSERT_TRUE(
      holder->Open(Store{Env::Default(), path().string()}, Access::kWrite)
          .ok());
  const auto start = std::chrono::steady_clock::now();
  auto waiting = std::async(std::launch::async, [this] {
    return Run({"--wait", "30", "priv", "set", "user1", "1", "7"});
  });
  const ToolResult r = Run({"check", "--json"});
  // 0 tries once, a fraction waits less than one busy timeout.
  EXPECT_EQ(Run({"--wait", "0", "check"}).exit_code, 7);
  EXPECT_EQ(Run({"--wait", "0.25", "check"}).exit_code, 7);
  const auto waited = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  holder.reset();
  EXPECT_EQ(r.exit_code, 7);
  EXPECT_EQ(nlohmann::json::parse(r.err)["result"], "busy");
  EXPECT_THAT(r.err, HasSubstr("is busy"));
  EXPECT_LT(waited.count(), static_cast<long long>(kBusyTimeoutMicros * 3 / 2));
  // --wait tried again after its first timeout, and got the lock.
  const ToolResult w = waiting.get();
  EXPECT_EQ(w.exit_code, 0) << w.err;
  EXPECT_EQ(Run({"priv", "get", "user1", "1"}).out, "7\n");
}

// A table may reserve millions of slots: past the first hundred of a table,
// stray free slots are counted, not listed.
// A folder its group may write: check warns, and so does every change, on
// stderr before it is made; reads say nothing.
TEST_F(ToolCheckTest, AFolderOthersMayWriteIsWarnedAboutBeforeAChange) {
  const std::string folder = path().parent_path().string();
  ASSERT_EQ(chmod(folder.c_str(), 0775), 0);
  const std::string warning =
      "folder " + folder + " can be written by its group";
  ExpectOneWarning(warning);
  ToolResult r = Run({"user", "add", "x", "--password-stdin"}, "pw\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.err, HasSubstr("brellox: warning: " + warning));
  r = Run({"user", "list"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
  ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
}

TEST_F(ToolCheckTest, MissingFileExitsThree) {
  std::filesystem::remove(path());
  const ToolResult r = Run({"check"});
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_EQ(r.ErrLines(), 1);
}

}  // namespace
}  // namespace test
}  // namespace brellox
