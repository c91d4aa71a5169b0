// The integrity check on deliberately damaged files: each kind of damage is
// found, as an error or a warning, at its record, through the file and
// through its image alike, and nothing else is. Also the layout of tables
// into an image, and the replacement of a session's whole contents.
#include "src/store/integrity.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "src/sources/twin_table.h"
#include "src/store/journal.h"
#include "src/store/replace.h"
#include "src/users/users.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

// Whether `text` holds `part`, showing `text` when not.
::testing::AssertionResult Contains(const std::string& text,
                                    const std::string& part) {
  if (text.find(part) != std::string::npos) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "'" << text << "' lacks '" << part << "'";
}

template <std::size_t N>
void SetText(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(N, text.size()));
}

std::string Describe(const std::vector<Finding>& findings) {
  std::string all;
  for (const Finding& f : findings) {
    all += (f.error ? "error: " : "warning: ") + f.message + "\n";
  }
  return all;
}

class IntegrityTest : public StoreFixture {
 protected:
  // The findings of the file as `brellox check` gets them.
  std::vector<Finding> Check() {
    std::vector<Finding> findings;
    ConfigSession session;
    const Status opened = OpenForCheck(store(), &session, &findings);
    EXPECT_TRUE(opened.ok()) << opened.ToString();
    if (opened.ok() && (findings.empty() || !findings.back().error)) {
      const Status read = CheckSession(session, nullptr, &findings);
      EXPECT_TRUE(read.ok()) << read.ToString();
    }
    return findings;
  }

  // The same, expecting the file's image to give the same findings.
  std::vector<Finding> CheckBothWays() {
    const std::vector<Finding> from_image = CheckImage(FileBytes());
    const std::vector<Finding> from_file = Check();
    EXPECT_EQ(Describe(from_file), Describe(from_image));
    return from_file;
  }

  // Two users, privileges 7 and 8 of user 1, a GDB and two option groups
  // of type 1, laid out with two free slots per table.
  static FileTables Sample() {
    FileTables t;
    EXPECT_TRUE(DecodeImage(DefaultConfigImage(), &t).ok());
    for (std::int32_t id : {1, 2}) {
      SVR_USER_REC user{};
      user.id = id;
      SetText(user.name, "user" + std::to_string(id));
      t.users.push_back(user);
    }
    t.privs = {{1, 7, 1}, {1, 8, 1}};
    SVC_GDB_INFO gdb{};
    gdb.id = 1;
    SetText(gdb.name, "world");
    t.gdbs.push_back(gdb);
    for (const char* name : {"a", "b"}) {
      SVR_OPTION_GROUP group{};
      group.groupType = 1;
      SetText(group.groupName, name);
      t.groups.push_back(group);
    }
    t.header.lastUserID = 2;
    t.header.lastGDBID = 1;
    return t;
  }

  void WriteTables(const FileTables& tables) {
    SetFileBytes(LayoutImage(tables, {3, 3, 4, 4}));
  }
};

TEST_F(IntegrityTest, FilesBuiltByTheLibraryHaveNoFindings) {
  EXPECT_EQ(Describe(CheckBothWays()), "");
  // Names and passwords that fill their fields are stored with no NUL.
  ASSERT_EQ(AddUser(store(), std::string(30, 'u').c_str(),
                    std::string(64, 'p').c_str()),
            1);
  for (int i = 2; i <= 3; ++i) {
    ASSERT_EQ(AddUser(store(), ("user" + std::to_string(i)).c_str(), "pw"), i);
  }
  ASSERT_EQ(SetUserPriv(store(), 1, 2, 5), 1);
  SVC_GDB_CONN_INFO conn{};
  SetText(conn.name, std::string(32, 'c'));
  ASSERT_GT(ConnTable::Add(store(), conn), 0);
  SVC_GDB_INFO gdb{};
  SetText(gdb.name, std::string(32, 'g'));
  ASSERT_GT(GdbTable::Add(store(), gdb), 0);
  ASSERT_EQ(DelUser(store(), 3), 1);
  EXPECT_EQ(Describe(CheckBothWays()), "");

  // Laid out again with the default's capacities, the default file's
  // tables give back its bytes.
  FileTables tables;
  ASSERT_TRUE(DecodeImage(DefaultConfigImage(), &tables).ok());
  EXPECT_EQ(LayoutImage(tables, {2, 2, 2, 2}), DefaultConfigImage());
  WriteTables(Sample());
  EXPECT_EQ(Describe(CheckBothWays()), "");
}

