// End-to-end runs of the tool's command families: what each changes, what
// it refuses, and the exit code and message it ends with.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "src/store/default_file.h"
#include "tests/tools/tool_fixture.h"

namespace brellox {
namespace test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class ToolCommandsTest : public ToolFixture {};

TEST_F(ToolCommandsTest, InitRefusesToReplaceAFileWithoutForce) {
  SetFileBytes("not a configuration");
  ToolResult r = Run({"init"});
  EXPECT_EQ(r.exit_code, 4);
  EXPECT_THAT(r.err, HasSubstr("already exists; pass --force"));
  EXPECT_EQ(FileBytes(), "not a configuration");
  EXPECT_EQ(Run({"init", "--force"}).exit_code, 0);
  EXPECT_EQ(FileBytes(), DefaultConfigImage());
}

TEST_F(ToolCommandsTest, InitWritesTheDefaultFileAtAGivenPath) {
  const std::string fresh = (dir_.path() / "fresh.CFG").string();
  EXPECT_EQ(Run({"init", fresh}).exit_code, 0);
  EXPECT_EQ(ReadBytes(fresh), DefaultConfigImage());
}

TEST_F(ToolCommandsTest, UnopenableFileExitsThreeWithOneLine) {
  const std::string json = (dir_.path() / "backup.json").string();
  ASSERT_EQ(Run({"export", "-o", json}).exit_code, 0);
  std::filesystem::remove(path());
  ToolResult r = Run({"show"});
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_EQ(r.err, "brellox: " + path().string() +
                       " does not exist; create it with `brellox init`\n");
  // An export where a configuration file belongs is named for what it is.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"show"}, {"user", "list"}, {"tempdir"}}) {
    r = RunOn(json, args);
    EXPECT_EQ(r.exit_code, 3) << args[0];
    EXPECT_EQ(r.ErrLines(), 1) << args[0];
    EXPECT_THAT(r.err, HasSubstr(json + " is an export, not a configuration "
                                        "file; restore it with"));
  }
}

TEST_F(ToolCommandsTest, DamagedHeaderStopsEveryCommandWithExitThree) {
  SVR_CFG_HEADER h = Header();
  h.privs.count = 3;  // more records than slots
  SetHeader(h);
  const std::string before = FileBytes();
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"show"},
        {"user", "list"},
        {"user", "add", "bob", "--no-password"},
        {"priv", "set", "1", "1", "1"},
        {"option", "set", "1"},
        {"export"}}) {
    const ToolResult r = Run(args);
    EXPECT_EQ(r.exit_code, 3) << args[0];
    EXPECT_EQ(r.ErrLines(), 1) << args[0];
    EXPECT_THAT(r.err, HasSubstr("fails the header check"));
  }
  EXPECT_EQ(FileBytes(), before);
}

TEST_F(ToolCommandsTest, PrivilegeListingNamesEachRowsUser) {
  AddUsers(3);
  for (const std::vector<std::string>& set :
       {std::vector<std::string>{"priv", "set", "user1", "1", "7"},
        {"priv", "set", "user3", "2", "7"},
        {"priv", "set", "user1", "2", "8"}}) {
    ASSERT_EQ(Run(set).exit_code, 0);
  }
  ASSERT_EQ(Run({"user", "del", "user3", "--keep-privileges"}).exit_code, 0);
  EXPECT_EQ(Run({"priv", "list"}).out,
            "USER ID  USER            PRIVILEGE  VALUE\n"
            "1        user1           1          7\n"
            "3        (no such user)  2          7\n"
            "1        user1           2          8\n");
  EXPECT_EQ(Run({"priv", "list", "3"}).out,
            "USER ID  USER            PRIVILEGE  VALUE\n"
            "3        (no such user)  2          7\n");
}

