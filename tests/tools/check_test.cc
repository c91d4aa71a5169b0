// `brellox check` on deliberately damaged files: each kind of damage is
// found, as an error (exit 3) or a warning (exit 0), and nothing else is.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "src/store/config_file.h"
#include "src/store/default_file.h"
#include "src/store/file_lock.h"
#include "src/store/journal.h"
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

  void ResetToDefault() const { SetFileBytes(DefaultConfigImage()); }

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

TEST_F(ToolCheckTest, ZeroIdIsAnError) {
  AddUsers(1);
  PatchUser(0, [](SVR_USER_REC& u) { u.id = 0; });
  ExpectOneError("is not above 0");
}

TEST_F(ToolCheckTest, RepeatedIdIsAnError) {
  AddUsers(2);
  PatchUser(1, [](SVR_USER_REC& u) { u.id = 1; });
  ExpectOneError("user ID 1 is used more than once");
}

TEST_F(ToolCheckTest, IdAboveItsCounterIsAnError) {
  ASSERT_EQ(Run({"gdb", "add", "world"}).exit_code, 0);
  SVR_CFG_HEADER h = Header();
  h.lastGDBID = 0;
  SetHeader(h);
  ExpectOneError("above the last issued GDB ID 0");
}

TEST_F(ToolCheckTest, SharedNameIsAnError) {
  AddUsers(2);
  PatchUser(1, [](SVR_USER_REC& u) { std::memcpy(u.name, "user1", 5); });
  ExpectOneError("name already used by user 1");
}

TEST_F(ToolCheckTest, PrivilegePairStoredTwiceIsAnError) {
  AddUsers(1);
  ASSERT_EQ(Run({"priv", "set", "1", "7", "1"}).exit_code, 0);
  ASSERT_EQ(Run({"priv", "set", "1", "8", "1"}).exit_code, 0);
  PatchSlot<SVR_USER_PRIV>(Section::kPrivs, 1,
                           [](SVR_USER_PRIV& p) { p.privID = 7; });
  ExpectOneError("(user 1, privilege 7) is stored more than once");
}

TEST_F(ToolCheckTest, NamesTheLibraryStoresWithoutANulAreNoFinding) {
  // The library's bounded copy stores a 32-byte name with no terminator.
  ASSERT_EQ(Run({"conn", "add", std::string(32, 'c')}).exit_code, 0);
  ASSERT_EQ(Run({"gdb", "add", std::string(32, 'g')}).exit_code, 0);
  const Findings f = Check();
  EXPECT_EQ(f.exit_code, 0);
  EXPECT_TRUE(f.errors.empty()) << ::testing::PrintToString(f.errors);
  EXPECT_TRUE(f.warnings.empty()) << ::testing::PrintToString(f.warnings);
}

TEST_F(ToolCheckTest, OptionGroupTypeOfZeroOrLessIsAnError) {
  for (const std::int32_t type : {0, -3}) {
    ResetToDefault();
    ASSERT_EQ(
        Run({"option", "add-group", "grp", "1", "--option", "integer:n=1"})
            .exit_code,
        0);
    PatchSlot<SVR_OPTION_GROUP>(
        Section::kOptionGroups, 0,
        [&](SVR_OPTION_GROUP& g) { g.groupType = type; });
    ExpectOneError("type " + std::to_string(type) + " is not above 0");
  }
}

TEST_F(ToolCheckTest, JournalBesideTheFileIsReported) {
  AddUsers(1);
  const std::string journal = path().string() + "-journal";
  // A torn journal never reached the file: it is discarded, and said so.
  WriteBytes(journal, std::string(64, 'j'));
  ExpectOneWarning("journal " + journal);
  EXPECT_EQ(ReadBytes(journal), "");

  // A complete journal of another file is left in place, and every call
  // fails until someone looks at it.
  const std::string bytes = FileBytes();
  JournalBuilder other("other.CFG", bytes.size());
  std::memcpy(other.AddRange(0, kHeaderSize), bytes.data(), kHeaderSize);
  other.Finish();
  WriteBytes(journal, other.bytes());
  const Findings f = Check();
  EXPECT_EQ(f.exit_code, 3);
  ASSERT_EQ(f.errors.size(), 1u);
  EXPECT_THAT(f.errors[0], HasSubstr("journal " + journal + " (" +
                                     std::to_string(other.bytes().size()) +
                                     " bytes) is present"));
  EXPECT_EQ(Run({"user", "list"}).exit_code, 3);
  EXPECT_EQ(FileBytes(), bytes);
}