TEST_F(IntegrityTest, EachDamageToATableIsOneFindingAtItsRecord) {
  const struct {
    const char* what;
    std::function<void(FileTables&)> damage;
    bool error;
    Rule rule;
    Section table;
    std::size_t record;
    std::string says;
  } kCases[] = {
      {"zero ID", [](FileTables& t) { t.users[1].id = 0; }, true,
       Rule::kIdNotAboveZero, Section::kUsers, 1, "ID 0 is not above 0"},
      {"repeated ID", [](FileTables& t) { t.users[1].id = 1; }, true,
       Rule::kIdRepeated, Section::kUsers, 1,
       "user ID 1 is used more than once"},
      {"ID above its counter", [](FileTables& t) { t.header.lastGDBID = 0; },
       true, Rule::kIdAboveCounter, Section::kGdbs, 0,
       "above the last issued GDB ID 0"},
      {"shared name", [](FileTables& t) { SetText(t.users[1].name, "user1"); },
       true, Rule::kNameRepeated, Section::kUsers, 1,
       "user 2 'user1': name already used by user 1"},
      {"privilege stored twice", [](FileTables& t) { t.privs[1].privID = 7; },
       true, Rule::kPrivilegeRepeated, Section::kPrivs, 1,
       "(user 1, privilege 7) is stored more than once"},
      {"group type 0", [](FileTables& t) { t.groups[1].groupType = 0; }, true,
       Rule::kGroupTypeNotAboveZero, Section::kOptionGroups, 1,
       "type 0 is not above 0"},
      {"group type -3", [](FileTables& t) { t.groups[0].groupType = -3; }, true,
       Rule::kGroupTypeNotAboveZero, Section::kOptionGroups, 0,
       "type -3 is not above 0"},
      {"group name without NUL",
       [](FileTables& t) {
         std::memset(t.groups[0].groupName, 'o', sizeof(t.groups[0].groupName));
       },
       true, Rule::kGroupNameUnterminated, Section::kOptionGroups, 0,
       "without a NUL"},
      {"repeated group", [](FileTables& t) { t.groups[1].groupName[0] = 'a'; },
       true, Rule::kGroupRepeated, Section::kOptionGroups, 1,
       "type and name already used"},
      {"privilege of a removed user",
       [](FileTables& t) {
         t.privs.push_back({9, 1, 1});
       },
       false, Rule::kPrivilegeOfNoUser, Section::kPrivs, 2,
       "user ID 9, which no user has"},
      {"blank name", [](FileTables& t) { SetText(t.users[0].name, "  "); },
       false, Rule::kBlankName, Section::kUsers, 0, "user 1 '  ': blank name"},
      {"name as its bytes",
       [](FileTables& t) {
         SetText(t.users[0].name, "\xd3\xc3");
         SetText(t.users[1].name, "\xd3\xc3");
       },
       true, Rule::kNameRepeated, Section::kUsers, 1,
       "user 2 '\xd3\xc3': name already used by user 1"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    FileTables tables = Sample();
    c.damage(tables);
    WriteTables(tables);
    const std::vector<Finding> findings = CheckBothWays();
    ASSERT_EQ(findings.size(), 1u) << Describe(findings);
    const Finding& f = findings[0];
    EXPECT_EQ(f.error, c.error);
    EXPECT_EQ(f.rule, c.rule);
    EXPECT_EQ(f.table, c.table);
    EXPECT_EQ(f.record, c.record);
    EXPECT_TRUE(Contains(f.message, c.says));
  }
}

TEST_F(IntegrityTest, DamageAroundTheTablesIsFound) {
  SVR_CFG_HEADER h = Header();
  h.users.offset += 4;
  SetHeader(h);
  std::vector<Finding> f = CheckBothWays();
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].rule, Rule::kHeader);
  EXPECT_TRUE(f[0].error);
  EXPECT_TRUE(Contains(f[0].message, "header check"));

  ResetFile();
  SetFileBytes(FileBytes() + "tail");
  f = CheckBothWays();
  ASSERT_EQ(f.size(), 1u);
  EXPECT_FALSE(f[0].error);
  EXPECT_TRUE(Contains(f[0].message, "4 bytes after the last table"));
}