TEST_F(ToolCommandsTest, DigitNamesAreAddressedWithByName) {
  ASSERT_EQ(Run({"user", "add", "42", "--no-password"}).exit_code, 0);
  EXPECT_EQ(Run({"user", "del", "42"}).err,
            "brellox: no user with ID 42; for the user named '42', add "
            "--by-name\n");
  EXPECT_EQ(Run({"user", "del", "42", "--by-name"}).exit_code, 0);
  EXPECT_EQ(Json({"user", "list", "--json"}).size(), 0u);
}

TEST_F(ToolCommandsTest, ConsistencyRulesOfTheTool) {
  AddUsers(2);
  ASSERT_EQ(Run({"priv", "set", "user2", "1", "5"}).exit_code, 0);
  ASSERT_EQ(Run({"priv", "set", "user1", "1", "6"}).exit_code, 0);
  ASSERT_EQ(Run({"priv", "set", "user2", "2", "5"}).exit_code, 0);
  // A value for a user that does not exist is refused.
  ToolResult r = Run({"priv", "set", "99", "5", "3"});
  EXPECT_EQ(r.err, "brellox: no user with ID 99\n");
  // Removing a user removes its privilege values in the same change.
  r = Run({"user", "del", "user2"});
  EXPECT_EQ(r.out,
            "removed user 'user2' (ID 2) and its 2 privilege value(s)\n");
  const auto privs = Json({"priv", "list", "--json"});
  ASSERT_EQ(privs.size(), 1u);
  EXPECT_EQ(privs[0]["userID"], 1);
  EXPECT_EQ(Run({"check"}).out,
            path().string() + ": 0 error(s), 0 warning(s)\n");
  // Names with control characters are refused; spaces stay visible.
  for (const char* name : {"a\nb", "tab\there", "x\x7f"}) {
    r = Run({"user", "add", name, "--no-password"});
    EXPECT_EQ(r.exit_code, 1) << name;
    EXPECT_EQ(r.ErrLines(), 1) << name;
    EXPECT_THAT(r.err, HasSubstr("holds a control character"));
  }
  ASSERT_EQ(Run({"user", "add", "bob ", "--no-password"}).exit_code, 0);
  ASSERT_EQ(Run({"user", "add", "bob", "--no-password"}).exit_code, 0);
  EXPECT_THAT(Run({"user", "list"}).out, HasSubstr("'bob '"));
  EXPECT_EQ(Json({"user", "list", "--json"})[1]["name"], "bob ");
}

TEST_F(ToolCommandsTest, DuplicateUserIsRefusedInTheToolsTerms) {
  AddUsers(1);
  const std::string before = FileBytes();
  ToolResult r = Run({"user", "add", "user1", "--password-stdin"}, "x\n");
  EXPECT_EQ(r.exit_code, 4);
  EXPECT_EQ(r.err, "brellox: user 'user1' already exists\n");
  EXPECT_EQ(FileBytes(), before);
}

// Re-runs pass under `set -e`: an add of a taken name with --if-not-exists
// and a set to the stored value exit 0 and leave the file, its modification
// time included, as it was; --detailed-exitcodes tells a change (8) apart.
TEST_F(ToolCommandsTest, RerunsChangeNothingAndExitZero) {
  AddUsers(1);
  const auto long_ago =
      std::filesystem::last_write_time(path()) - std::chrono::hours(1);
  const auto expect_untouched = [&](const std::vector<std::string>& args,
                                    const std::string& input) {
    const std::string before = FileBytes();
    std::filesystem::last_write_time(path(), long_ago);
    const ToolResult r = Run(args, input);
    EXPECT_EQ(r.exit_code, 0) << args[1] << r.err;
    EXPECT_EQ(FileBytes(), before) << args[1];
    EXPECT_EQ(std::filesystem::last_write_time(path()), long_ago) << args[1];
    return r;
  };
  for (std::vector<std::string> add :
       {std::vector<std::string>{"user", "add", "bob", "--no-password"},
        {"conn", "add", "pg", "--info1", "h"},
        {"gdb", "add", "world"},
        {"option", "add-group", "render", "1", "--option", "integer:n=2"}}) {
    add.insert(add.begin(), "--detailed-exitcodes");
    add.push_back("--if-not-exists");
    EXPECT_EQ(Run(add).exit_code, 8) << add[1];
    EXPECT_THAT(expect_untouched(add, "").out, StartsWith("unchanged: "));
    add.pop_back();
    EXPECT_EQ(Run(add).exit_code, 4) << add[1];
  }
  for (const std::vector<std::string>& set :
       {std::vector<std::string>{"--detailed-exitcodes", "priv", "set", "user1",
                                 "5", "3"},
        {"--detailed-exitcodes", "option", "set", "8192"},
        {"--detailed-exitcodes", "conn", "update", "pg", "--info2", "5432"},
        {"--detailed-exitcodes", "tempdir", "/srv/tmp"}}) {
    EXPECT_EQ(Run(set).exit_code, 8) << set[1];
    expect_untouched(set, "");
  }
  EXPECT_EQ(expect_untouched({"--detailed-exitcodes", "user", "passwd", "user1",
                              "--password-stdin"},
                             "pw1\n")
                .out,
            "unchanged: user 'user1' (ID 1) has that password\n");
}

