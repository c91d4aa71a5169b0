// Privilege values: set, replaced in place, appended, grown, and kept apart
// from the user table.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/users/users_fixture.h"

namespace brellox {
namespace test {
namespace {

class PrivilegesTest : public UsersFixture {
 protected:
  std::string PrivSlot(int slot) const {
    return FileBytes().substr(Header().privs.offset + 12 * slot, 12);
  }
  static std::string Record(std::int32_t user, std::int32_t priv,
                            std::int32_t value) {
    const SVR_USER_PRIV record{user, priv, value};
    return std::string(reinterpret_cast<const char*>(&record), sizeof(record));
  }
};

// A set or update to what is stored already commits nothing: no journal,
// no write, no sync, no new modification time; a different value still
// lands.
TEST_F(PrivilegesTest, SettingTheStoredValueWritesNothing) {
  AddUsers(2);
  ASSERT_EQ(SetUserPriv(store(), 1, 5, 3), 1);
  const std::string before = FileBytes();
  const auto long_ago =
      std::filesystem::last_write_time(path()) - std::chrono::hours(1);
  std::filesystem::last_write_time(path(), long_ago);
  env_.ResetCounts();
  EXPECT_EQ(SetUserPriv(store(), 1, 5, 3), 1);
  EXPECT_EQ(UpdateUser(store(), 2, PasswordOf(2).c_str()), 1);
  EXPECT_EQ(env_.counters().writes, 0);
  EXPECT_EQ(env_.counters().syncs, 0);
  EXPECT_EQ(std::filesystem::last_write_time(path()), long_ago);
  EXPECT_EQ(FileBytes(), before);
  EXPECT_EQ(SetUserPriv(store(), 1, 5, 4), 1);
  EXPECT_EQ(Priv(1, 5), 4);
  EXPECT_NE(std::filesystem::last_write_time(path()), long_ago);
}

TEST_F(PrivilegesTest, NewFileReadsZeroWithSuccess) {
  SVR_LONG value = 9;
  EXPECT_EQ(GetUserPriv(store(), 1, 5, value), 1);
  EXPECT_EQ(value, 0);
}

TEST_F(PrivilegesTest, FirstValueTakesSlotZeroAndMovesNothing) {
  EXPECT_EQ(SetUserPriv(store(), 1, 5, 3), 1);
  const SVR_CFG_HEADER header = Header();
  EXPECT_EQ(header.privs.count, 1);
  EXPECT_EQ(header.privs.capacity, 2);
  EXPECT_EQ(header.privs.offset, 1677);
  EXPECT_EQ(header.optionGroupsOffset, 1701);
  EXPECT_EQ(PrivSlot(0), Record(1, 5, 3));
  EXPECT_EQ(PrivSlot(1), std::string(12, '\0'));
  EXPECT_EQ(FileBytes().size(), 1701u);
  EXPECT_EQ(Priv(1, 5), 3);
  EXPECT_EQ(Priv(1, 6), 0);
  EXPECT_EQ(Priv(2, 5), 0);
}

TEST_F(PrivilegesTest, ReplacingAValueRewritesOnlyItsRecord) {
  ASSERT_EQ(SetUserPriv(store(), 1, 5, 3), 1);
  ASSERT_EQ(SetUserPriv(store(), 2, 5, 4), 1);
  const std::string before = FileBytes();
  env_.ResetCounts();
  EXPECT_EQ(SetUserPriv(store(), 1, 5, 7), 1);
  EXPECT_EQ(env_.CountersFor(kConfigFileName).writes, 1);  // no header rewrite
  std::string expected = before;
  expected.replace(1677, 12, Record(1, 5, 7));
  EXPECT_EQ(FileBytes(), expected);
  EXPECT_EQ(Header().privs.count, 2);
  EXPECT_EQ(Priv(1, 5), 7);
  EXPECT_EQ(Priv(2, 5), 4);
}

TEST_F(PrivilegesTest, ThirdPairGrowsTableAndMovesOptionGroups24Bytes) {
  AddOptionGroups(2);
  ASSERT_EQ(SetUserPriv(store(), 1, 1, 10), 1);
  ASSERT_EQ(SetUserPriv(store(), 1, 2, 20), 1);
  const SVR_CFG_HEADER old = Header();
  const std::string groups = OptionGroups();
  EXPECT_EQ(SetUserPriv(store(), 2, 1, 30), 1);
  const SVR_CFG_HEADER header = Header();
  EXPECT_EQ(header.privs.capacity, 4);
  EXPECT_EQ(header.privs.count, 3);
  EXPECT_EQ(header.privs.offset, 1677);
  EXPECT_EQ(header.optionGroupsOffset, 1725);
  EXPECT_EQ(header.users.offset, old.users.offset);
  EXPECT_EQ(header.gdbs.offset, old.gdbs.offset);
  EXPECT_EQ(OptionGroups(), groups);
  EXPECT_EQ(PrivSlot(2), Record(2, 1, 30));
  EXPECT_EQ(PrivSlot(3), std::string(12, '\0'));
}

TEST_F(PrivilegesTest, ManyPairsAcrossSeveralGrowthsAllReadBack) {
  AddOptionGroups(1);
  const std::string groups = OptionGroups();
  for (int i = 1; i <= 13; ++i) {
    ASSERT_EQ(SetUserPriv(store(), i % 4 + 1, i, 100 + i), 1);
    EXPECT_EQ(OptionGroups(), groups);
  }
  EXPECT_EQ(Header().privs.capacity, 14);
  for (int i = 1; i <= 13; ++i) {
    EXPECT_EQ(PrivSlot(i - 1), Record(i % 4 + 1, i, 100 + i));
    EXPECT_EQ(Priv(i % 4 + 1, i), 100 + i);
  }
}

// However many a user has, its values go in one pass and one write: the
// others close up in order, the freed slots are cleared.
TEST_F(PrivilegesTest, RemovingAUsersValuesClosesUpTheOthersInOneWrite) {
  const std::int32_t pairs[][3] = {
      {1, 1, 1}, {2, 1, 2}, {1, 2, 3}, {2, 2, 4}, {1, 3, 5}};
  for (const auto& p : pairs)
    ASSERT_EQ(SetUserPriv(store(), p[0], p[1], p[2]), 1);
  ASSERT_EQ(Header().privs.capacity, 6);
  env_.ResetCounts();
  std::int32_t removed = 0;
  {
    ConfigSession session;
    ASSERT_TRUE(session.Open(store(), Access::kWrite).ok());
    ASSERT_TRUE(RemoveUserPrivileges(session, 1, &removed).ok());
    ASSERT_TRUE(session.Commit().ok());
  }
  EXPECT_EQ(removed, 3);
  EXPECT_EQ(env_.CountersFor(kConfigFileName).writes, 2);  // records, header
  EXPECT_EQ(Header().privs.count, 2);
  EXPECT_EQ(PrivSlot(0), Record(2, 1, 2));
  EXPECT_EQ(PrivSlot(1), Record(2, 2, 4));
  for (int slot = 2; slot < 6; ++slot)
    EXPECT_EQ(PrivSlot(slot), std::string(12, '\0'));
}

TEST_F(PrivilegesTest, OutOfRangeArgumentsAreRefusedAndZeroIsAValue) {
  const std::string before = FileBytes();
  EXPECT_EQ(SetUserPriv(store(), 1, 0, 3), 0);
  EXPECT_EQ(SetUserPriv(store(), 1, 5, -1), 0);
  EXPECT_EQ(SetUserPriv(store(), 0, 5, 3), 0);
  EXPECT_EQ(SetUserPriv(store(), -2, 5, 3), 0);
  EXPECT_EQ(FileBytes(), before);

  EXPECT_EQ(SetUserPriv(store(), 1, 5, 0), 1);
  EXPECT_EQ(Header().privs.count, 1);
  EXPECT_EQ(PrivSlot(0), Record(1, 5, 0));

  ASSERT_EQ(SetUserPriv(store(), 3, 1, 8), 1);
  SVR_LONG value = 9;
  EXPECT_EQ(GetUserPriv(store(), 0, 1, value), 0);
  EXPECT_EQ(value, 0);
  value = 9;
  EXPECT_EQ(GetUserPriv(store(), -3, 1, value), 0);
  EXPECT_EQ(value, 0);
  value = 9;
  EXPECT_EQ(GetUserPriv(store(), 3, 0, value), 1);
  EXPECT_EQ(value, 0);
}

TEST_F(PrivilegesTest, ValuesOutliveTheirUserAndSurviveUserTableGrowth) {
  ASSERT_EQ(SetUserPriv(store(), 42, 1, 5), 1);  // no such user
  AddUsers(2);
  ASSERT_EQ(SetUserPriv(store(), 2, 3, 6), 1);
  AddUsers(1, 3);  // grows the user table
  EXPECT_EQ(Header().privs.offset, 1877);
  EXPECT_EQ(Priv(42, 1), 5);
  EXPECT_EQ(Priv(2, 3), 6);
  ASSERT_EQ(DelUser(store(), 2), 1);
  EXPECT_EQ(Priv(2, 3), 6);
}

TEST_F(PrivilegesTest, UnreadableFileFailsWithZeroValue) {
  ASSERT_EQ(SetUserPriv(store(), 1, 5, 3), 1);
  RemoveFile();
  SVR_LONG value = 9;
  EXPECT_EQ(GetUserPriv(store(), 1, 5, value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(SetUserPriv(store(), 1, 5, 4), 0);
}

}  // namespace
}  // namespace test
}  // namespace brellox