// A table may reserve millions of slots: past the first hundred of a table,
// stray free slots are counted, not listed.
TEST_F(IntegrityTest, LeftoverBytesInFreeSlotsAreListedAHundredAtMost) {
  FileTables tables = Sample();
  tables.users.resize(1);
  std::string bytes = LayoutImage(tables, {3, 3, 151, 4});
  SVR_CFG_HEADER h;
  std::memcpy(&h, bytes.data(), sizeof(h));
  for (int slot = 0; slot < 151; ++slot) {
    bytes[h.users.offset + slot * 100 + 99] = 'x';  // slot 0 is in use
  }
  SetFileBytes(bytes);
  const std::vector<Finding> f = CheckBothWays();
  ASSERT_EQ(f.size(), 101u);
  EXPECT_EQ(f[0].rule, Rule::kDirtyFreeSlot);
  EXPECT_EQ(f[0].record, 1u);
  EXPECT_FALSE(f[0].error);
  EXPECT_TRUE(Contains(f[0].message, "user free slot 1 is not zero"));
  EXPECT_TRUE(Contains(f[99].message, "user free slot 100 is not zero"));
  EXPECT_TRUE(Contains(f[100].message, "50 more user free slots are not zero"));
}

TEST_F(IntegrityTest, JournalBesideTheFileIsReported) {
  ASSERT_EQ(AddUser(store(), "user1", "pw"), 1);
  const std::string journal = path().string() + "-journal";
  // A torn journal never reached the file: it is discarded, and said so.
  WriteBytes(journal, std::string(64, 'j'));
  std::vector<Finding> f = Check();
  ASSERT_EQ(f.size(), 1u) << Describe(f);
  EXPECT_EQ(f[0].rule, Rule::kJournalResolved);
  EXPECT_FALSE(f[0].error);
  EXPECT_TRUE(Contains(f[0].message, "journal " + journal));
  EXPECT_EQ(ReadBytes(journal), "");

  // A complete journal of another file is left in place, and every call
  // fails until someone looks at it.
  const std::string bytes = FileBytes();
  JournalBuilder other("other.CFG", bytes.size());
  std::memcpy(other.AddRange(0, kHeaderSize), bytes.data(), kHeaderSize);
  other.Finish();
  WriteBytes(journal, other.bytes());
  f = Check();
  ASSERT_EQ(f.size(), 1u) << Describe(f);
  EXPECT_TRUE(f[0].error);
  EXPECT_TRUE(Contains(f[0].message, "journal " + journal + " (" +
                                         std::to_string(other.bytes().size()) +
                                         " bytes) is present"));
  EXPECT_EQ(GetUserCount(store()), 0);
  EXPECT_EQ(FileBytes(), bytes);
}