TEST_F(ToolCommandsTest, PasswordIsNeverTakenFromAPipeWithoutTheFlag) {
  ToolResult r = Run({"user", "add", "bob"}, "secret\n");
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_THAT(r.err, HasSubstr("--password-stdin"));
  EXPECT_EQ(Json({"user", "list", "--json"}).size(), 0u);
}

TEST_F(ToolCommandsTest, UserCheckAcceptsOnlyTheStoredPassword) {
  AddUsers(2);
  EXPECT_EQ(
      Run({"user", "check", "user2", "--password-stdin"}, "pw2\n").exit_code,
      0);
  EXPECT_EQ(
      Run({"user", "check", "user2", "--password-stdin"}, "pw1\n").exit_code,
      1);
  EXPECT_EQ(
      Run({"user", "passwd", "user2", "--password-stdin"}, "new\n").exit_code,
      0);
  EXPECT_EQ(
      Run({"user", "check", "user2", "--password-stdin"}, "new\n").exit_code,
      0);
  EXPECT_EQ(
      Run({"user", "check", "user2", "--password-stdin"}, "pw2\n").exit_code,
      1);
}

TEST_F(ToolCommandsTest, PasswordOnStandardInputIsRefusedRatherThanCut) {
  const struct {
    std::string input;
    std::string says;
  } kCases[] = {
      {std::string("pw\0tail\n", 8), "holds a NUL byte"},
      {std::string(65, 'p') + "\n", "is 65 bytes in GBK; at most 64 fit"},
      // An endless input, as from /dev/zero, is not read to its end.
      {std::string(1 << 20, '\0'),
       "on standard input goes on past 257 bytes; at most 64"},
  };
  for (const auto& c : kCases) {
    const ToolResult r =
        Run({"user", "add", "bob", "--password-stdin"}, c.input);
    EXPECT_EQ(r.exit_code, 1) << c.says;
    EXPECT_THAT(r.err, HasSubstr("the password for 'bob' " + c.says));
  }
  EXPECT_EQ(Json({"user", "list", "--json"}).size(), 0u);
  // 64 bytes in the file: 32 characters, 96 bytes of UTF-8.
  std::string wide;
  for (int i = 0; i < 32; ++i) wide += "中";
  ASSERT_EQ(
      Run({"user", "add", "bob", "--password-stdin"}, wide + "\n").exit_code,
      0);
  EXPECT_EQ(
      Run({"user", "check", "bob", "--password-stdin"}, wide + "\n").exit_code,
      0);
}

