// export and import: a full backup restores the configuration exactly.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/tools/tool_fixture.h"

namespace brellox {
namespace test {
namespace {

using ::testing::HasSubstr;

class ToolBackupTest : public ToolFixture {
 protected:
  // A configuration touching every table, with removals so that IDs and
  // counters have gaps, and texts that need the code page.
  void BuildRichConfiguration() const {
    AddUsers(3);
    const std::vector<std::vector<std::string>> steps = {
        {"user", "add", "李四", "--no-password"},
        {"priv", "set", "user2", "1", "0"},
        {"user", "del", "user2", "--keep-privileges"},
        {"priv", "set", "user1", "4", "2"},
        {"conn", "add", "pg", "--info1", "host", "--info3", "库"},
        {"conn", "add", "tmp"},
        {"conn", "del", "tmp"},
        {"gdb", "add", "world", "--details", "00ff00"},
        {"option", "set", "123"},
        {"option", "add-group", "render", "2", "--option", "text:dir=/srv",
         "--option", "double:scale=-0.125", "--option", "block:k=0102"},
        {"tempdir", "/var/tmp"},
    };
    for (const auto& step : steps) {
      const ToolResult r = Run(step);
      ASSERT_EQ(r.exit_code, 0) << step[0] << " " << step[1] << ": " << r.err;
    }
  }

