// The desired state read from JSON and brought about in one call
// (src/state): the strict reader's refusals and their paths, password
// references read through the Env and never shown, and the apply flow's
// steps, hooks and report.
#include "src/state/apply.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "src/state/backup_image.h"
#include "src/state/json_reader.h"
#include "src/state/password_refs.h"
#include "src/users/users.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

using json = nlohmann::ordered_json;

// Variables served by the Env alone: the process's environment lacks them.
class VariablesEnv : public FaultEnv {
 public:
  explicit VariablesEnv(Env* base) : FaultEnv(base) {}
  bool Variable(const std::string& name, std::string* value) override {
    const auto found = variables.find(name);
    if (found == variables.end()) return false;
    *value = found->second;
    return true;
  }
  std::map<std::string, std::string> variables;
};

class StateTest : public StoreFixture {
 protected:
  StateTest() : codec_("GBK"), variables_(Env::Default()) {}

  Store VariableStore() { return Store{&variables_, path().string()}; }

  Status Apply(const std::string& text, state::ApplyOptions options,
               state::ApplyOutcome* outcome) {
    return state::ApplyJsonText(VariableStore(), text, codec_, options,
                                outcome);
  }

  const state::Codec codec_;
  VariablesEnv variables_;
};

TEST_F(StateTest, StrictJsonRefusesWhatAnExportNeverWritesNamingWhere) {
  json value;
  std::size_t at = 0;
  Status s = state::ParseStrictJson(R"({"users": [{"name": "a", "name": "b"}]})",
                                    &value, &at);
  EXPECT_TRUE(s.IsRefused());
  EXPECT_EQ(s.message(), "users[0].name: the key appears twice in its object");
  s = state::ParseStrictJson(R"({"gdbs": [1e400]})", &value, &at);
  EXPECT_EQ(s.message(), "gdbs[0]: is a number too large for any field");
  // Cut short: it stops at the end, one past the last byte.
  const std::string cut = "{\"a\": [1,";
  s = state::ParseStrictJson(cut, &value, &at);
  EXPECT_TRUE(s.IsInvalidArgument());
  EXPECT_EQ(at, cut.size() + 1);
  EXPECT_EQ(s.message(),
            "is not valid JSON (at byte " + std::to_string(at) + ")");
  s = state::ParseStrictJson("[1, }", &value, &at);
  EXPECT_EQ(at, 5u);
  ASSERT_TRUE(state::ParseStrictJson(R"({"b": 1, "a": [true]})", &value, &at)
                  .ok());
  EXPECT_EQ(value.dump(), R"({"b":1,"a":[true]})");
  // An object of many keys keeps their order and still finds a repeat,
  // however far apart, nested in a list of them.
  std::string many = "{";
  for (int i = 0; i < 40; ++i) many += "\"k" + std::to_string(i) + "\": [{}],";
  ASSERT_TRUE(state::ParseStrictJson("[" + many + "\"z\": 1}]", &value, &at)
                  .ok());
  EXPECT_EQ(value[0].size(), 41u);
  EXPECT_EQ(value[0].begin().key(), "k0");
  EXPECT_EQ(value[0]["k39"], json::parse("[{}]"));
  for (const char* repeat : {"k3", "k39"}) {
    s = state::ParseStrictJson(
        "[0, " + many + "\"" + repeat + "\": 1}]", &value, &at);
    EXPECT_EQ(s.message(), "[1]." + std::string(repeat) +
                               ": the key appears twice in its object");
  }
}

