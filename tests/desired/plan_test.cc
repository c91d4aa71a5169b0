// The desired-state plan: records paired by key, the typed changes a state
// makes against a file, and carrying them out in one session, each table
// edited in memory and written back whole.
#include "src/desired/plan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "src/desired/apply_to_file.h"
#include "src/desired/match.h"
#include "src/options/options.h"
#include "src/sources/twin_table.h"
#include "src/store/integrity.h"
#include "src/users/users.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

using desired::ApplyRules;
using desired::Change;
using desired::ChangeKind;
using desired::DesiredState;
using desired::KeyMatch;
using desired::Part;
using desired::Plan;

TEST(MatchKeysTest, FirstOfEachKeyPairsAndRepeatsStandAside) {
  const KeyMatch m =
      desired::MatchKeys({"a", "b", "a", "c"}, {"c", "a", "d", "c"});
  EXPECT_EQ(m.want_of, (std::vector<std::int32_t>{1, desired::kUnpaired,
                                                  desired::kRepeat, 0}));
  EXPECT_EQ(m.have_of, (std::vector<std::int32_t>{3, 0, desired::kUnpaired,
                                                  desired::kRepeat}));
}

SVR_USER_REC User(const char* name, const char* password) {
  SVR_USER_REC user{};
  std::strncpy(user.name, name, sizeof(user.name) - 1);
  std::strncpy(user.password, password, sizeof(user.password) - 1);
  return user;
}

SVC_GDB_CONN_INFO Conn(const char* name, const char* info1) {
  SVC_GDB_CONN_INFO conn{};
  std::strncpy(conn.name, name, sizeof(conn.name) - 1);
  std::strncpy(conn.info1, info1, sizeof(conn.info1) - 1);
  return conn;
}

SVR_OPTION_GROUP Group(const char* name, std::int32_t value) {
  SVR_OPTION_GROUP group{};
  group.groupType = 1;
  std::strncpy(group.groupName, name, sizeof(group.groupName) - 1);
  std::strncpy(group.options[0].name, "depth",
               sizeof(group.options[0].name) - 1);
  group.options[0].type = SVR_OPTION_INT32;
  std::memcpy(group.options[0].value, &value, sizeof(value));
  return group;
}

class PlanTest : public StoreFixture {
 protected:
  // Six users u1..u6 with a privilege each, connections c1..c3 and the
  // option group g1.
  void SetUp() override {
    ConfigSession session;
    ASSERT_TRUE(session.Open(store(), Access::kWrite).ok());
    for (int i = 1; i <= 6; ++i) {
      std::int32_t id = 0;
      const std::string name = "u" + std::to_string(i);
      ASSERT_TRUE(AddUser(session, name.c_str(), "pw", &id).ok());
      ASSERT_TRUE(SetUserPriv(session, id, 1, i).ok());
    }
    for (const char* name : {"c1", "c2", "c3"}) {
      std::int32_t id = 0;
      ASSERT_TRUE(ConnTable::Add(session, Conn(name, "x"), &id).ok());
    }
    const SVR_OPTION_GROUP g1 = Group("g1", 4);
    ASSERT_TRUE(AddOptionGroup(session, "g1", 1, g1.options, 1).ok());
    ASSERT_TRUE(session.Commit().ok());
  }

  FileTables Tables() {
    ConfigSession session;
    FileTables tables;
    EXPECT_TRUE(session.Open(store(), Access::kRead).ok());
    EXPECT_TRUE(ReadTables(session, &tables).ok());
    return tables;
  }

  // Makes the plan for `state` and carries it out in one commit, as apply
  // does; `check` sees each plan made.
  Status Apply(
      const DesiredState& state, const ApplyRules& rules, Plan* plan,
      std::function<Status(const FileTables&, const Plan&)> check = nullptr) {
    desired::ApplyHooks hooks;
    hooks.check = std::move(check);
    desired::ApplyOutcome outcome;
    const Status s =
        desired::ApplyToFile(store(), state, rules, true, hooks, &outcome);
    *plan = outcome.plan;
    return s;
  }

