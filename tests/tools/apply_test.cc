// apply: a desired state matched by name, what it adds, updates, leaves
// and prunes; that a second run changes nothing, not even the mtime; that a
// dry run prints what apply then does, in diff --by-name's lines; IDs kept
// on request; and diff --by-name between files that added the same records
// in another order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "src/store/default_file.h"
#include "tests/tools/tool_fixture.h"

namespace brellox {
namespace test {
namespace {

using ::testing::HasSubstr;
using json = nlohmann::ordered_json;

namespace fs = std::filesystem;

class ToolApplyTest : public ToolFixture {
 protected:
  void SetUp() override {
    AddUsers(2);
    for (const std::vector<std::string>& step :
         {std::vector<std::string>{"priv", "set", "user1", "3", "7"},
          {"conn", "add", "pg", "--info1", "a"},
          {"option", "add-group", "render", "1", "--option",
           "integer:depth=4"}}) {
      ASSERT_EQ(Run(step).exit_code, 0);
    }
  }

  // Runs apply on `state`, expects exit 0, returns the output's lines.
  std::vector<std::string> Apply(const json& state,
                                 std::vector<std::string> flags = {}) const {
    flags.insert(flags.begin(), "apply");
    flags.push_back("-");
    const ToolResult r = Run(flags, state.dump());
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return Lines(r.out);
  }

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos;
         at = end + 1) {
      lines.push_back(text.substr(at, end - at));
    }
    return lines;
  }

  // What a fleet asks of every server: user2 with a new password, user3,
  // pg changed, a privilege for user3 by name, a changed option value.
  static json State() {
    return json::parse(R"({
      "users": [{"name": "user3", "password": "pw3"},
                {"name": "user2", "password": "new"}],
      "connections": [{"name": "pg", "info1": "b"}],
      "privileges": [{"user": "user3", "privID": 3, "value": 9}],
      "optionGroups": [{"groupType": 1, "groupName": "render", "options": [
          {"name": "depth", "type": "integer", "value": 5}]}]
    })");
  }
};

TEST_F(ToolApplyTest, AddsUpdatesAndLeavesByNameAndPrunesOnlyWhenAsked) {
  EXPECT_EQ(Apply(State()),
            std::vector<std::string>(
                {"changed connection 'pg': info1 \"a\" -> \"b\"",
                 "changed user 'user2': password differs", "added user 'user3'",
                 "added privilege (user 'user3', privilege 3)",
                 "changed option group 'render' (type 1): "
                 "options[0].value 4 -> 5",
                 "5 change(s)"}));
  EXPECT_EQ(
      Run({"user", "check", "user2", "--password-stdin"}, "new\n").exit_code,
      0);
  // user1 and its privilege, and the default connection, are left alone.
  json file = Json({"export"});
  EXPECT_EQ(file["users"].size(), 3u);
  EXPECT_EQ(file["privileges"],
            json::parse(R"([{"userID": 1, "privID": 3, "value": 7},
                            {"userID": 3, "privID": 3, "value": 9}])"));

  EXPECT_EQ(
      Apply(State(), {"--prune"}),
      std::vector<std::string>(
          {"removed connection 'KelmirLocal'", "removed user 'user1'",
           "removed privilege (user 'user1', privilege 3)", "3 change(s)"}));
  file = Json({"export"});
  EXPECT_EQ(file["users"], json::parse(R"([{"id": 2, "name": "user2"},
                                           {"id": 3, "name": "user3"}])"));
  EXPECT_EQ(file["privileges"].size(), 1u);
  EXPECT_EQ(file["connections"].size(), 1u);

  // A privilege may name its user by the ID the state gives it, as an
  // export does; a privilege cannot keep a user that --prune removes.
  json by_id = json::parse(R"({
      "users": [{"id": 40, "name": "user2"}],
      "privileges": [{"userID": 40, "privID": 1, "value": 2},
                     {"user": "user3", "privID": 3, "value": 9}]})");
  EXPECT_THAT(Run({"apply", "--prune", "-"}, by_id.dump()).err,
              HasSubstr("privileges[1].user: no user 'user3' among the "
                        "state's users"));
  by_id["privileges"].erase(1);
  EXPECT_EQ(
      Apply(by_id, {"--prune"}),
      std::vector<std::string>({"removed user 'user3'",
                                "removed privilege (user 'user3', privilege 3)",
                                "added privilege (user 'user2', privilege 1)",
                                "3 change(s)"}));
}