TEST_F(ToolCommandsTest, ChangesWaitForTextsThatDecodeOrForceEncoding) {
  AddUsers(1);
  // 0x81 0x20 is no GBK character.
  PatchSlot<SVR_USER_REC>(Section::kUsers, 0, [](SVR_USER_REC& u) {
    std::memcpy(u.password, "\x81 Pw-88", 8);
  });
  const std::string before = FileBytes();
  ToolResult r = Run({"user", "add", "bob", "--password-stdin"}, "x\n");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err,
            "brellox: the text of user ID 1, field password does not "
            "decode in GBK; is --encoding right? (--force-encoding "
            "changes a file whose texts are mixed)\n");
  EXPECT_EQ(Run({"conn", "del", "1"}).exit_code, 1);
  EXPECT_EQ(FileBytes(), before);
  EXPECT_EQ(Run({"user", "list"}).exit_code, 0);  // reading is no change
  EXPECT_EQ(Run({"--force-encoding", "user", "add", "bob", "--no-password"})
                .exit_code,
            0);
  // The default file's option name is GBK, shown where it does not decode.
  r = Run({"--encoding", "UTF-8", "tempdir", "/tmp"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_THAT(r.err, HasSubstr("the global option, field name ('\\xb5\\xd8"));
}

TEST_F(ToolCommandsTest, UserListNeverShowsPasswords) {
  AddUsers(2);
  const auto users = Json({"user", "list", "--json"});
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[1]["id"], 2);
  EXPECT_EQ(users[1]["name"], "user2");
  EXPECT_FALSE(users[1].contains("password"));
  EXPECT_EQ(Run({"user", "list"}).out.find("pw"), std::string::npos);
}

TEST_F(ToolCommandsTest, UserDelByNameOrIdAndUnknownIdRefused) {
  AddUsers(3);
  EXPECT_EQ(Run({"user", "del", "user2"}).exit_code, 0);
  EXPECT_EQ(Run({"user", "del", "3"}).exit_code, 0);
  ToolResult r = Run({"user", "del", "3"});
  EXPECT_EQ(r.exit_code, 5);
  EXPECT_EQ(r.err, "brellox: no user with ID 3\n");
  const auto users = Json({"user", "list", "--json"});
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(users[0]["name"], "user1");
}

TEST_F(ToolCommandsTest, UserNameLongerThanItsFieldIsRefused) {
  EXPECT_EQ(
      Run({"user", "add", std::string(31, 'n'), "--no-password"}).exit_code, 1);
  EXPECT_EQ(
      Run({"user", "add", std::string(30, 'n'), "--no-password"}).exit_code, 0);
}

TEST_F(ToolCommandsTest, PrivilegesSetGetAndListPerUser) {
  AddUsers(2);
  EXPECT_EQ(Run({"priv", "set", "user1", "5", "3"}).exit_code, 0);
  EXPECT_EQ(Run({"priv", "set", "2", "5", "9"}).exit_code, 0);
  EXPECT_EQ(Run({"priv", "get", "user1", "5"}).out, "3\n");
  EXPECT_EQ(Run({"priv", "get", "user1", "6"}).out, "0\n");
  const auto privs = Json({"priv", "list", "user2", "--json"});
  ASSERT_EQ(privs.size(), 1u);
  EXPECT_EQ(privs[0]["value"], 9);
  EXPECT_EQ(Run({"priv", "set", "user1", "0", "1"}).exit_code, 1);
  EXPECT_EQ(Run({"priv", "set", "user1", "5", "-1"}).exit_code, 1);
  EXPECT_EQ(Run({"priv", "set", "nobody", "5", "1"}).exit_code, 5);
}

TEST_F(ToolCommandsTest, ConnectionsAddShowUpdateDelete) {
  ASSERT_EQ(Run({"conn", "add", "pg", "--info1", "db.local", "--info4", "x"})
                .exit_code,
            0);
  auto conn = Json({"conn", "show", "pg", "--json"});
  EXPECT_EQ(conn["id"], 2);
  EXPECT_EQ(conn["info1"], "db.local");
  EXPECT_EQ(conn["info4"], "x");
  EXPECT_EQ(
      Run({"conn", "update", "2", "--name", "pg2", "--info2", "y"}).exit_code,
      0);
  conn = Json({"conn", "show", "pg2", "--json"});
  EXPECT_EQ(conn["info1"], "db.local");
  EXPECT_EQ(conn["info2"], "y");
  EXPECT_EQ(Run({"conn", "del", "pg2"}).exit_code, 0);
  EXPECT_EQ(Json({"conn", "list", "--json"}).size(), 1u);
}

