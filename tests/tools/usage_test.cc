// The tool's answers to mistakes on the command line: exit 2, one line in
// its own words naming what is wrong, never a password given by mistake.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/tools/tool_fixture.h"

namespace brellox {
namespace test {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;
using ::testing::StartsWith;

class ToolUsageTest : public ToolFixture {};

TEST_F(ToolUsageTest, EachMistakeGetsItsOwnLineAndExitTwo) {
  const struct {
    std::vector<std::string> args;
    std::string says;
  } kCases[] = {
      {{"user", "lsit"}, "unknown user command 'lsit'; did you mean 'list'?"},
      {{"shwo"}, "unknown command 'shwo'; did you mean 'show'?"},
      {{"frobnicate"}, "unknown command 'frobnicate'; the commands are show,"},
      {{"user", "add", "bob", "--password", "s3cret"}, "--password-stdin"},
      {{"user", "add", "bob", "--password=s3cret"},
       "never taken on the command"},
      {{"user", "add", "bob", "s3cret"},
       "user add got more arguments than it takes"},
      {{"user", "add", "bob", "--pasword-stdin"},
       "unknown option '--pasword-stdin' for user add; did you mean "
       "'--password-stdin'?"},
      {{"--confg", "other.CFG", "show"},
       "unknown option '--confg' for brellox; did you mean '--config'?"},
      {{"user", "add", "bob", "--frobnicate=s3cret"},
       "unknown option '--frobnicate' for user add; its options are "
       "--password-stdin, --no-password"},
      {{"conn", "add", "pg", "--info1", "--x", "--inf5", "y"},
       "unknown option '--inf5' for conn add; did you mean '--info1'?"},
      {{"help", "shwo"}, "unknown command 'shwo'; did you mean 'show'?"},
      {{"priv", "set", "5", "bob", "3"},
       "privilege ID 'bob' is not a 32-bit integer"},
      {{"priv", "set", "5", "1", "x"},
       "privilege value 'x' is not a 32-bit integer"},
      {{"option", "set", "1", "--index", "one"},
       "option index 'one' is not a 32-bit"},
      {{"gdb", "alias", "first"}, "GDB ID 'first' is not a 32-bit integer"},
      {{"--config", "other.CFG", "show"}, "--config is given more than once"},
      {{"user", "add"}, "user add needs NAME"},
      {{"user"}, "user needs a command: add, list, del, passwd, check"},
      {{}, "name a command: show, layout, check"},
      {{"--encoding", "NO-SUCH-CODEPAGE", "show"}, "unknown encoding"},
      {{"--encoding", "UTF-16", "show"},
       "'UTF-16' does not write ASCII as itself"},
      {{"--encoding", "UTF-32LE", "show"}, "'UTF-32LE' does not write ASCII"},
      {{"--encoding", "UCS-2", "show"}, "'UCS-2' does not write ASCII"},
      {{"user", "add", "bob"},
       "give the password for 'bob' with --password-stdin"},
  };
  const std::string before = FileBytes();
  for (const auto& c : kCases) {
    const ToolResult r = Run(c.args);
    const std::string shown = ::testing::PrintToString(c.args);
    EXPECT_EQ(r.exit_code, 2) << shown << r.err;
    EXPECT_EQ(r.ErrLines(), 1) << shown << r.err;
    EXPECT_THAT(r.err, HasSubstr(c.says)) << shown;
    EXPECT_THAT(r.err, Not(HasSubstr("s3cret"))) << shown;
    EXPECT_EQ(r.out, "") << shown;
  }
  EXPECT_EQ(FileBytes(), before);
}

// With --json a failure of any kind is one JSON object on stderr: its exit
// code, the kind's name, and the line that would be printed otherwise.
TEST_F(ToolUsageTest, JsonFailuresCarryTheExitCodeAndKind) {
  AddUsers(1);
  const std::filesystem::path missing = dir_.path() / "none.CFG";
  const struct {
    std::filesystem::path file;
    std::vector<std::string> args;
    int code;
    std::string result;
  } kCases[] = {
      {path(), {"option", "set", "lots"}, 1, "refused"},
      {path(), {"shwo"}, 2, "usage"},
      {missing, {"show"}, 3, "file missing"},
      {path(), {"user", "add", "user1", "--no-password"}, 4, "already exists"},
      {path(), {"user", "del", "bob"}, 5, "not found"},
      {path(), {"--wait", "soon", "show"}, 2, "usage"},
  };
  for (const auto& c : kCases) {
    const ToolResult plain = RunOn(c.file, c.args);
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "--json");
    const ToolResult r = RunOn(c.file, args);
    const std::string shown = ::testing::PrintToString(args);
    EXPECT_EQ(r.exit_code, c.code) << shown << r.err;
    EXPECT_EQ(plain.exit_code, c.code) << shown << plain.err;
    ASSERT_EQ(r.ErrLines(), 1) << shown << r.err;
    const auto error = nlohmann::json::parse(r.err);
    EXPECT_EQ(error["code"], c.code) << shown;
    EXPECT_EQ(error["result"], c.result) << shown;
    EXPECT_THAT(plain.err,
                StartsWith("brellox: " + error["message"].get<std::string>()))
        << shown;
  }
}

TEST_F(ToolUsageTest, VersionAndHelpOfACommand) {
  const ToolResult version = Run({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_THAT(version.out, MatchesRegex("brellox [0-9]+\\.[0-9]+\\.[0-9]+\n"));
  const ToolResult help = Run({"user", "add", "--help"});
  EXPECT_EQ(help.exit_code, 0);
  for (const char* text : {"--password-stdin", "--config PATH", "--encoding",
                           "--version", "Exit codes: 0 done", "3 the file"}) {
    EXPECT_THAT(help.out, HasSubstr(text));
  }
  EXPECT_THAT(help.out, HasSubstr("/share/doc/brellox."));
  // `help COMMAND` is the command's --help, global options before it too.
  EXPECT_EQ(Run({"help", "user", "add"}).out, help.out);
  const ToolResult top = Run({"--encoding", "GBK", "help"});
  EXPECT_EQ(top.exit_code, 0);
  EXPECT_THAT(top.out, HasSubstr("brellox help COMMAND"));
}

}  // namespace
}  // namespace test
}  // namespace brellox