  // u2 with a new password, u4 as it is, u7 new; c1 changed, c4 new; g1's
  // value changed, g2 new; privileges: u2's changed, u7's new.
  static DesiredState State() {
    DesiredState state;
    state.has_users = state.has_privs = state.has_conns = state.has_groups =
        true;
    state.records.users = {User("u2", "new"), User("u4", ""), User("u7", "p7")};
    state.user_has_password = {true, false, true};
    state.user_has_id = {false, false, false};
    state.privs = {{"u2", 1, 20}, {"u7", 2, 3}};
    state.records.conns = {Conn("c1", "y"), Conn("c4", "z")};
    state.conn_has_id = {false, false};
    state.records.groups = {Group("g1", 5), Group("g2", 1)};
    return state;
  }
};

TEST_F(PlanTest, PrunedAppliedStateLeavesExactlyItsRecordsAndASoundFile) {
  Plan plan;
  ApplyRules rules;
  rules.prune = true;
  ASSERT_TRUE(Apply(State(), rules, &plan).ok());
  const FileTables t = Tables();
  std::vector<std::string> users;
  for (const SVR_USER_REC& u : t.users) {
    users.push_back(std::string(u.name) + ":" + std::to_string(u.id) + ":" +
                    u.password);
  }
  EXPECT_EQ(users,
            (std::vector<std::string>{"u2:2:new", "u4:4:pw", "u7:7:p7"}));
  std::vector<std::string> privs;
  for (const SVR_USER_PRIV& p : t.privs) {
    privs.push_back(std::to_string(p.userID) + "/" + std::to_string(p.privID) +
                    "=" + std::to_string(p.value));
  }
  EXPECT_EQ(privs, (std::vector<std::string>{"2/1=20", "7/2=3"}));
  std::vector<std::string> conns;
  for (const SVC_GDB_CONN_INFO& c : t.conns) {
    conns.push_back(std::string(c.name) + "=" + c.info1);
  }
  EXPECT_EQ(conns, (std::vector<std::string>{"c1=y", "c4=z"}));
  ASSERT_EQ(t.groups.size(), 2u);
  std::int32_t value = 0;
  std::memcpy(&value, t.groups[0].options[0].value, sizeof(value));
  EXPECT_EQ(value, 5);
  EXPECT_STREQ(t.groups[1].groupName, "g2");

  // The file is sound, and the same state plans nothing more.
  ConfigSession session;
  ASSERT_TRUE(session.Open(store(), Access::kRead).ok());
  std::vector<Finding> findings;
  ASSERT_TRUE(CheckSession(session, nullptr, &findings).ok());
  for (const Finding& f : findings) EXPECT_FALSE(f.error) << f.message;
  Plan again;
  EXPECT_TRUE(Plan::Make(State(), t, rules, &again).ok());
  EXPECT_TRUE(again.empty());
}

TEST(PlanPrivilegesTest, PrivilegesPairByNameAndThoseLeftBehindByUserId) {
  // u1 (ID 1) with privilege 1 twice; privileges of user IDs 7 and 7 with
  // the top bit set, whose users are gone; u9 renamed from ID 9.
  FileTables file;
  SVR_USER_REC u1 = User("u1", "pw");
  u1.id = 1;
  SVR_USER_REC u9 = User("u9", "pw");
  u9.id = 9;
  file.users = {u1, u9};
  const std::int32_t high7 = static_cast<std::int32_t>(0x80000007u);
  file.privs = {{1, 1, 5}, {7, 1, 1}, {high7, 1, 2}, {1, 1, 9}, {9, 2, 4}};
  DesiredState state;
  state.has_privs = true;
  state.privs = {{"u1", 1, 5}, {"u9", 2, 6}};
  ApplyRules rules;
  rules.prune = true;
  Plan plan;
  ASSERT_TRUE(Plan::Make(state, file, rules, &plan).ok());
  std::vector<std::pair<ChangeKind, std::int32_t>> changes;
  for (const Change& c : plan.changes()) changes.emplace_back(c.kind, c.have);
  // Both left behind go; the repeat of u1's pair is left as its first is.
  EXPECT_EQ(changes, (std::vector<std::pair<ChangeKind, std::int32_t>>{
                         {ChangeKind::kRemove, 1},
                         {ChangeKind::kRemove, 2},
                         {ChangeKind::kUpdate, 4}}));
}