TEST_F(ToolCommandsTest, ConnectionNameClashesAreRefused) {
  ASSERT_EQ(Run({"conn", "add", "pg"}).exit_code, 0);
  ToolResult r = Run({"conn", "add", "KelmirLocal"});
  EXPECT_EQ(r.exit_code, 4);
  EXPECT_EQ(r.err, "brellox: connection 'KelmirLocal' already exists\n");
  EXPECT_EQ(Run({"conn", "update", "pg", "--name", "KelmirLocal"}).exit_code,
            4);
  EXPECT_EQ(Run({"conn", "add", "   "}).exit_code, 1);
  EXPECT_EQ(Run({"conn", "add", std::string(33, 'c')}).exit_code, 1);
  EXPECT_EQ(Run({"conn", "del", "nothere"}).exit_code, 5);
}

TEST_F(ToolCommandsTest, GdbLookupsBetweenIdAndAlias) {
  ASSERT_EQ(Run({"gdb", "add", "world", "--details", "0a0B"}).exit_code, 0);
  ASSERT_EQ(Run({"gdb", "add", "moon"}).exit_code, 0);
  EXPECT_EQ(Run({"gdb", "id", "moon"}).out, "2\n");
  EXPECT_EQ(Run({"gdb", "alias", "1"}).out, "world\n");
  EXPECT_EQ(Run({"gdb", "alias", "7"}).exit_code, 5);
  EXPECT_EQ(Run({"gdb", "id", "mars"}).exit_code, 5);
  EXPECT_EQ(Json({"gdb", "show", "world", "--json"})["details"], "0a0b");
  EXPECT_EQ(Run({"gdb", "update", "world", "--details", "zz"}).exit_code, 1);
  EXPECT_EQ(Run({"gdb", "update", "world", "--name", "moon"}).exit_code, 4);
  EXPECT_EQ(Run({"gdb", "del", "1"}).exit_code, 0);
  EXPECT_EQ(Json({"gdb", "list", "--json"})[0]["name"], "moon");
}