TEST_F(ToolApplyTest, RefusesWhatItCannotDoAndWritesNothing) {
  const struct {
    const char* pointer;
    json value;
    std::string says;
  } kCases[] = {
      {"/privileges/0/user", "nobody",
       "privileges[0].user: no user 'nobody' in the state or the file"},
      {"/privileges/0/userID", 1, "privileges[0]: names its user by"},
      {"/users/0/name", " ", "users[0].name: is blank"},
      {"/optionGroups/0/options/0/name", "other",
       "optionGroups[0].options[0].name: differs from the file's"},
      {"/formatVersion", 2, "formatVersion: is not 1"},
  };
  const std::string before = FileBytes();
  for (const auto& c : kCases) {
    json state = State();
    state[json::json_pointer(c.pointer)] = c.value;
    const ToolResult r = Run({"apply", "-"}, state.dump());
    EXPECT_EQ(r.exit_code, 1) << c.pointer;
    EXPECT_THAT(r.err, HasSubstr(c.says)) << c.pointer;
  }
  json without_groups = State();
  without_groups["optionGroups"] = json::array();
  EXPECT_THAT(Run({"apply", "--prune", "-"}, without_groups.dump()).err,
              HasSubstr("option group 'render' (type 1) is not in the state"));
  EXPECT_EQ(FileBytes(), before);
}

// An export leaves passwords out: applying it must not make users who
// match any password, nor clear a stored one, unless asked to.
TEST_F(ToolApplyTest, NewUsersAndNewPasswordsAreNeverEmptyUnlessAllowed) {
  const struct {
    const char* state;
    std::string says;
  } kCases[] = {
      {R"({"users": [{"name": "carol"}]})",
       "users[0]: new user 'carol' has no password; give one as "
       "\"password\", or allow empty passwords (--allow-empty-password)"},
      {R"({"users": [{"name": "user1"}, {"name": "carol", "password": ""}]})",
       "users[1].password: new user 'carol' would get an empty password"},
      {R"({"users": [{"name": "user1", "password": ""}]})",
       "users[0].password: user 'user1' would get an empty password"},
  };
  const std::string before = FileBytes();
  for (const auto& c : kCases) {
    for (const char* dry_run : {"--dry-run", "--prune"}) {
      const ToolResult r = Run({"apply", dry_run, "-"}, c.state);
      EXPECT_EQ(r.exit_code, 1) << c.state;
      EXPECT_THAT(r.err, HasSubstr(c.says)) << c.state;
    }
  }
  // A configuration-management module reads the same refusal as JSON.
  const ToolResult as_json = Run({"apply", "--json", "-"}, kCases[0].state);
  EXPECT_EQ(as_json.exit_code, 1);
  const json error = json::parse(as_json.err);
  EXPECT_EQ(error["result"], "refused");
  EXPECT_EQ(error["message"], kCases[0].says);
  EXPECT_EQ(FileBytes(), before);
  // A stored password the state leaves out stays as it is.
  EXPECT_EQ(Apply(json::parse(R"({"users": [{"name": "user1"}]})")),
            std::vector<std::string>({"no changes"}));

  EXPECT_EQ(Apply(json::parse(kCases[0].state), {"--allow-empty-password"}),
            std::vector<std::string>({"added user 'carol'", "1 change(s)"}));
  EXPECT_EQ(Run({"user", "check", "carol", "--password-stdin"}, "\n").exit_code,
            0);
  EXPECT_EQ(
      Apply(json::parse(kCases[2].state), {"--allow-empty-password"}).front(),
      "changed user 'user1': password differs");
}

