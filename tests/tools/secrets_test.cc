// Passwords stay secret: every file the tool writes that may hold them is
// its owner's alone, no output or message shows one, temporary files never
// touch a neighbour, and a backup without passwords is not restored as
// empty ones by accident.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/tools/tool_fixture.h"

namespace brellox {
namespace test {
namespace {

using ::testing::HasSubstr;

namespace fs = std::filesystem;

constexpr char kSecret[] = "Qz7#Wx-v4Lp";

unsigned Mode(const fs::path& file) {
  struct stat st;
  EXPECT_EQ(stat(file.c_str(), &st), 0) << file;
  return st.st_mode & 0777;
}

ino_t Inode(const fs::path& file) {
  struct stat st;
  EXPECT_EQ(stat(file.c_str(), &st), 0) << file;
  return st.st_ino;
}

class ToolSecretsTest : public ToolFixture {
 protected:
  ToolSecretsTest() { umask(022); }

  void AddSecretUser() const {
    const ToolResult r = Run({"user", "add", "alice", "--password-stdin"},
                             std::string(kSecret) + "\n");
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }

  // Fails when any 4 characters in a row of the password appear in `text`.
  static void ExpectNoPart(const std::string& text, const std::string& what) {
    const std::string secret = kSecret;
    for (std::size_t i = 0; i + 4 <= secret.size(); ++i) {
      EXPECT_EQ(text.find(secret.substr(i, 4)), std::string::npos)
          << what << " shows part of the password: " << text;
    }
  }
};

TEST_F(ToolSecretsTest, FilesHoldingPasswordsAreTheOwnersOnly) {
  AddSecretUser();
  const fs::path backup = dir_.path() / "full.json";
  ASSERT_EQ(
      Run({"export", "--with-passwords", "-o", backup.string()}).exit_code, 0);
  EXPECT_EQ(Mode(backup), 0600u);

  const fs::path restored = dir_.path() / "restored.CFG";
  ASSERT_EQ(RunOn(restored, {"import", backup.string()}).exit_code, 0);
  EXPECT_EQ(Mode(restored), 0600u);

  const fs::path fresh = dir_.path() / "fresh.CFG";
  ASSERT_EQ(Run({"init", fresh.string()}).exit_code, 0);
  EXPECT_EQ(Mode(fresh), 0600u);

  // Replacing a configuration rewrites it in place: the same file, with the
  // access its administrator gave it, and the new contents.
  fs::permissions(fresh, fs::perms(0640));
  const ino_t inode = Inode(fresh);
  ASSERT_EQ(RunOn(fresh, {"import", "--force", backup.string()}).exit_code, 0);
  EXPECT_EQ(Mode(fresh), 0640u);
  EXPECT_EQ(Inode(fresh), inode);
  EXPECT_EQ(ReadBytes(fresh), FileBytes());
}

TEST_F(ToolSecretsTest, NoOutputOrMessageShowsAPassword) {
  AddSecretUser();
  const std::string other = (dir_.path() / "other.CFG").string();
  ASSERT_EQ(Run({"init", other}).exit_code, 0);
  ASSERT_EQ(RunOn(other, {"user", "add", "alice", "--password-stdin"}, "else\n")
                .exit_code,
            0);
  auto too_long = Json({"export", "--with-passwords"});
  too_long["users"][0]["password"] =
      std::string(kSecret) + std::string(60, 'x');
  WriteBytes(dir_.path() / "long.json", too_long.dump());
  auto broken = std::string(Run({"export", "--with-passwords"}).out);
  broken.insert(broken.find(kSecret), "\\q");  // an invalid escape next to it
  WriteBytes(dir_.path() / "broken.json", broken);

  const std::vector<std::pair<std::vector<std::string>, std::string>> kRuns = {
      {{"show"}, ""},
      {{"show", "--json"}, ""},
      {{"user", "list", "--json"}, ""},
      {{"export"}, ""},
      {{"check"}, ""},
      {{"layout"}, ""},
      {{"user", "check", "alice", "--password-stdin"},
       std::string(kSecret) + "!\n"},
      {{"user", "passwd", "alice", "--password-stdin"},
       std::string(kSecret) + "\n"},
      {{"user", "add", "bob", "--password-stdin"},
       std::string(kSecret) + "\xf0\x9f\x98\x80\n"},
      {{"user", "add", "carol", "--password-stdin"},
       std::string(kSecret) + std::string(60, 'y') + "\n"},
      {{"user", "add", "dave", kSecret}, ""},
      {{"diff", path().string(), other}, ""},
      {{"diff", path().string(), other, "--json"}, ""},
      {{"import", "--dry-run", (dir_.path() / "long.json").string()}, ""},
      {{"import", "--dry-run", (dir_.path() / "broken.json").string()}, ""},
  };
  for (const auto& run : kRuns) {
    const ToolResult r = Run(run.first, run.second);
    const std::string what = ::testing::PrintToString(run.first);
    ExpectNoPart(r.out, what + " output");
    ExpectNoPart(r.err, what + " message");
    EXPECT_LE(r.ErrLines(), 1) << what;
  }
  EXPECT_THAT(Run({"export", "--with-passwords"}).out, HasSubstr(kSecret));
}

TEST_F(ToolSecretsTest, TemporaryNamesNeverTouchAnotherFile) {
  AddSecretUser();
  const fs::path out = dir_.path() / "out";
  fs::create_directory(out);
  // Names an editor or an earlier writer might have left beside the target.
  const std::vector<std::string> neighbours = {
      "b.jso~",        "b.json~",     "b.json.tmp",
      "b.json.new",    ".b.json.swp", "b.json.000000000000",
      "b.json-journal"};
  for (const std::string& name : neighbours) WriteBytes(out / name, name);
  ASSERT_EQ(Run({"export", "-o", (out / "b.json").string()}).exit_code, 0);
  ASSERT_EQ(
      Run({"export", "--force", "-o", (out / "b.json").string()}).exit_code, 0);
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(out)) {
    ++files;
    const std::string name = entry.path().filename().string();
    if (name != "b.json") {
      EXPECT_EQ(ReadBytes(entry.path()), name);
    }
  }
  EXPECT_EQ(files, neighbours.size() + 1);
}

TEST_F(ToolSecretsTest, BackupWithoutPasswordsNeedsConsentToEmptyThem) {
  AddSecretUser();
  const fs::path backup = dir_.path() / "names-only.json";
  ASSERT_EQ(Run({"export", "-o", backup.string()}).exit_code, 0);
  const fs::path target = dir_.path() / "new.CFG";
  const ToolResult refused = RunOn(target, {"import", backup.string()});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_THAT(refused.err, HasSubstr("users[0]: has no \"password\""));
  EXPECT_THAT(refused.err, HasSubstr("--allow-empty-passwords"));
  EXPECT_FALSE(fs::exists(target));
  ASSERT_EQ(
      RunOn(target, {"import", "--allow-empty-passwords", backup.string()})
          .exit_code,
      0);
  EXPECT_EQ(RunOn(target, {"user", "check", "alice", "--password-stdin"}, "\n")
                .exit_code,
            0);
}

}  // namespace
}  // namespace test
}  // namespace brellox