TEST_F(ToolCommandsTest, OptionSetParsesTheValueByTheStoredType) {
  EXPECT_EQ(Run({"option", "set", "8192"}).exit_code, 0);
  EXPECT_EQ(Json({"option", "get", "--json"})["value"], 8192);
  ToolResult r = Run({"option", "set", "lots"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_THAT(r.err, HasSubstr("is not a 32-bit integer"));
  EXPECT_EQ(Run({"option", "set", "4294967296"}).exit_code, 1);
  EXPECT_EQ(Json({"option", "get", "--json"})["value"], 8192);
}

TEST_F(ToolCommandsTest, OptionGroupsOfEveryValueType) {
  ASSERT_EQ(Run({"option", "add-group", "render", "3", "--option",
                 "text:dir=/srv", "--option", "double:scale=0.5", "--option",
                 "block:key=ff01", "--description", "where tiles go"})
                .exit_code,
            0);
  EXPECT_EQ(Run({"option", "add-group", "render", "3", "--option", "text:a=b"})
                .exit_code,
            4);
  const std::vector<std::string> slot = {"--group", "render", "--type", "3",
                                         "--index"};
  auto set = [&](const std::string& value, const std::string& index) {
    std::vector<std::string> args = {"option", "set", value};
    args.insert(args.end(), slot.begin(), slot.end());
    args.push_back(index);
    return Run(args).exit_code;
  };
  EXPECT_EQ(set("/var/tiles", "0"), 0);
  EXPECT_EQ(set("2.25", "1"), 0);
  EXPECT_EQ(set("not-a-number", "1"), 1);
  EXPECT_EQ(set("00112233", "2"), 0);
  EXPECT_EQ(set(std::string(258, 'a'), "2"), 1);
  EXPECT_EQ(set("x", "6"), 1);
  const auto groups = Json({"option", "list", "--json"})["optionGroups"];
  ASSERT_EQ(groups.size(), 1u);
  const auto& options = groups[0]["options"];
  ASSERT_EQ(options.size(), 6u);
  EXPECT_EQ(options[0]["value"], "/var/tiles");
  EXPECT_EQ(options[0]["description"], "where tiles go");
  EXPECT_EQ(options[1]["value"], 2.25);
  EXPECT_EQ(options[2]["value"], "00112233");
  EXPECT_EQ(
      Run({"option", "get", "--group", "render", "--type", "4"}).exit_code, 5);
}

TEST_F(ToolCommandsTest, TempDirSetAndRead) {
  // A directory of another machine is stored, with a warning.
  ToolResult r = Run({"tempdir", "/var/tmp/gdb"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err,
            "brellox: warning: '/var/tmp/gdb' does not exist on this "
            "machine; stored anyway\n");
  EXPECT_EQ(Run({"tempdir"}).out, "/var/tmp/gdb\n");
  r = Run({"tempdir", dir_.path().string()});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
  ASSERT_EQ(Run({"tempdir", "/var/tmp/gdb"}).exit_code, 0);
  EXPECT_EQ(Run({"tempdir", std::string(128, 't')}).exit_code, 1);
  EXPECT_EQ(Run({"tempdir"}).out, "/var/tmp/gdb\n");
}

TEST_F(ToolCommandsTest, LayoutFollowsTableGrowth) {
  AddUsers(3);
  const auto layout = Json({"layout", "--json"});
  EXPECT_EQ(layout["fileSize"], 1901);
  EXPECT_EQ(layout["sections"][2]["offset"], 1477);
  EXPECT_EQ(layout["sections"][2]["capacity"], 4);
  EXPECT_EQ(layout["sections"][2]["freeSlots"], 1);
  EXPECT_EQ(layout["sections"][3]["offset"], 1877);
  EXPECT_EQ(layout["sections"][4]["offset"], 1901);
  EXPECT_EQ(layout["headerCheck"], "ok");
}

TEST_F(ToolCommandsTest, ShowJsonHoldsEveryTableButNoPassword) {
  AddUsers(1);
  const auto show = Json({"show", "--json"});
  EXPECT_EQ(show["connections"][0]["name"], "KelmirLocal");
  EXPECT_EQ(show["users"][0]["name"], "user1");
  EXPECT_FALSE(show["users"][0].contains("password"));
  EXPECT_EQ(show["globalOption"]["value"], 4096);
}

TEST_F(ToolCommandsTest, DefaultOptionNameShowsAsChinese) {
  const ToolResult r = Run({"show"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_THAT(r.out, HasSubstr("地理数据库可用内存页数"));
}

TEST_F(ToolCommandsTest, NonAsciiNameRoundTripsThroughGbk) {
  ASSERT_EQ(Run({"user", "add", "张三", "--no-password"}).exit_code, 0);
  // The file holds the name's GBK bytes, not its UTF-8 ones.
  EXPECT_NE(FileBytes().find("\xd5\xc5\xc8\xfd"), std::string::npos);
  EXPECT_EQ(FileBytes().find("张三"), std::string::npos);
  EXPECT_EQ(Json({"user", "list", "--json"})[0]["name"], "张三");
  EXPECT_EQ(Run({"user", "del", "张三"}).exit_code, 0);
  // A name that GBK cannot write is refused, not mangled.
  EXPECT_EQ(Run({"user", "add", "\xf0\x9f\x98\x80", "--no-password"}).exit_code,
            1);
}

}  // namespace
}  // namespace test
}  // namespace brellox
