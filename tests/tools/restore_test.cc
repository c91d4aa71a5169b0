// Restoring and comparing: what import refuses (and where it says the
// backup is wrong), import from standard input and as a dry run, inputs
// that are not files, and diff between files and exports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "src/store/default_file.h"
#include "tests/tools/tool_fixture.h"

namespace brellox {
namespace test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using json = nlohmann::ordered_json;

namespace fs = std::filesystem;

class ToolRestoreTest : public ToolFixture {
 protected:
  void SetUp() override {
    AddUsers(2);
    for (const std::vector<std::string>& step :
         {std::vector<std::string>{"priv", "set", "user1", "3", "7"},
          {"conn", "add", "pg", "--info1", "a"},
          {"option", "add-group", "render", "1", "--option",
           "text:dir=/srv"}}) {
      ASSERT_EQ(Run(step).exit_code, 0);
    }
  }
  json FullBackup() const { return Json({"export", "--with-passwords"}); }
  fs::path Target() const { return dir_.path() / "new.CFG"; }
};

TEST_F(ToolRestoreTest, ImportRefusesWhatTheLibraryWouldNotStoreNamingThePath) {
  const struct {
    const char* pointer;  // JSON pointer of the value to replace
    json value;
    std::string says;
  } kCases[] = {
      {"/lastUserID", 4294967306u,
       "lastUserID: 4294967306 does not fit a 32-bit integer"},
      {"/lastUserID", -7, "lastUserID: -7 is outside 0 to 2147483647"},
      {"/lastUserID", 1, "lastUserID: 1 is below ID 2 of a record"},
      {"/privileges/0/value", -5, "privileges[0].value: -5 is outside 0 to"},
      {"/privileges/0/privID", 0, "privileges[0].privID: 0 is outside 1 to"},
      {"/users/1/id", "2", "users[1].id: is not an integer"},
      {"/users/1/id", 1, "users[1].id: ID 1 is used by an earlier record"},
      {"/users/1/name", "user1", "users[1].name: is the name of an earlier"},
      {"/privileges/1",
       {{"userID", 1}, {"privID", 3}, {"value", 1}},
       "privileges[1]: the same user and privilege as an earlier record"},
      {"/optionGroups/1",
       {{"groupType", 1}, {"groupName", "render"}, {"options", json::array()}},
       "optionGroups[1]: the same type and name as an earlier group"},
      {"/users/1/name", "   ", "users[1].name: is blank"},
      {"/users/0/name", std::string(31, 'n'),
       "users[0].name: is 31 bytes in GBK; at most 30 fit"},
      {"/users/0/passwd", "x", "users[0].passwd: is not a known key"},
      {"/connections/1/name", std::string(33, 'c'),
       "connections[1].name: is 33 bytes"},
      {"/tempDir", std::string(128, 't'),
       "tempDir: is 128 bytes in GBK; at most 127 fit"},
      {"/formatVersion", 2, "formatVersion: is not 1"},
      {"/optionGroups/0/groupType", 0,
       "optionGroups[0].groupType: 0 is outside 1 to"},
      {"/optionGroups/0/options/0/type", "float",
       "optionGroups[0].options[0].type: is not text"},
      {"/globalOption/value", "many", "globalOption.value: is not an integer"},
      {"/capacity/users", 1, "capacity.users: 1 is outside 2 to 1000000"},
      {"/extra", true, "extra: is not a known key"},
  };
  for (const auto& c : kCases) {
    json backup = FullBackup();
    backup[json::json_pointer(c.pointer)] = c.value;
    WriteBytes(dir_.path() / "bad.json", backup.dump());
    const ToolResult r =
        RunOn(Target(), {"import", (dir_.path() / "bad.json").string()});
    EXPECT_EQ(r.exit_code, 1) << c.pointer;
    EXPECT_EQ(r.ErrLines(), 1) << c.pointer;
    EXPECT_THAT(r.err, HasSubstr(c.says)) << c.pointer;
    EXPECT_FALSE(fs::exists(Target())) << c.pointer;
  }
}

TEST_F(ToolRestoreTest,
       RepeatedKeysAndNumbersBeyondTheirFieldAreRefusedByPath) {
  const std::string head =
      R"({"formatVersion": 1, "globalOption": {"type": "integer", "value": 1},)";
  const std::string user = R"("name": "a", "password": "Pw-77")";
  const struct {
    std::string rest;  // after `head`
    std::string says;
  } kCases[] = {
      {R"("users": [{"id": 1, )" + user + R"(, "name": "b"}]})",
       "users[0].name: the key appears twice"},
      {R"("users": [], "users": []})", "users: the key appears twice"},
      {R"("lastUserID": 1e400})", "lastUserID: is a number too large"},
      {R"("users": [{"id": )" + std::string(400, '7') + ", " + user + "}]}",
       "users[0].id: is a number too large"},
      {R"("users": [{"id": 1e30, )" + user + "}]}",
       "users[0].id: 1e+30 does not fit a 32-bit integer"},
      {R"("optionGroups": [{"groupType": 1, "groupName": "g", "options": )"
       R"([{"type": "double", "value": 9007199254740993}]}]})",
       "optionGroups[0].options[0].value: 9007199254740993 has no exact"},
  };
  for (const auto& c : kCases) {
    WriteBytes(dir_.path() / "bad.json", head + c.rest);
    const ToolResult r =
        RunOn(Target(), {"import", (dir_.path() / "bad.json").string()});
    EXPECT_EQ(r.exit_code, 1) << c.says << r.err;
    EXPECT_EQ(r.ErrLines(), 1) << c.says;
    EXPECT_THAT(r.err, HasSubstr(c.says));
    EXPECT_THAT(r.err, Not(HasSubstr("Pw-77")));
    EXPECT_FALSE(fs::exists(Target())) << c.says;
  }
  // Every JSON the tool reads: diff too.
  const ToolResult diff =
      Run({"diff", path().string(), "-"}, head + kCases[1].rest);
  EXPECT_EQ(diff.exit_code, 1);
  EXPECT_THAT(diff.err, HasSubstr(kCases[1].says));
}

TEST_F(ToolRestoreTest, OptionTypesAreNamesAndCodesAreStillRead) {
  json backup = FullBackup();
  EXPECT_EQ(backup["formatVersion"], 1);
  EXPECT_EQ(backup["globalOption"]["type"], "integer");
  EXPECT_EQ(backup["optionGroups"][0]["options"][0]["type"], "text");
  backup["globalOption"]["type"] = 4;
  backup["optionGroups"][0]["options"][0]["type"] = 0;
  WriteBytes(dir_.path() / "codes.json", backup.dump());
  ASSERT_EQ(RunOn(Target(), {"import", (dir_.path() / "codes.json").string()})
                .exit_code,
            0);
  EXPECT_EQ(ReadBytes(Target()), FileBytes());
}

TEST_F(ToolRestoreTest, ImportFromStandardInputAndAsADryRun) {
  const std::string backup = Run({"export", "--with-passwords"}).out;
  const ToolResult dry = RunOn(Target(), {"import", "--dry-run", "-"}, backup);
  EXPECT_EQ(dry.exit_code, 0) << dry.err;
  EXPECT_THAT(dry.out,
              HasSubstr("would write " + std::to_string(FileBytes().size()) +
                        " bytes to " + Target().string() + " (a new file)"));
  EXPECT_THAT(dry.out, HasSubstr("users 2"));
  EXPECT_FALSE(fs::exists(Target()));

  const ToolResult real = RunOn(Target(), {"import", "-"}, backup);
  ASSERT_EQ(real.exit_code, 0) << real.err;
  EXPECT_EQ(ReadBytes(Target()), FileBytes());

  // A dry run over an existing file changes nothing either.
  const std::string before = FileBytes();
  ASSERT_EQ(Run({"user", "del", "user2"}).exit_code, 0);
  const std::string changed = FileBytes();
  EXPECT_THAT(Run({"import", "--dry-run", "--force", "-"}, backup).out,
              HasSubstr("(replacing its contents)"));
  EXPECT_EQ(FileBytes(), changed);
  ASSERT_EQ(Run({"import", "--force", "-"}, backup).exit_code, 0);
  EXPECT_EQ(FileBytes(), before);
}

TEST_F(ToolRestoreTest, ReplacingAFileNeverLowersItsIdCounters) {
  const std::string backup = Run({"export", "--with-passwords"}).out;
  ASSERT_EQ(Run({"user", "add", "user3", "--no-password"}).exit_code, 0);
  ASSERT_EQ(Run({"conn", "add", "c3"}).exit_code, 0);
  ASSERT_EQ(Run({"user", "del", "user1"}).exit_code, 0);
  const std::string before = FileBytes();
  const std::string kept =
      "the file's higher ID counters: connection 3 (the backup has 2), "
      "user 3 (the backup has 2)\n";
  ToolResult r = Run({"import", "--dry-run", "-"}, backup);
  EXPECT_THAT(r.out, HasSubstr("last IDs: connection 2, GDB 0, user 2\n"
                               "would keep " +
                               kept +
                               "changed header: capacity.connections 4 -> 2\n"
                               "changed header: capacity.users 4 -> 2\n"
                               "removed connection 3 'c3'\n"
                               "removed user 3 'user3'\n"
                               "added user 1 'user1'\n"
                               "added privilege (user 1, privilege 3)\n"
                               "6 change(s)\n"));
  EXPECT_EQ(FileBytes(), before);
  r = Run({"import", "--force", "-"}, backup);
  EXPECT_THAT(r.out, HasSubstr("\nkept " + kept));
  EXPECT_THAT(Run({"import", "--dry-run", "-"}, backup).out,
              HasSubstr("(the backup has 2)\nno changes\n"));
  EXPECT_THAT(Run({"user", "add", "next", "--no-password"}).out,
              HasSubstr("with ID 4"));

  // init --force too, unless told to start afresh.
  r = Run({"init", "--force"});
  EXPECT_THAT(r.out, HasSubstr("kept the replaced file's ID counters: "
                               "connection 3 (the default has 1), user 4"));
  EXPECT_THAT(Run({"user", "add", "x", "--no-password"}).out,
              HasSubstr("with ID 5"));
  ASSERT_EQ(Run({"init", "--force", "--reset-ids"}).exit_code, 0);
  EXPECT_EQ(FileBytes(), DefaultConfigImage());
}

TEST_F(ToolRestoreTest, InputsThatAreNotFilesAreRefusedWithoutWaiting) {
  const fs::path fifo = dir_.path() / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const fs::path& input : {fifo, dir_.path()}) {
    const ToolResult r = RunOn(Target(), {"import", input.string()});
    EXPECT_EQ(r.exit_code, 3) << input;
    EXPECT_EQ(r.ErrLines(), 1) << input;
    EXPECT_THAT(r.err, HasSubstr("not a regular file")) << input;
  }
  EXPECT_EQ(
      RunOn(Target(), {"import", "-"}, "{\"formatVersion\": 1,").exit_code, 1);
  EXPECT_FALSE(fs::exists(Target()));
}