TEST_F(ToolCheckTest, OptionGroupNameWithoutNulIsAnError) {
  ASSERT_EQ(Run({"option", "add-group", "grp", "1", "--option", "integer:n=1"})
                .exit_code,
            0);
  PatchSlot<SVR_OPTION_GROUP>(
      Section::kOptionGroups, 0, [](SVR_OPTION_GROUP& g) {
        std::memset(g.groupName, 'o', sizeof(g.groupName));
      });
  ExpectOneError("without a NUL");
}

TEST_F(ToolCheckTest, RepeatedOptionGroupIsAnError) {
  ASSERT_EQ(Run({"option", "add-group", "a", "1", "--option", "integer:n=1"})
                .exit_code,
            0);
  ASSERT_EQ(Run({"option", "add-group", "b", "1", "--option", "integer:n=1"})
                .exit_code,
            0);
  PatchSlot<SVR_OPTION_GROUP>(
      Section::kOptionGroups, 1,
      [](SVR_OPTION_GROUP& g) { g.groupName[0] = 'a'; });
  ExpectOneError("type and name already used");
}

TEST_F(ToolCheckTest, BytesAfterTheLastTableAreAWarning) {
  SetFileBytes(FileBytes() + "tail");
  ExpectOneWarning("4 bytes after the last table");
}

TEST_F(ToolCheckTest, PrivilegeOfARemovedUserIsAWarning) {
  AddUsers(2);
  ASSERT_EQ(Run({"priv", "set", "user2", "1", "1"}).exit_code, 0);
  ASSERT_EQ(Run({"user", "del", "user2", "--keep-privileges"}).exit_code, 0);
  ExpectOneWarning("user ID 2, which no user has");
}

TEST_F(ToolCheckTest, BlankNameIsAWarning) {
  AddUsers(1);
  PatchUser(0, [](SVR_USER_REC& u) {
    std::memset(u.name, 0, sizeof(u.name));
    std::memcpy(u.name, "  ", 2);
  });
  ExpectOneWarning("blank name");
}

TEST_F(ToolCheckTest, LeftoverBytesInAFreeSlotAreAWarning) {
  AddUsers(1);
  PatchUser(1, [](SVR_USER_REC& u) { std::memcpy(u.name, "gone", 4); });
  ExpectOneWarning("user free slot 1 is not zero");
}

TEST_F(ToolCheckTest, LockedFileIsReportedAfterOneBusyTimeout) {
  // A change in progress elsewhere holds the exclusive lock throughout.
  ConfigSession holder;
  ASSERT_TRUE(
      holder.Open(Store{Env::Default(), path().string()}, Access::kWrite).ok());
  const auto start = std::chrono::steady_clock::now();
  const ToolResult r = Run({"check"});
  const auto waited = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_THAT(r.err, HasSubstr("is busy"));
  EXPECT_LT(waited.count(), static_cast<long long>(kBusyTimeoutMicros * 3 / 2));
}

// A table may reserve millions of slots: past the first hundred of a table,
// stray free slots are counted, not listed.
TEST_F(ToolCheckTest, LeftoverBytesInManyFreeSlotsAreListedAHundredAtMost) {
  SVR_CFG_HEADER h = Header();
  h.users.capacity = 150;
  h.privs.offset = h.users.offset + 150 * 100;
  h.optionGroupsOffset = h.privs.offset + h.privs.capacity * 12;
  std::string bytes = FileBytes();
  bytes.resize(h.optionGroupsOffset, '\0');
  for (int slot = 0; slot < 150; ++slot)
    bytes[h.users.offset + slot * 100 + 99] = 'x';
  std::memcpy(&bytes[0], &h, sizeof(h));
  SetFileBytes(bytes);
  const Findings f = Check();
  ASSERT_EQ(f.warnings.size(), 101u);
  EXPECT_THAT(f.warnings[99], HasSubstr("user free slot 99 is not zero"));
  EXPECT_THAT(f.warnings[100],
              HasSubstr("50 more user free slots are not zero"));
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