TEST_F(PlanTest, ChangesAreTypedAndInDiffOrder) {
  Plan plan;
  ASSERT_TRUE(Plan::Make(State(), Tables(), ApplyRules(), &plan).ok());
  std::vector<std::string> seen;
  for (const Change& c : plan.changes()) {
    seen.push_back(std::to_string(static_cast<int>(c.part)) + "." +
                   std::to_string(static_cast<int>(c.kind)) + "." +
                   std::to_string(c.have) + "." + std::to_string(c.want));
  }
  // Connection c1 (file 1, state 0) changed, c4 added; u2 (file 1) gets a
  // password, u7 added; u2's privilege (file 1) changed, u7's added; g1
  // changed, g2 added.
  EXPECT_EQ(seen, (std::vector<std::string>{"2.1.1.0", "2.0.-1.1", "4.1.1.0",
                                            "4.0.-1.2", "5.1.1.0", "5.0.-1.1",
                                            "6.1.0.0", "6.0.-1.1"}));
}

TEST_F(PlanTest, EmptyOrMissingPasswordsAreRefusedUnlessAllowed) {
  const std::string before = FileBytes();
  DesiredState state = State();
  state.user_has_password[2] = false;
  Plan plan;
  Status s = Apply(state, ApplyRules(), &plan);
  EXPECT_TRUE(s.IsRefused());
  EXPECT_NE(s.message().find("users[2]: new user 'u7' has no password"),
            std::string::npos)
      << s.message();
  state = State();
  std::memset(state.records.users[0].password, 0, 64);
  s = Apply(state, ApplyRules(), &plan);
  EXPECT_NE(s.message().find("users[0].password: user 'u2' would get an empty"),
            std::string::npos)
      << s.message();
  EXPECT_EQ(FileBytes(), before);
  ApplyRules allow;
  allow.allow_empty_password = true;
  EXPECT_TRUE(Apply(state, allow, &plan).ok());
}

// The plan is made from a read taken before the exclusive lock: a change
// that lands in between must be planned against, never written over.
TEST_F(PlanTest, AChangeLandingBeforeTheWriteIsPlannedAgainAndOnlyChangesAreWritten) {
  int plans = 0;
  Plan plan;
  const Status s = Apply(State(), ApplyRules(), &plan,
                         [&](const FileTables&, const Plan&) {
                           if (++plans == 1) {
                             // Another process adds u7 meanwhile.
                             ConfigSession other;
                             std::int32_t id = 0;
                             Status added = other.Open(store(), Access::kWrite);
                             if (added.ok()) added = AddUser(other, "u7", "x", &id);
                             if (added.ok()) added = other.Commit();
                             EXPECT_TRUE(added.ok()) << added.ToString();
                           }
                           return Status::OK();
                         });
  ASSERT_TRUE(s.ok()) << s.ToString();
  EXPECT_EQ(plans, 2);
  // One u7, given the state's password: updated, not added twice.
  std::vector<std::string> u7;
  for (const SVR_USER_REC& u : Tables().users) {
    if (std::string(u.name) == "u7") u7.push_back(u.password);
  }
  EXPECT_EQ(u7, std::vector<std::string>{"p7"});
  bool updated = false;
  for (const Change& c : plan.changes()) {
    updated = updated || (c.part == Part::kUser && c.kind == ChangeKind::kUpdate &&
                          c.have == 6);
  }
  EXPECT_TRUE(updated);

  // Unchanged in between, the first plan is the one carried out, and only
  // what it changes is written: one password of 2,000 users.
  {
    ConfigSession session;
    ASSERT_TRUE(session.Open(store(), Access::kWrite).ok());
    std::int32_t id = 0;
    for (int i = 0; i < 2000; ++i) {
      const std::string name = "bulk" + std::to_string(i);
      ASSERT_TRUE(AddUser(session, name.c_str(), "pw", &id).ok());
    }
    ASSERT_TRUE(session.Commit().ok());
  }
  DesiredState one;
  one.has_users = true;
  one.records.users = {User("bulk1000", "changed")};
  one.user_has_password = {true};
  one.user_has_id = {false};
  const std::uint64_t written = env_.counters().bytes_written;
  plans = 0;
  ASSERT_TRUE(Apply(one, ApplyRules(), &plan,
                    [&](const FileTables&, const Plan&) {
                      ++plans;
                      return Status::OK();
                    })
                  .ok());
  EXPECT_EQ(plans, 1);
  EXPECT_GT(FileBytes().size(), 200'000u);
  EXPECT_LT(env_.counters().bytes_written - written, 20'000u);
  const FileTables t = Tables();
  EXPECT_STREQ(t.users[t.users.size() - 1000].password, "changed");
}

}  // namespace
}  // namespace test
}  // namespace brellox