// Nesting far past what any state holds is refused where it is read, with
// its path, by apply and import alike: 100,000 levels once crashed apply.
TEST_F(ToolApplyTest, DeepNestingIsRefusedWithItsPathNotACrash) {
  const std::string before = FileBytes();
  for (const int depth : {65, 100000}) {
    const std::string state = R"({"users": [{"name": "dee", "password": )" +
                              std::string(depth, '[') +
                              std::string(depth, ']') + "}]}";
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"apply", "-"}, {"import", "--force", "-"}}) {
      const ToolResult r = Run(command, state);
      EXPECT_EQ(r.exit_code, 1) << command[0] << " " << depth;
      EXPECT_THAT(r.err, HasSubstr("users[0].password[0][0][0]")) << command[0];
      EXPECT_THAT(r.err, HasSubstr("is nested deeper than 64 levels"));
    }
  }
  // As deep as the limit is read, and refused for what it is.
  const std::string deepest = R"({"users": [{"name": "dee", "password": )" +
                              std::string(60, '[') + std::string(60, ']') +
                              "}]}";
  EXPECT_THAT(Run({"apply", "-"}, deepest).err,
              HasSubstr("users[0].password: is not a string"));
  EXPECT_EQ(FileBytes(), before);
}

// One record at a time: "absent" removes a record the file holds and is
// no change otherwise; an update keeps the fields a record leaves out, and
// an explicit empty value clears one.
TEST_F(ToolApplyTest, AbsentRecordsGoAndPartialRecordsKeepWhatTheyLeaveOut) {
  ASSERT_EQ(Run({"conn", "add", "ora", "--info1", "a", "--info2", "b",
                 "--info4", "d"})
                .exit_code,
            0);
  const json state = json::parse(R"({
      "users": [{"name": "user1", "state": "absent"},
                {"name": "ghost", "state": "absent"}],
      "privileges": [{"user": "user2", "privID": 5, "state": "absent"}],
      "connections": [{"name": "ora", "info1": "z", "info2": ""},
                      {"name": "pg", "state": "absent"}]})");
  EXPECT_EQ(Apply(state), std::vector<std::string>(
                              {"removed connection 'pg'",
                               "changed connection 'ora': info1 \"a\" -> \"z\"",
                               "changed connection 'ora': info2 \"b\" -> \"\"",
                               "removed user 'user1'",
                               "removed privilege (user 'user1', privilege 3)",
                               "5 change(s)"}));
  const json conns = Json({"conn", "list", "--json"});
  ASSERT_EQ(conns.size(), 2u);
  EXPECT_EQ(conns[1]["name"], "ora");
  EXPECT_EQ(conns[1]["info4"], "d");
  EXPECT_EQ(Json({"export"})["users"].size(), 1u);
  EXPECT_EQ(Apply(state), std::vector<std::string>({"no changes"}));

  for (const char* bad :
       {R"({"users": [{"name": "user2", "state": "gone"}]})",
        R"({"optionGroups": [{"groupType": 1, "groupName": "render",
            "options": [], "state": "absent"}]})"}) {
    const ToolResult r = Run({"apply", "-"}, bad);
    EXPECT_EQ(r.exit_code, 1) << bad;
    EXPECT_THAT(r.err, HasSubstr("[0].state: ")) << bad;
  }
}

