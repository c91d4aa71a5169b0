// The life of users: adding, finding, checking, changing and removing them,
// and the table's growth with the tables behind it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/users/users_fixture.h"

namespace brellox {
namespace test {
namespace {

class UserTableTest : public UsersFixture {};

// The 100 bytes a user record should have.
std::string Record(SVR_LONG id, const std::string& name,
                   const std::string& password) {
  std::string record(100, '\0');
  std::memcpy(&record[0], &id, 4);
  record.replace(4, name.size(), name);
  record.replace(34, password.size(), password);
  return record;
}

TEST_F(UserTableTest, NewFileHasNoUsers) {
  EXPECT_EQ(GetUserCount(store()), 0);
  EXPECT_TRUE(Ids().empty());
  EXPECT_EQ(IdOf("user1"), 0);
  EXPECT_EQ(IdOf(""), 0);
  EXPECT_EQ(Check("", ""), 0);
}

TEST_F(UserTableTest, FirstAddWritesOneRecordAndZeroFreeSlot) {
  const std::string before = FileBytes();
  EXPECT_EQ(Add("alice", "secret"), 1);
  const SVR_CFG_HEADER header = Header();
  EXPECT_EQ(header.users.count, 1);
  EXPECT_EQ(header.users.capacity, 2);
  EXPECT_EQ(header.lastUserID, 1);
  EXPECT_EQ(UserSlot(0), Record(1, "alice", "secret"));
  EXPECT_EQ(UserSlot(1), std::string(100, '\0'));
  // Nothing but the header and the user slot changed.
  std::string expected = before;
  std::memcpy(&expected[0], &header, sizeof(header));
  expected.replace(1477, 100, Record(1, "alice", "secret"));
  EXPECT_EQ(FileBytes(), expected);
  EXPECT_EQ(IdOf("alice"), 1);
  EXPECT_EQ(Check("alice", "secret"), 1);
}

TEST_F(UserTableTest, ThirdAddGrowsTableAndMovesPrivilegesAndOptionGroups) {
  AddUsers(2);
  ASSERT_EQ(SetUserPriv(store(), 1, 5, 3), 1);
  AddOptionGroups(2);
  const SVR_CFG_HEADER old = Header();
  const std::string privileges = Table(Section::kPrivs, true);
  const std::string groups = OptionGroups();

  EXPECT_EQ(Add("carol", "pw"), 3);

  const SVR_CFG_HEADER header = Header();
  EXPECT_EQ(header.users.offset, 1477);
  EXPECT_EQ(header.users.capacity, 4);
  EXPECT_EQ(header.users.count, 3);
  EXPECT_EQ(header.privs.offset, 1877);
  EXPECT_EQ(header.optionGroupsOffset, 1901);
  EXPECT_EQ(header.conns.offset, old.conns.offset);
  EXPECT_EQ(header.gdbs.offset, old.gdbs.offset);
  EXPECT_EQ(Table(Section::kPrivs, true), privileges);
  EXPECT_EQ(OptionGroups(), groups);
  EXPECT_EQ(UserSlot(3), std::string(100, '\0'));
  EXPECT_EQ(Priv(1, 5), 3);
}

TEST_F(UserTableTest, GrowthPastSeveralCapacitiesKeepsEveryTableIntact) {
  ASSERT_EQ(SetUserPriv(store(), 7, 1, 70), 1);
  ASSERT_EQ(SetUserPriv(store(), 8, 2, 80), 1);
  ASSERT_EQ(SetUserPriv(store(), 9, 3, 90), 1);
  AddOptionGroups(3);
  const std::string privileges = Table(Section::kPrivs, true);
  const std::string groups = OptionGroups();
  for (int i = 1; i <= 11; ++i) {
    ASSERT_EQ(Add(NameOf(i), PasswordOf(i)), i);
    const SVR_CFG_HEADER header = Header();
    EXPECT_EQ(header.users.capacity, i % 2 == 0 ? i : i + 1);
    EXPECT_EQ(header.privs.offset, 1477 + 100 * header.users.capacity);
    EXPECT_TRUE(ValidateHeader(header, FileBytes().size()).ok());
    EXPECT_EQ(Table(Section::kPrivs, true), privileges) << "after " << i;
    EXPECT_EQ(OptionGroups(), groups) << "after " << i;
  }
  for (int i = 1; i <= 11; ++i) {
    EXPECT_EQ(IdOf(NameOf(i)), i);
    EXPECT_EQ(Check(NameOf(i), PasswordOf(i)), 1);
    EXPECT_EQ(UserSlot(i - 1), Record(i, NameOf(i), PasswordOf(i)));
  }
  EXPECT_EQ(Priv(8, 2), 80);
}

// Users NameOf(first) .. NameOf(first + n - 1) as records, IDs unset.
std::vector<SVR_USER_REC> Batch(int first, int n) {
  std::vector<SVR_USER_REC> users(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const std::string name = "user" + std::to_string(first + i);
    const std::string password = "pw-" + std::to_string(first + i);
    std::memcpy(users[i].name, name.data(), name.size());
    std::memcpy(users[i].password, password.data(), password.size());
  }
  return users;
}

TEST_F(UserTableTest, AddingManyAtOnceLeavesTheBytesOfOneAddAfterAnother) {
  AddUsers(3);
  ASSERT_EQ(SetUserPriv(store(), 2, 1, 20), 1);
  AddOptionGroups(2);
  const std::string start = FileBytes();
  AddUsers(8, 4);
  const std::string one_by_one = FileBytes();

  SetFileBytes(start);
  const auto add_all = [&](std::vector<SVR_USER_REC> users, NewIds numbering,
                           std::vector<std::int32_t>* ids) {
    ConfigSession session;
    Status s = session.Open(store(), Access::kWrite);
    if (s.ok()) {
      s = brellox::AddUsers(session, users.data(),
                            static_cast<std::int32_t>(users.size()), numbering,
                            ids->data());
    }
    if (s.ok()) s = session.Commit();
    return s;
  };
  std::vector<std::int32_t> ids(8);
  ASSERT_TRUE(add_all(Batch(4, 8), NewIds::kNext, &ids).ok());
  EXPECT_EQ(FileBytes(), one_by_one);
  EXPECT_EQ(ids, std::vector<std::int32_t>({4, 5, 6, 7, 8, 9, 10, 11}));

  // Given IDs must rise above the counter; a refusal writes nothing.
  std::vector<SVR_USER_REC> given = Batch(20, 3);
  given[0].id = 15;
  given[1].id = 30;
  given[2].id = 20;
  std::vector<std::int32_t> kept(3);
  EXPECT_TRUE(add_all(given, NewIds::kAsGiven, &kept).IsRefused());
  given[0].id = 11;
  given[2].id = 31;
  EXPECT_TRUE(add_all(given, NewIds::kAsGiven, &kept).IsRefused());
  EXPECT_EQ(FileBytes(), one_by_one);
  given[0].id = 12;
  ASSERT_TRUE(add_all(given, NewIds::kAsGiven, &kept).ok());
  EXPECT_EQ(kept, std::vector<std::int32_t>({12, 30, 31}));
  EXPECT_EQ(Header().lastUserID, 31);
  EXPECT_EQ(IdOf("user21"), 30);

  // A name the table or the batch already holds.
  const std::string before = FileBytes();
  EXPECT_TRUE(add_all(Batch(11, 1), NewIds::kNext, &ids).IsRefused());
  std::vector<SVR_USER_REC> twice = Batch(40, 2);
  twice[1] = twice[0];
  EXPECT_TRUE(add_all(twice, NewIds::kNext, &ids).IsRefused());
  EXPECT_EQ(FileBytes(), before);
}

TEST_F(UserTableTest, OnlyEmptyOrAllSpaceNamesAreBlank) {
  const std::string before = FileBytes();
  EXPECT_EQ(AddUser(store(), nullptr, "pw"), 0);
  EXPECT_EQ(Add("", "pw"), 0);
  EXPECT_EQ(Add("   ", "pw"), 0);
  EXPECT_EQ(FileBytes(), before);
  EXPECT_EQ(Add(" a", "pw"), 1);
  EXPECT_EQ(Add("a", "pw"), 2);
  EXPECT_EQ(Add("\t\t", "pw"), 3);
  EXPECT_EQ(Add(" a ", "pw"), 4);
  EXPECT_EQ(IdOf(" a"), 1);
  EXPECT_EQ(IdOf("a"), 2);
  EXPECT_EQ(IdOf(" a "), 4);
}

TEST_F(UserTableTest, NameInUseIsRefusedWhateverThePassword) {
  AddUsers(3);
  const std::string before = FileBytes();
  EXPECT_EQ(Add(NameOf(2), PasswordOf(2)), 0);
  EXPECT_EQ(Add(NameOf(2), "other"), 0);
  EXPECT_EQ(Add(NameOf(2), nullptr), 0);
  EXPECT_EQ(FileBytes(), before);
  // Letter case makes a different name.
  EXPECT_EQ(Add("USER2", "x"), 4);
}

TEST_F(UserTableTest, ThirtyByteNameIsStoredUnterminatedAndStillFound) {
  const std::string name(30, 'n');
  ASSERT_EQ(Add(name, "pw"), 1);
  EXPECT_EQ(UserSlot(0), Record(1, name, "pw"));
  EXPECT_EQ(IdOf(name), 1);
  EXPECT_EQ(IdOf(name.substr(0, 29)), 0);
  EXPECT_EQ(Check(name, "pw"), 1);

  char buffer[40];
  std::memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(GetUser(store(), 1, buffer, 31), 1);
  EXPECT_EQ(std::string(buffer, 31), name + '\0');
  EXPECT_EQ(buffer[31], 'x');
  std::memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(GetUser(store(), 1, buffer, 30), 1);
  EXPECT_EQ(std::string(buffer, 31), name + 'x');
}

TEST_F(UserTableTest, NameLongerThanItsFieldIsRefused) {
  const std::string name(30, 'n');
  ASSERT_EQ(Add(name, "pw"), 1);
  const std::string before = FileBytes();
  // Stored cut it would equal the first user's name.
  EXPECT_EQ(Add(name + "m", "pw"), 0);
  EXPECT_EQ(Add(std::string(31, 'z'), "pw"), 0);
  EXPECT_EQ(FileBytes(), before);
  EXPECT_EQ(IdOf(name + "m"), 0);
  EXPECT_EQ(Check(name + "m", "pw"), 0);
}

TEST_F(UserTableTest, SixtyFourBytePasswordIsKeptWholeLongerIsRefused) {
  const std::string password(64, 'p');
  ASSERT_EQ(Add("u", password), 1);
  EXPECT_EQ(UserSlot(0), Record(1, "u", password));
  EXPECT_EQ(Check("u", password), 1);
  EXPECT_EQ(Check("u", password + "q"), 0);
  EXPECT_EQ(Check("u", password.substr(0, 63)), 0);

  const std::string before = FileBytes();
  EXPECT_EQ(Add("v", password + "q"), 0);
  EXPECT_EQ(UpdateUser(store(), 1, std::string(70, 'r').c_str()), 0);
  EXPECT_EQ(FileBytes(), before);
  EXPECT_EQ(Check("u", password), 1);
}

TEST_F(UserTableTest, MissingPasswordIsStoredEmptyAndMatchesOnlyEmpty) {
  ASSERT_EQ(Add("u", nullptr), 1);
  EXPECT_EQ(UserSlot(0), Record(1, "u", ""));
  EXPECT_EQ(Check("u", ""), 1);
  EXPECT_EQ(CheckUser(store(), "u", nullptr), 0);
  EXPECT_EQ(CheckUser(store(), nullptr, ""), 0);
  EXPECT_EQ(Check("u", " "), 0);
}

TEST_F(UserTableTest, CheckNeedsExactNameAndPassword) {
  AddUsers(3);
  EXPECT_EQ(Check(NameOf(2), PasswordOf(2)), 1);
  EXPECT_EQ(Check("USER2", PasswordOf(2)), 0);
  EXPECT_EQ(Check(NameOf(2), PasswordOf(3)), 0);
  EXPECT_EQ(Check(NameOf(2), PasswordOf(2) + " "), 0);
  EXPECT_EQ(Check(NameOf(2), PasswordOf(2).substr(1)), 0);
  EXPECT_EQ(Check(NameOf(2) + " ", PasswordOf(2)), 0);
  EXPECT_EQ(Check(NameOf(4), PasswordOf(4)), 0);
}

TEST_F(UserTableTest, UpdateRewritesOnlyThePasswordOfOneRecord) {
  AddUsers(3);
  // Fill bytes as another writer left them must survive the rewrite.
  std::string bytes = FileBytes();
  bytes[1477 + 100 + 98] = 'f';
  SetFileBytes(bytes);
  env_.ResetCounts();
  EXPECT_EQ(UpdateUser(store(), 2, "new"), 1);
  EXPECT_EQ(env_.CountersFor(kConfigFileName).writes, 1);
  std::string expected = Record(2, NameOf(2), "new");
  expected[98] = 'f';
  EXPECT_EQ(UserSlot(1), expected);
  bytes.replace(1577, 100, expected);
  EXPECT_EQ(FileBytes(), bytes);
  EXPECT_EQ(Check(NameOf(2), "new"), 1);
  EXPECT_EQ(Check(NameOf(2), PasswordOf(2)), 0);
}

TEST_F(UserTableTest, UpdateRefusalsWriteNothing) {
  AddUsers(2);
  const std::string before = FileBytes();
  EXPECT_EQ(UpdateUser(store(), 3, "x"), 0);
  EXPECT_EQ(UpdateUser(store(), 0, "x"), 0);
  EXPECT_EQ(UpdateUser(store(), -1, "x"), 0);
  EXPECT_EQ(UpdateUser(store(), 1, nullptr), 0);
  EXPECT_EQ(FileBytes(), before);
}

TEST_F(UserTableTest, DeleteClosesTheGapInOrderAndClearsTheFreedSlot) {
  AddUsers(3);
  const std::string third = UserSlot(2);
  EXPECT_EQ(DelUser(store(), 2), 1);
  const SVR_CFG_HEADER header = Header();
  EXPECT_EQ(header.users.count, 2);
  EXPECT_EQ(header.users.capacity, 4);
  EXPECT_EQ(header.lastUserID, 3);
  EXPECT_EQ(Ids(), (std::vector<SVR_LONG>{1, 3}));
  EXPECT_EQ(UserSlot(1), third);
  EXPECT_EQ(UserSlot(2), std::string(100, '\0'));
  EXPECT_EQ(FileBytes().find(PasswordOf(2)), std::string::npos);
  EXPECT_EQ(Check(NameOf(3), PasswordOf(3)), 1);
  EXPECT_EQ(IdOf(NameOf(2)), 0);
}

TEST_F(UserTableTest, DeletedLastUserLeavesNoTraceAndItsIdIsNotReused) {
  AddUsers(3);
  EXPECT_EQ(DelUser(store(), 3), 1);
  EXPECT_EQ(UserSlot(2), std::string(100, '\0'));
  EXPECT_EQ(FileBytes().find(NameOf(3)), std::string::npos);
  EXPECT_EQ(Add(NameOf(3), "again"), 4);
  EXPECT_EQ(Ids(), (std::vector<SVR_LONG>{1, 2, 4}));
}

TEST_F(UserTableTest, DeleteOfAnUnknownIdSucceedsAndChangesNothing) {
  EXPECT_EQ(DelUser(store(), 1), 1);  // empty table
  AddUsers(2);
  const std::string before = FileBytes();
  EXPECT_EQ(DelUser(store(), 5), 1);
  EXPECT_EQ(DelUser(store(), 0), 0);
  EXPECT_EQ(DelUser(store(), -3), 0);
  EXPECT_EQ(FileBytes(), before);
}

TEST_F(UserTableTest, GetUserFillsOnlyTheBufferItIsGiven) {
  ASSERT_EQ(Add("abcdefgh", "pw"), 1);
  char buffer[48];
  std::memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(GetUser(store(), 1, buffer, 5), 1);
  EXPECT_EQ(std::string(buffer, 6), "abcdex");

  std::memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(GetUser(store(), 2, buffer, 40), 0);
  EXPECT_EQ(std::string(buffer, 41), std::string(40, '\0') + 'x');

  std::memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(GetUser(store(), 1, buffer, 0), 0);
  EXPECT_EQ(GetUser(store(), 0, buffer, 10), 0);
  EXPECT_EQ(GetUser(store(), 1, nullptr, 10), 0);
  EXPECT_EQ(std::string(buffer, sizeof(buffer)), std::string(48, 'x'));

  EXPECT_EQ(GetUser(store(), 1, buffer, 48), 1);
  EXPECT_EQ(std::string(buffer, 48), "abcdefgh" + std::string(40, '\0'));
}

TEST_F(UserTableTest, UnreadableFileFailsEveryCallAndClearsOutputs) {
  AddUsers(2);
  const std::string intact = FileBytes();
  for (bool remove : {true, false}) {
    SetFileBytes(intact);
    if (remove) {
      RemoveFile();
    } else {
      SVR_CFG_HEADER header = Header();
      header.users.count = 3;  // more records than slots
      SetHeader(header);
    }
    EXPECT_EQ(Add("new", "pw"), 0);
    EXPECT_EQ(GetUserCount(store()), 0);
    EXPECT_EQ(IdOf(NameOf(1)), 0);
    EXPECT_EQ(Check(NameOf(1), PasswordOf(1)), 0);
    EXPECT_EQ(UpdateUser(store(), 1, "x"), 0);
    EXPECT_EQ(DelUser(store(), 1), 0);
    char buffer[8];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(GetUser(store(), 1, buffer, 8), 0);
    EXPECT_EQ(std::string(buffer, 8), std::string(8, '\0'));
    CSmartArray<SVR_LONG> ids;
    const SVR_LONG stale = 9;
    ids.Add(&stale);
    EXPECT_EQ(GetUserIDs(store(), ids), 0);
    EXPECT_EQ(ids.GetSize(), 0);
  }
}

TEST_F(UserTableTest, RecordRepeatingAnEarlierIdIsNeverFoundByName) {
  AddUsers(2);
  // A damaged table: the second record carries the first one's ID. A fetch
  // by that ID reads the first record, so the second name answers nothing.
  std::string bytes = FileBytes();
  bytes[1577] = '\1';
  SetFileBytes(bytes);
  EXPECT_EQ(IdOf(NameOf(1)), 1);
  EXPECT_EQ(IdOf(NameOf(2)), 0);
  EXPECT_EQ(Check(NameOf(2), PasswordOf(2)), 0);
  EXPECT_EQ(Add(NameOf(2), "pw"), 3);
}

TEST_F(UserTableTest, ExportedFunctionsWorkOnTheLibrarysOwnFile) {
  AttachLibraryFile();
  char name[] = "exported";
  char password[] = "pw";
  char other[] = "other";
  ASSERT_EQ(Svr_AddUser(name, password), 1);
  EXPECT_EQ(Svr_GetUserCount(), 1);
  EXPECT_EQ(Svr_GetUserIDByName(name), 1);
  EXPECT_EQ(Svr_CheckUser(name, password), 1);
  EXPECT_EQ(Svr_UpdateUser(1, other), 1);
  EXPECT_EQ(Svr_CheckUser(name, other), 1);
  char buffer[31];
  EXPECT_EQ(Svr_GetUser(1, buffer, sizeof(buffer)), 1);
  EXPECT_STREQ(buffer, "exported");
  CSmartArray<SVR_LONG> ids;
  EXPECT_EQ(Svr_GetUserIDs(ids), 1);
  EXPECT_EQ(Svr_SetUserPriv(1, 2, 3), 1);
  SVR_LONG value = -1;
  EXPECT_EQ(Svr_GetUserPriv(1, 2, value), 1);
  EXPECT_EQ(value, 3);
  EXPECT_EQ(Svr_DelUser(1), 1);
  EXPECT_EQ(GetUserCount(store()), 0);

  DetachLibraryFile();
  EXPECT_EQ(Svr_AddUser(name, password), 0);
  EXPECT_EQ(Svr_GetUserPriv(1, 2, value), 0);
  EXPECT_EQ(value, 0);
}

}  // namespace
}  // namespace test
}  // namespace brellox