TEST_F(ToolRestoreTest, DiffOfEqualChangedAndUnrelatedConfigurations) {
  const fs::path full = dir_.path() / "full.json";
  const fs::path names = dir_.path() / "names.json";
  ASSERT_EQ(Run({"export", "--with-passwords", "-o", full.string()}).exit_code,
            0);
  ASSERT_EQ(Run({"export", "-o", names.string()}).exit_code, 0);
  const std::string file = path().string();

  ToolResult r = Run({"diff", file, full.string()});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "no differences\n");
  EXPECT_EQ(Run({"diff", file, names.string()}).exit_code, 0);

  ASSERT_EQ(
      Run({"user", "passwd", "user1", "--password-stdin"}, "other\n").exit_code,
      0);
  ASSERT_EQ(Run({"conn", "update", "pg", "--info1", "b"}).exit_code, 0);
  ASSERT_EQ(Run({"user", "del", "user2"}).exit_code, 0);
  ASSERT_EQ(Run({"gdb", "add", "world"}).exit_code, 0);
  r = Run({"diff", full.string(), file});
  EXPECT_EQ(r.exit_code, 6);
  EXPECT_EQ(r.out,
            "changed header: lastGDBID 0 -> 1\n"
            "changed connection 2 'pg': info1 \"a\" -> \"b\"\n"
            "added GDB 1 'world'\n"
            "changed user 1 'user1': password differs\n"
            "removed user 2 'user2'\n"
            "5 difference(s)\n");
  // An export without passwords cannot tell a password change.
  EXPECT_THAT(Run({"diff", names.string(), file}).out,
              ::testing::Not(HasSubstr("password")));

  const json as_json = Run({"diff", full.string(), file, "--json"}).Json();
  EXPECT_EQ(as_json["equal"], false);
  EXPECT_EQ(as_json["differences"].size(), 5u);
  EXPECT_FALSE(as_json["differences"][3].contains("from"));

  const fs::path unrelated = dir_.path() / "default.CFG";
  WriteBytes(unrelated, DefaultConfigImage());
  r = Run({"diff", unrelated.string(), file, "--json"});
  EXPECT_EQ(r.exit_code, 6);
  EXPECT_GE(r.Json()["differences"].size(), 5u);
  EXPECT_EQ(Run({"diff", unrelated.string(), (dir_.path() / "none").string()})
                .exit_code,
            3);
}

}  // namespace
}  // namespace test
}  // namespace brellox