// A state holds references to its secrets, never the secrets: they are
// read when applied, and no output or refusal shows them.
TEST_F(ToolApplyTest, PasswordsByReferenceAreReadAndNeverShown) {
  const fs::path secret = dir_.path() / "carol.pw";
  WriteBytes(secret, "file-secret\nsecond line\n");
  fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_EQ(setenv("BRELLOX_TEST_PW", "env-secret", 1), 0);
  json state = json::parse(R"({"users": [
      {"name": "carol", "password": {"file": ""}},
      {"name": "dave", "password": {"env": "BRELLOX_TEST_PW"}}]})");
  state["users"][0]["password"]["file"] = secret.string();
  const ToolResult r = Run({"apply", "--json", "-"}, state.dump());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.find("secret"), std::string::npos) << r.out;
  EXPECT_EQ(Run({"user", "check", "carol", "--password-stdin"}, "file-secret\n")
                .exit_code,
            0);
  EXPECT_EQ(Run({"user", "check", "dave", "--password-stdin"}, "env-secret\n")
                .exit_code,
            0);

  const std::string before = FileBytes();
  fs::permissions(secret, fs::perms::group_read, fs::perm_options::add);
  state["users"][0]["name"] = "erin";
  ToolResult refused = Run({"apply", "-"}, state.dump());
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_THAT(refused.err,
              HasSubstr("users[0].password (file '" + secret.string() +
                        "'): others may read or change it"));
  state["users"][0]["password"] = json::parse(R"({"env": "BRELLOX_NO_SUCH"})");
  refused = Run({"apply", "-"}, state.dump());
  EXPECT_THAT(refused.err, HasSubstr("users[0].password (env "
                                     "'BRELLOX_NO_SUCH'): is not set"));
  state["users"][0]["password"] = json::parse(R"({"env": "A", "file": "B"})");
  refused = Run({"apply", "-"}, state.dump());
  EXPECT_THAT(refused.err, HasSubstr("users[0].password: a reference is"));
  EXPECT_EQ(refused.err.find("secret"), std::string::npos);
  EXPECT_EQ(FileBytes(), before);
}

// A saved plan is carried out exactly, and refused, naming the difference,
// once the file changed since it was made; it never holds a secret.
TEST_F(ToolApplyTest, APlanIsRefusedOnceTheFileChangedAndHoldsNoSecrets) {
  const fs::path secret = dir_.path() / "pw";
  WriteBytes(secret, "plan-secret\n");
  fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
  json state = State();
  state["users"][0]["password"] = json{{"file", secret.string()}};
  state["users"][1]["password"] = json{{"file", secret.string()}};
  const std::string plan = (dir_.path() / "plan.json").string();
  const std::string before = FileBytes();
  ToolResult r = Run({"apply", "--plan-out", plan, "-"}, state.dump());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("5 change(s) planned in " + plan));
  EXPECT_EQ(FileBytes(), before);
  EXPECT_EQ(ReadBytes(plan).find("plan-secret"), std::string::npos);

  // Any change to the file since refuses the plan, naming where.
  ASSERT_EQ(Run({"priv", "set", "user1", "4", "1"}).exit_code, 0);
  const std::string changed = FileBytes();
  r = Run({"apply", "--plan", plan});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_THAT(r.err, HasSubstr("changed since the plan was made (it differs "
                               "in: header, privileges)"));
  EXPECT_EQ(FileBytes(), changed);

  ASSERT_EQ(Run({"apply", "--plan-out", plan, "-"}, state.dump()).exit_code, 0);
  r = Run({"apply", "--plan", plan});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("5 change(s)\n"));
  EXPECT_EQ(Run({"user", "check", "user3", "--password-stdin"}, "plan-secret\n")
                .exit_code,
            0);

  // A plan edited since: a change it no longer makes is named, and a list
  // holding anything but change objects is no plan at all.
  state["connections"][0]["info1"] = "c";
  ASSERT_EQ(Run({"apply", "--plan-out", plan, "-"}, state.dump()).exit_code, 0);
  json saved = json::parse(ReadBytes(plan));
  saved["changes"][0]["to"] = "d";
  WriteBytes(plan, saved.dump());
  const std::string planned = FileBytes();
  r = Run({"apply", "--plan", plan});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_THAT(r.err, HasSubstr("it planned \"changed connection 'pg': info1 "
                               "\"b\" -> \"d\"\", now \"changed connection "
                               "'pg': info1 \"b\" -> \"c\"\""));
  for (const json& bad : {json{{"change", "added"}}, json(1),
                          json{{"change", "changed"}, {"record", "x"},
                               {"from", 1}, {"to", 2}}}) {
    saved["changes"][0] = bad;
    WriteBytes(plan, saved.dump());
    r = Run({"apply", "--plan", plan});
    EXPECT_EQ(r.exit_code, 1) << bad;
    EXPECT_THAT(r.err, HasSubstr("changes[0]: is not a change object")) << bad;
  }
  EXPECT_EQ(FileBytes(), planned);

  // Inline passwords are refused before anything is planned.
  r = Run({"apply", "--plan-out", plan, "-"}, State().dump());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_THAT(r.err, HasSubstr("users[0].password: a plan holds no secrets"));
}