// An older copy put back over the file (as cp does: same name, same inode)
// after a crash left a journal: playing the journal onto it would tear it,
// so every call and the check refuse it, naming the journal and the way
// out, until someone decides.
TEST_F(IntegrityTest, ACrashJournalRefusesAnOlderCopyPutBack) {
  const std::string journal = path().string() + "-journal";
  const auto add_users = [&](char from, char to) {
    for (char name = from; name <= to; ++name) {
      ASSERT_GT(AddUser(store(), std::string(1, name).c_str(), "pw"), 0);
    }
  };
  // A crash after the file was changed, adding a user to a full table.
  const auto crash_growing = [&] {
    ASSERT_EQ(GetUserCount(store()), Header().users.capacity);
    env_.Arm(FaultEnv::Op::kSync, 2, FaultEnv::Fault::kCrash);
    EXPECT_EQ(AddUser(store(), "grows", "pw"), 0);
    env_.Disarm();
    ASSERT_GT(ReadBytes(journal).size(), 0u);
  };
  const auto expect_refused = [&](const std::string& copy) {
    SetFileBytes(copy);
    ConfigSession session;
    const Status s = session.Open(store(), Access::kRead);
    EXPECT_TRUE(s.IsCorrupt()) << s.ToString();
    EXPECT_TRUE(Contains(s.message(), "journal " + journal));
    EXPECT_TRUE(Contains(s.message(), "another copy of the file"));
    EXPECT_TRUE(Contains(s.message(), "remove the journal"));
    EXPECT_EQ(GetUserCount(store()), 0);
    const std::vector<Finding> f = Check();
    ASSERT_EQ(f.size(), 1u) << Describe(f);
    EXPECT_TRUE(f[0].error);
    EXPECT_TRUE(Contains(f[0].message, s.message()));
    EXPECT_EQ(FileBytes(), copy);
    // Whoever put the copy back on purpose removes the journal.
    std::filesystem::remove(journal);
    EXPECT_EQ(CheckBothWays().size(), 0u);
  };

  // Shorter: the copy is from before the table grew.
  add_users('a', 'a');
  const std::string shorter = FileBytes();
  add_users('b', 'd');
  crash_growing();
  expect_refused(shorter);
  ASSERT_EQ(GetUserCount(store()), 1);

  // Longer: the copy is from before the contents were replaced by smaller
  // ones.
  add_users('b', 'g');
  const std::string longer = FileBytes();
  ReplaceOutcome outcome;
  ASSERT_TRUE(ReplaceConfigFile(store(), DefaultConfigImage(),
                                IdCounters::kKeepHigher, &outcome)
                  .ok());
  add_users('a', 'b');
  crash_growing();
  ASSERT_GT(longer.size(), ReadBytes(path()).size());
  expect_refused(longer);
}

#ifndef _WIN32  // no permission bits there
// A folder others may write lets them rename another file into the file's
// place: warned about, unless sticky. The file's own group write is not.
TEST_F(IntegrityTest, FoldersOthersMayWriteAreWarnedAbout) {
  const std::string folder = dir_.path().string();
  const auto expect_warning = [&](mode_t mode, const std::string& who) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(chmod(folder.c_str(), mode), 0);
    const std::vector<Finding> f = Check();
    if (who.empty()) {
      EXPECT_EQ(Describe(f), "");
      return;
    }
    ASSERT_EQ(f.size(), 1u) << Describe(f);
    EXPECT_FALSE(f[0].error);
    EXPECT_EQ(f[0].rule, Rule::kFolderWritable);
    EXPECT_TRUE(Contains(f[0].message,
                         "folder " + folder + " can be written by " + who));
    EXPECT_TRUE(Contains(f[0].message, "rename another file into the place"));
  };
  ASSERT_EQ(chmod(path().c_str(), 0660), 0);
  expect_warning(0755, "");
  expect_warning(0775, "its group");
  expect_warning(0757, "everyone");
  expect_warning(01777, "");
  ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
}
#endif

TEST_F(IntegrityTest, ReplacedContentsLandWholeWithTheCommitOrNotAtAll) {
  ASSERT_EQ(AddUser(store(), "user1", "pw"), 1);
  const std::string before = FileBytes();
  FileTables tables = Sample();
  const std::string image = LayoutImage(tables, {3, 3, 4, 4});
  {
    ConfigSession session;
    ASSERT_TRUE(session.Open(store(), Access::kWrite).ok());
    EXPECT_TRUE(ReplaceContents(session, image.substr(0, 900)).IsRefused());
    ASSERT_TRUE(ReplaceContents(session, image).ok());
    EXPECT_EQ(session.header().lastGDBID, 1);
  }  // not committed
  EXPECT_EQ(FileBytes(), before);
  // A crash anywhere in the commit leaves the old contents or the new.
  for (int k = 1;; ++k) {
    SCOPED_TRACE(k);
    SetFileBytes(before);
    env_.Arm(FaultEnv::Op::kAny, k, FaultEnv::Fault::kCrash);
    {
      ConfigSession session;
      Status s = session.Open(store(), Access::kWrite);
      if (s.ok()) s = ReplaceContents(session, image);
      if (s.ok()) s = session.Commit();
    }
    const bool crashed = env_.fired();
    env_.Disarm();
    const SVR_LONG users = GetUserCount(store());  // recovers
    const std::string after = FileBytes();
    EXPECT_TRUE((after == before && users == 1) ||
                (after == image && users == 2));
    if (!crashed) {
      EXPECT_EQ(after, image);
      break;
    }
  }
}

}  // namespace
}  // namespace test
}  // namespace brellox