TEST_F(StateTest, AnExportsFirstFaultIsTheOneNamed) {
  // Three faults: the first in reading order is the one told, and nothing
  // after it (the password) is shown.
  const json backup = json::parse(R"({"formatVersion": 1,
      "globalOption": {"type": "integer", "value": 1},
      "users": [{"id": 1, "name": "a", "password": "first-secret"},
                {"id": 1, "name": "b", "password": "x"},
                {"id": 2, "name": " ", "password": "y"}]})");
  std::string image;
  Status s = state::ImageFromJson(backup, codec_, state::ImportRules(), &image);
  EXPECT_EQ(s.message(), "users[2].name: is blank");
  json fixed = backup;
  fixed["users"][2]["name"] = "c";
  s = state::ImageFromJson(fixed, codec_, state::ImportRules(), &image);
  EXPECT_EQ(s.message(), "users[1].id: ID 1 is used by an earlier record");
  EXPECT_EQ(s.message().find("secret"), std::string::npos);
  // Bytes as hex: each fault named where it is.
  for (const auto& bad :
       {std::make_pair("0a0", "gdbs[0].details: has an odd number of hex digits"),
        std::make_pair("0g", "gdbs[0].details: holds a character that is not hex")}) {
    json with_gdb = backup;
    with_gdb["gdbs"] = {{{"id", 1}, {"name", "g"}, {"details", bad.first}}};
    EXPECT_EQ(state::ImageFromJson(with_gdb, codec_, state::ImportRules(),
                                   &image)
                  .message(),
              bad.second);
  }
  fixed["users"][1]["id"] = 2;
  fixed["users"][2]["id"] = 3;
  EXPECT_TRUE(
      state::ImageFromJson(fixed, codec_, state::ImportRules(), &image).ok());
  FileTables tables;
  ASSERT_TRUE(DecodeImage(image, &tables).ok());
  EXPECT_EQ(tables.users.size(), 3u);
  EXPECT_EQ(tables.header.lastUserID, 3);
}

TEST_F(StateTest, ReferencesAreReadThroughTheEnvAndNeverShown) {
  variables_.variables["PW"] = "env-secret\r\nsecond line";
  variables_.variables["LONG"] = std::string(300, 's');
  json state = json::parse(
      R"({"users": [{"name": "a", "password": {"env": "PW"}}]})");
  ASSERT_TRUE(state::ResolvePasswordReferences(&variables_, &state).ok());
  EXPECT_EQ(state["users"][0]["password"], "env-secret");

  state = json::parse(
      R"({"users": [{"name": "a", "password": {"env": "LONG"}}]})");
  Status s = state::ResolvePasswordReferences(&variables_, &state);
  EXPECT_TRUE(s.IsRefused());
  EXPECT_NE(s.message().find("users[0].password (env 'LONG'): the first line"),
            std::string::npos)
      << s.message();
  EXPECT_EQ(s.message().find("sss"), std::string::npos);
  // The process's own environment is not asked.
  state = json::parse(
      R"({"users": [{"name": "a", "password": {"env": "PATH"}}]})");
  EXPECT_EQ(state::ResolvePasswordReferences(&variables_, &state).message(),
            "users[0].password (env 'PATH'): is not set");

  const std::filesystem::path file = dir_.path() / "pw";
  WriteBytes(file, "file-secret\n");
  std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::group_read);
  const json by_file = {{"users",
                         {{{"name", "a"},
                           {"password", {{"file", file.string()}}}}}}};
#ifndef _WIN32
  // The permission bits speak only on POSIX; on Windows the access list
  // rules, which the file takes from its folder.
  state = by_file;
  s = state::ResolvePasswordReferences(&variables_, &state);
  EXPECT_NE(s.message().find("(chmod 600)"), std::string::npos) << s.message();
  EXPECT_EQ(s.message().find("file-secret"), std::string::npos);
#endif
  std::filesystem::permissions(file, std::filesystem::perms::owner_read);
  state = by_file;
  ASSERT_TRUE(state::ResolvePasswordReferences(&variables_, &state).ok());
  EXPECT_EQ(state["users"][0]["password"], "file-secret");
  // A file that is not there fails as the Env says, naming the reference.
  state = by_file;
  state["users"][0]["password"]["file"] = (dir_.path() / "none").string();
  EXPECT_NE(state::ResolvePasswordReferences(&variables_, &state)
                .message()
                .find("users[0].password (file '"),
            std::string::npos);
}