TEST_F(ToolApplyTest, SecondRunChangesNothingNotEvenTheModificationTime) {
  Apply(State());
  const std::string applied = FileBytes();
  // An mtime far in the past: any write would move it.
  const fs::file_time_type old =
      fs::last_write_time(path()) - std::chrono::hours(24);
  fs::last_write_time(path(), old);
  EXPECT_EQ(Apply(State()), std::vector<std::string>({"no changes"}));
  const ToolResult as_json = Run({"apply", "--json", "-"}, State().dump());
  EXPECT_EQ(as_json.Json(), json::parse(R"({"changed": false,
      "dryRun": false, "changes": []})"));
  EXPECT_EQ(FileBytes(), applied);
  EXPECT_EQ(fs::last_write_time(path()), old);
}

TEST_F(ToolApplyTest, DryRunPrintsWhatApplyDoesAsDiffByNameSeesIt) {
  const std::string before = FileBytes();
  const fs::path old_file = dir_.path() / "before.CFG";
  WriteBytes(old_file, before);
  std::vector<std::string> dry = Apply(State(), {"--dry-run"});
  EXPECT_EQ(FileBytes(), before);
  ASSERT_FALSE(dry.empty());
  EXPECT_EQ(dry.back(), "5 change(s) to make; nothing written (dry run)");
  std::vector<std::string> done = Apply(State());
  EXPECT_EQ(done.back(), "5 change(s)");
  dry.pop_back();
  done.pop_back();
  EXPECT_EQ(dry, done);
  std::vector<std::string> diff =
      Lines(Run({"diff", "--by-name", old_file.string(), path().string()}).out);
  diff.pop_back();
  EXPECT_EQ(diff, done);

  const ToolResult as_json =
      Run({"apply", "--dry-run", "--json", "-"}, State().dump());
  EXPECT_EQ(as_json.Json()["changed"], false);
  EXPECT_EQ(as_json.Json()["changes"], json::array());
}

TEST_F(ToolApplyTest, KeepIdsAddsUnderTheStatesIdsOnlyAboveTheCounter) {
  json state = json::parse(R"({"users": [{"id": 9, "name": "nine",
                                          "password": "p9"},
                                         {"id": 7, "name": "seven",
                                          "password": "p7"}],
                               "connections": [{"id": 5, "name": "c5"}]})");
  const ToolResult r =
      Run({"apply", "--keep-ids", "--json", "-"}, state.dump());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.Json()["changed"], true);
  const json users = Json({"user", "list", "--json"});
  EXPECT_EQ(users[2], json::parse(R"({"id": 7, "name": "seven"})"));
  EXPECT_EQ(users[3], json::parse(R"({"id": 9, "name": "nine"})"));
  EXPECT_EQ(Json({"conn", "list", "--json"})[2]["id"], 5);

  // IDs the file has issued, or none at all, are refused.
  const std::string before = FileBytes();
  state = json::parse(
      R"({"users": [{"id": 8, "name": "eight", "password": "p8"}]})");
  ToolResult refused = Run({"apply", "--keep-ids", "-"}, state.dump());
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_THAT(refused.err, HasSubstr("users[0].id: 8 is not above the "
                                     "file's last user ID 9"));
  state = json::parse(R"({"users": [{"name": "eight", "password": "p8"}]})");
  refused = Run({"apply", "--keep-ids", "-"}, state.dump());
  EXPECT_THAT(refused.err, HasSubstr("users[0]: has no \"id\""));
  EXPECT_EQ(FileBytes(), before);
}