  ToolResult ImportInto(const std::filesystem::path& target,
                        const std::string& backup,
                        std::vector<std::string> extra = {}) const {
    const std::filesystem::path file = dir_.path() / "backup.json";
    WriteBytes(file, backup);
    std::vector<std::string> args = {"import", file.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunOn(target, args);
  }
};

TEST_F(ToolBackupTest, ExportImportExportGivesTheSameJsonAndBytes) {
  BuildRichConfiguration();
  const ToolResult first = Run({"export", "--with-passwords"});
  ASSERT_EQ(first.exit_code, 0) << first.err;
  const std::filesystem::path restored = dir_.path() / "restored.CFG";
  const ToolResult imported = ImportInto(restored, first.out);
  ASSERT_EQ(imported.exit_code, 0) << imported.err;
  const ToolResult second = RunOn(restored, {"export", "--with-passwords"});
  EXPECT_EQ(second.out, first.out);
  EXPECT_EQ(ReadBytes(restored), FileBytes());
}

TEST_F(ToolBackupTest, BackupKeepsIdsCountersAndPasswords) {
  BuildRichConfiguration();
  const auto backup = Json({"export", "--with-passwords"});
  EXPECT_EQ(backup["lastUserID"], 4);
  EXPECT_EQ(backup["lastConnID"], 3);
  ASSERT_EQ(backup["users"].size(), 3u);
  EXPECT_EQ(backup["users"][1]["id"], 3);
  EXPECT_EQ(backup["users"][1]["password"], "pw3");
  EXPECT_EQ(backup["users"][2]["name"], "李四");
  EXPECT_EQ(backup["optionGroups"][0]["options"][1]["value"], -0.125);
  EXPECT_FALSE(Json({"export"})["users"][0].contains("password"));
  // A restored file issues the next IDs where the original left off.
  const std::filesystem::path restored = dir_.path() / "restored.CFG";
  ASSERT_EQ(ImportInto(restored, backup.dump()).exit_code, 0);
  const ToolResult added =
      RunOn(restored, {"user", "add", "next", "--no-password"});
  EXPECT_THAT(added.out, HasSubstr("with ID 5"));
}

TEST_F(ToolBackupTest, ImportRefusesToReplaceAFileWithoutForce) {
  const std::string backup = Run({"export"}).out;
  const std::string before = FileBytes();
  ToolResult r = ImportInto(path(), backup);
  EXPECT_EQ(r.exit_code, 4);
  EXPECT_THAT(r.err, HasSubstr("already exists"));
  EXPECT_EQ(FileBytes(), before);
  EXPECT_EQ(ImportInto(path(), backup, {"--force"}).exit_code, 0);
}

TEST_F(ToolBackupTest, ImportRefusesABackupThatWouldFailTheCheck) {
  AddUsers(2);
  auto backup = Json({"export", "--with-passwords"});
  backup["users"][1]["id"] = 1;
  const std::filesystem::path target = dir_.path() / "new.CFG";
  ToolResult r = ImportInto(target, backup.dump());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "brellox: users[1].id: ID 1 is used by an earlier record\n");
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_EQ(ImportInto(target, "{not json").exit_code, 1);
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(ToolBackupTest, ImportRefusesAValueThatDoesNotFitItsType) {
  auto backup = Json({"export"});
  backup["globalOption"]["value"] = "many";
  const std::filesystem::path target = dir_.path() / "new.CFG";
  EXPECT_EQ(ImportInto(target, backup.dump()).exit_code, 1);
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(ToolBackupTest, ImportRefusesAnotherCodePageThanTheExports) {
  const std::string backup = Run({"--encoding", "UTF-8", "export"}).out;
  const std::filesystem::path target = dir_.path() / "new.CFG";
  ToolResult r = ImportInto(target, backup);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_THAT(r.err, HasSubstr("import with --encoding \"UTF-8\""));
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_EQ(RunOn(target, {"--encoding", "UTF-8", "import",
                           (dir_.path() / "backup.json").string()})
                .exit_code,
            0);
}

TEST_F(ToolBackupTest, ExportToAFileWritesWhatStdoutWould) {
  AddUsers(1);
  const std::filesystem::path file = dir_.path() / "out.json";
  ASSERT_EQ(Run({"export", "-o", file.string()}).exit_code, 0);
  EXPECT_EQ(ReadBytes(file), Run({"export"}).out);
  // An existing file only with --force; the configuration file, or its
  // journal, by whatever name, never.
  ASSERT_EQ(Run({"user", "add", "extra", "--no-password"}).exit_code, 0);
  ToolResult r = Run({"export", "-o", file.string()});
  EXPECT_EQ(r.exit_code, 4);
  EXPECT_THAT(r.err, HasSubstr("already exists; pass --force"));
  ASSERT_EQ(Run({"export", "-o", file.string(), "--force"}).exit_code, 0);
  EXPECT_EQ(ReadBytes(file), Run({"export"}).out);
  const std::filesystem::path link = dir_.path() / "link.CFG";
  std::filesystem::create_symlink(path(), link);
  WriteBytes(path().string() + "-journal", "");
  const std::string before = FileBytes();
  for (const std::string& own :
       {path().string(), link.string(), path().string() + "-journal"}) {
    r = Run({"export", "--force", "-o", own});
    EXPECT_EQ(r.exit_code, 1) << own;
    EXPECT_THAT(r.err,
                HasSubstr("configuration file being exported; name another"))
        << own;
  }
  EXPECT_EQ(FileBytes(), before);
}

TEST_F(ToolBackupTest, MissingCountersAndCapacitiesAreWorkedOut) {
  auto backup = Json({"export"});
  backup.erase("lastUserID");
  backup.erase("capacity");
  backup["users"] = nlohmann::ordered_json::array(
      {{{"id", 5}, {"name", "a"}, {"password", "x"}},
       {{"id", 7}, {"name", "b"}, {"password", "y"}},
       {{"id", 9}, {"name", "c"}, {"password", "z"}}});
  const std::filesystem::path target = dir_.path() / "new.CFG";
  ASSERT_EQ(ImportInto(target, backup.dump()).exit_code, 0);
  const auto layout =
      nlohmann::ordered_json::parse(RunOn(target, {"layout", "--json"}).out);
  EXPECT_EQ(layout["lastUserID"], 9);
  EXPECT_EQ(layout["sections"][2]["capacity"], 4);
  EXPECT_EQ(RunOn(target, {"check"}).exit_code, 0);
  EXPECT_THAT(RunOn(target, {"user", "add", "d", "--no-password"}).out,
              HasSubstr("with ID 10"));
}

TEST_F(ToolBackupTest, UnconvertibleBytesTravelAsHex) {
  // 0x81 0x20 is no GBK character: the name must survive as raw bytes.
  PatchSlot<SVC_GDB_CONN_INFO>(Section::kConns, 0, [](SVC_GDB_CONN_INFO& c) {
    std::memset(c.name, 0, sizeof(c.name));
    std::memcpy(c.name, "\x81 x", 3);
  });
  const auto backup = Json({"export"});
  EXPECT_EQ(backup["connections"][0]["name"]["hex"], "812078");
  const std::filesystem::path target = dir_.path() / "new.CFG";
  ASSERT_EQ(ImportInto(target, backup.dump()).exit_code, 0);
  EXPECT_EQ(ReadBytes(target), FileBytes());
}

}  // namespace
}  // namespace test
}  // namespace brellox