TEST_F(StateTest, ApplyReadsPlansChecksCarriesAndCommitsOnce) {
  variables_.variables["PW"] = "s3cret";
  const std::string text = R"({"users": [{"name": "ann",
      "password": {"env": "PW"}}], "tempDir": "/srv/tmp"})";
  const std::string before = FileBytes();
  state::ApplyOptions options;
  state::ApplyOutcome outcome;

  // A dry run: the changes, nothing written.
  options.dry_run = true;
  ASSERT_TRUE(Apply(text, options, &outcome).ok());
  EXPECT_FALSE(outcome.changed);
  EXPECT_FALSE(outcome.wrote);
  EXPECT_EQ(outcome.changes.size(), 2u);
  EXPECT_EQ(FileBytes(), before);
  EXPECT_EQ(state::ApplyReport(outcome, true).dump(),
            R"({"changed":false,"dryRun":true,"changes":[)"
            R"({"change":"changed","record":"header","field":"tempDir",)"
            R"("from":"","to":"/srv/tmp"},)"
            R"({"change":"added","record":"user 'ann'"}]})");

  // The caller's check runs under the lock, after the plan, and stops it.
  options.dry_run = false;
  int checks = 0;
  options.check = [&](const desired::DesiredState&, const FileTables& file,
                      const desired::Plan& plan, bool writing) {
    ++checks;
    EXPECT_TRUE(writing);
    EXPECT_EQ(file.users.size(), 0u);
    EXPECT_EQ(plan.changes().size(), 2u);
    return Status::Refused("not tonight");
  };
  Status s = Apply(text, options, &outcome);
  EXPECT_EQ(s.message(), "not tonight");
  EXPECT_EQ(outcome.failed_at, state::ApplyStep::kCheck);
  EXPECT_EQ(checks, 1);
  EXPECT_EQ(FileBytes(), before);

  // The fingerprint is that of the tables the plan was made from.
  FileTables read;
  {
    ConfigSession session;
    ASSERT_TRUE(session.Open(store(), Access::kRead).ok());
    ASSERT_TRUE(ReadTables(session, &read).ok());
  }
  options.check = nullptr;
  options.fingerprint = true;
  ASSERT_TRUE(Apply(text, options, &outcome).ok());
  EXPECT_TRUE(outcome.changed);
  EXPECT_TRUE(outcome.wrote);
  EXPECT_TRUE(desired::FingerprintDifferences(desired::FingerprintOf(read),
                                              outcome.fingerprint)
                  .empty());
  {
    ConfigSession session;
    ASSERT_TRUE(session.Open(store(), Access::kRead).ok());
    SVR_USER_REC ann{};
    ASSERT_TRUE(FindUserByName(session, "ann", &ann).ok());
    EXPECT_TRUE(CheckUser(session, "ann", "s3cret").ok());
  }

  // Again: nothing to change, nothing written, not even the journal.
  const std::string after = FileBytes();
  ASSERT_TRUE(Apply(text, options, &outcome).ok());
  EXPECT_FALSE(outcome.changed);
  EXPECT_FALSE(outcome.wrote);
  EXPECT_TRUE(outcome.changes.empty());
  EXPECT_EQ(FileBytes(), after);
}

TEST_F(StateTest, ApplyTellsTheStepItStoppedAt) {
  state::ApplyOutcome outcome;
  Status s = Apply("[1, }", state::ApplyOptions(), &outcome);
  EXPECT_TRUE(s.IsRefused());
  EXPECT_EQ(s.message(), "the state is not valid JSON (at byte 5)");
  EXPECT_EQ(outcome.failed_at, state::ApplyStep::kState);

  s = Apply(R"({"users": [{"name": "bob"}]})", state::ApplyOptions(),
            &outcome);
  EXPECT_EQ(outcome.failed_at, state::ApplyStep::kPlan);
  EXPECT_EQ(s.message(),
            "users[0]: new user 'bob' has no password; give one as "
            "\"password\", or allow empty passwords (--allow-empty-password)");

  state::ApplyOptions options;
  options.rules.allow_empty_password = true;
  options.open = [this](ConfigSession* session, Access access) {
    return access == Access::kWrite ? Status::Busy("held")
                                    : session->Open(store(), access);
  };
  s = Apply(R"({"users": [{"name": "bob"}]})", options, &outcome);
  EXPECT_TRUE(s.IsBusy());
  EXPECT_EQ(outcome.failed_at, state::ApplyStep::kOpen);

  RemoveFile();
  s = Apply("{}", state::ApplyOptions(), &outcome);
  EXPECT_TRUE(s.IsFileMissing()) << s.ToString();
  EXPECT_EQ(outcome.failed_at, state::ApplyStep::kOpen);
}

}  // namespace
}  // namespace test
}  // namespace brellox