// An export of one server, applied with --prune to another that holds
// other records under other IDs, leaves the two equal by name: every field
// the export holds is applied, opaque bytes included.
TEST_F(ToolApplyTest, AnExportAppliedWithPruneMakesServersEqualByName) {
  for (const std::vector<std::string>& step :
       {std::vector<std::string>{"tempdir", "/srv/tmp"},
        {"gdb", "add", "world", "--details", "00ff10"},
        {"option", "set", "2048"}}) {
    ASSERT_EQ(Run(step).exit_code, 0) << step[0];
  }
  const fs::path other = dir_.path() / "other.CFG";
  WriteBytes(other, DefaultConfigImage());
  for (const std::vector<std::string>& step :
       {std::vector<std::string>{"user", "add", "stranger", "--no-password"},
        {"user", "add", "user2", "--no-password"},
        {"priv", "set", "stranger", "1", "1"},
        {"gdb", "add", "world", "--details", "01"},
        {"conn", "add", "pg", "--info1", "x", "--info4", "y"},
        {"option", "add-group", "render", "1", "--option",
         "integer:depth=1"}}) {
    ASSERT_EQ(RunOn(other, step).exit_code, 0) << step[0];
  }
  const std::string backup = Run({"export", "--with-passwords"}).out;
  const ToolResult applied = RunOn(other, {"apply", "--prune", "-"}, backup);
  ASSERT_EQ(applied.exit_code, 0) << applied.err;
  EXPECT_THAT(applied.out, HasSubstr("changed GDB 'world': details"));
  const ToolResult diff =
      Run({"diff", "--by-name", path().string(), other.string()});
  EXPECT_EQ(diff.out, "no differences\n");
  EXPECT_EQ(RunOn(other, {"apply", "--prune", "-"}, backup).out,
            "no changes\n");
}

TEST_F(ToolApplyTest, DiffByNameMatchesRecordsAddedInAnotherOrder) {
  const fs::path other = dir_.path() / "other.CFG";
  WriteBytes(other, DefaultConfigImage());
  for (const std::vector<std::string>& step :
       {std::vector<std::string>{"conn", "add", "pg", "--info1", "a"},
        {"user", "add", "user2", "--password-stdin"},
        {"user", "add", "user1", "--password-stdin"},
        {"priv", "set", "user1", "3", "7"},
        {"option", "add-group", "render", "1", "--option",
         "integer:depth=4"}}) {
    const std::string password = step[2] == "user1" ? "pw1\n" : "pw2\n";
    ASSERT_EQ(RunOn(other, step, password).exit_code, 0);
  }
  const std::string mine = path().string();
  EXPECT_EQ(Run({"diff", mine, other.string()}).exit_code, 6);
  ToolResult r = Run({"diff", "--by-name", mine, other.string()});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_EQ(r.out, "no differences\n");

  ASSERT_EQ(
      RunOn(other, {"user", "passwd", "user1", "--password-stdin"}, "secret\n")
          .exit_code,
      0);
  r = Run({"diff", "--by-name", mine, other.string()});
  EXPECT_EQ(r.exit_code, 6);
  EXPECT_EQ(r.out, "changed user 'user1': password differs\n1 difference(s)\n");
}

}  // namespace
}  // namespace test
}  // namespace brellox
