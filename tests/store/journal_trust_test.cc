// A journal is used only if it cannot have been planted, and every path to
// a file finds the same one.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "src/store/journal.h"
#include "src/store/replace.h"
#include "src/users/users.h"
#include "tests/testutil/store_fixture.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace brellox {
namespace test {
namespace {

namespace fs = std::filesystem;

class JournalTrustTest : public StoreFixture {
 protected:
  std::string journal() const { return JournalPathFor(path().string()); }

  // A complete journal that rolls the file back to user 1's password being
  // "planted": what a neighbour who can read the file could write.
  std::string PlantableJournal() {
    EXPECT_EQ(AddUser(store(), "admin", "planted"), 1);
    const std::string planted_state = FileBytes();
    env_.Arm(FaultEnv::Op::kSync, 2, FaultEnv::Fault::kCrash);
    EXPECT_EQ(UpdateUser(store(), 1, "good"), 0);
    env_.Disarm();
    const std::string bytes = ReadBytes(journal());
    fs::remove(journal());
    SetFileBytes(planted_state);
    EXPECT_EQ(UpdateUser(store(), 1, "good"), 1);
    return bytes;
  }

  // Every call fails with the file and `victim` untouched; once the planted
  // entry is gone, the file works again as it was.
  void ExpectRefusedUntouched(const fs::path& victim) {
    const std::string file = FileBytes();
    const std::string target = ReadBytes(victim);
    EXPECT_EQ(GetUserCount(store()), 0);
    EXPECT_EQ(CheckUser(store(), "admin", "planted"), 0);
    EXPECT_EQ(AddUser(store(), "late", "pw"), 0);
    EXPECT_EQ(FileBytes(), file);
    EXPECT_EQ(ReadBytes(victim), target);
    fs::remove(journal());
    EXPECT_EQ(CheckUser(store(), "admin", "good"), 1);
  }
};

TEST_F(JournalTrustTest, PlantedEntriesAreRefusedWithNothingWritten) {
  ASSERT_EQ(AddUser(store(), "admin", "good"), 1);
  const fs::path victim = dir_.path() / "victim";
  WriteBytes(victim, "precious");
  fs::remove(journal());
#ifndef _WIN32  // Wine makes no symbolic links that Windows calls can see
  // A journal that is a link: to another file, to the file itself.
  fs::create_symlink(victim, journal());
  ExpectRefusedUntouched(victim);
  fs::create_symlink(path(), journal());
  ExpectRefusedUntouched(victim);
#endif
  // The file itself, under the journal's name.
  fs::create_hard_link(path(), journal());
  ExpectRefusedUntouched(victim);
  // A folder.
  fs::create_directory(journal());
  ExpectRefusedUntouched(victim);
}

#ifndef _WIN32
TEST_F(JournalTrustTest, AJournalOthersMayWriteOrOwnIsNotReplayed) {
  const std::string planted = PlantableJournal();
  const fs::path victim = path();
  // Writable by the group, which may not write the file.
  WriteBytes(journal(), planted);
  chmod(journal().c_str(), 0660);
  ExpectRefusedUntouched(victim);
  if (geteuid() != 0)
    GTEST_SKIP() << "handing a file to another user needs root";
  // Written by a member of the file's group who may read the file only.
  chmod(path().c_str(), 0640);
  WriteBytes(journal(), planted);
  chmod(journal().c_str(), 0640);
  ASSERT_EQ(chown(journal().c_str(), 65534, 65534), 0);
  ExpectRefusedUntouched(victim);
}

// Runs `body` in a child process acting as an unprivileged user; its
// result is the child's exit code.
int AsNobody(const std::function<int()>& body) {
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(JournalTrustTest, TheJournalGetsTheFilesOwnerOrIsNotCreated) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  chmod(dir_.path().c_str(), 0777);
  chmod(path().c_str(), 0666);
  // Someone who may write the file but does not own it creates no journal
  // that nobody could trust.
  const Store s{Env::Default(), path().string()};
  EXPECT_EQ(AsNobody([&] { return AddUser(s, "x", "pw") == 0 ? 0 : 1; }), 0);
  EXPECT_FALSE(fs::exists(journal()));
  // Root's journal belongs to the file's owner, with the file's mode.
  ASSERT_EQ(chown(path().c_str(), 65534, 65534), 0);
  ASSERT_EQ(AddUser(store(), "x", "pw"), 1);
  struct stat st;
  ASSERT_EQ(stat(journal().c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
  // ...so that the owner can go on changing the file.
  EXPECT_EQ(AsNobody([&] { return AddUser(s, "y", "pw") == 2 ? 0 : 1; }), 0);
}

// A member of the folder's group plants a link at a configuration file's
// name, pointing at root's own file: root's init --force, import --force
// and changes must not write through it; the load-time default never does.
TEST_F(JournalTrustTest, AnotherUsersLinkAtTheNameIsNotWrittenThrough) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  constexpr uid_t kPlanter = 4242;
  ASSERT_EQ(AddUser(store(), "admin", "secret"), 1);
  const std::string target = FileBytes();
  const fs::path link = dir_.path() / "planted.CFG";
  fs::create_symlink(path(), link);
  ASSERT_EQ(lchown(link.c_str(), kPlanter, kPlanter), 0);
  const Store through{&env_, link.string()};
  ReplaceOutcome outcome;
  const Status s = ReplaceConfigFile(through, DefaultConfigImage(),
                                     IdCounters::kAsGiven, &outcome);
  EXPECT_TRUE(s.IsRefused()) << s.ToString();
  EXPECT_NE(s.message().find(link.string() + " is a symbolic link that "
                                             "belongs to user 4242"),
            std::string::npos)
      << s.message();
  EXPECT_EQ(AddUser(through, "intruder", "pw"), 0);
  EXPECT_EQ(UpdateUser(through, 1, "forged"), 0);
  EXPECT_EQ(FileBytes(), target);
  EXPECT_EQ(CheckUser(through, "admin", "secret"), 1);  // reads go on

  // The folder's owner's link, and root's, are followed.
  ASSERT_EQ(chown(dir_.path().c_str(), kPlanter, kPlanter), 0);
  EXPECT_EQ(AddUser(through, "second", "pw"), 2);
  ASSERT_EQ(chown(dir_.path().c_str(), 0, 0), 0);
  ASSERT_EQ(lchown(link.c_str(), 0, 0), 0);
  EXPECT_EQ(AddUser(through, "third", "pw"), 3);

  // A dangling link of another user is not where the default file goes.
  const fs::path dangling = dir_.path() / "default.CFG";
  fs::create_symlink(dir_.path() / "made-through-link", dangling);
  ASSERT_EQ(lchown(dangling.c_str(), kPlanter, kPlanter), 0);
  EXPECT_FALSE(CreateDefaultConfigFile(&env_, dangling.string()).ok());
  EXPECT_FALSE(fs::exists(dir_.path() / "made-through-link"));
}
#endif

#ifndef _WIN32
TEST_F(JournalTrustTest, EveryPathToTheFileFindsOneJournal) {
  const fs::path link = dir_.path() / "alias.CFG";
  fs::create_symlink(path(), link);
  const Store through_link{&env_, link.string()};
  // A change through the link dies after changing the file.
  env_.Arm(FaultEnv::Op::kSync, 2, FaultEnv::Fault::kCrash);
  EXPECT_EQ(AddUser(through_link, "lost", "pw"), 0);
  env_.Disarm();
  EXPECT_FALSE(fs::exists(JournalPathFor(link.string())));
  // The next call by the other path rolls it back, then adds.
  EXPECT_EQ(AddUser(store(), "kept", "pw"), 1);
  // ...which no call through the link undoes, nor issues its ID again.
  EXPECT_EQ(GetUserIDByName(through_link, "kept"), 1);
  EXPECT_EQ(AddUser(through_link, "next", "pw"), 2);
  EXPECT_EQ(GetUserIDByName(store(), "lost"), 0);
}

// A long-running writer keeps working on its file after the file's folder
// was moved and the link in its path re-pointed to the new place, with a
// new folder at the old name: its next journal must lie beside the file,
// where every other process looks.
TEST_F(JournalTrustTest, AWriterWhoseFolderMovedJournalsBesideTheFile) {
  const fs::path old_place = dir_.path() / "a";
  const fs::path new_place = dir_.path() / "b";
  const fs::path current = dir_.path() / "current";
  fs::create_directory(old_place);
  fs::rename(path(), old_place / path().filename());
  fs::create_directory_symlink(old_place, current);
  const Store writer{&env_, (current / path().filename()).string()};
  ASSERT_EQ(AddUser(writer, "a", "pw"), 1);
  ASSERT_EQ(AddUser(writer, "b", "pw"), 2);

  fs::rename(old_place, new_place);
  fs::create_directory(old_place);
  fs::remove(current);
  fs::create_directory_symlink(new_place, current);
  // The writer dies after changing the file.
  env_.Arm(FaultEnv::Op::kSync, 2, FaultEnv::Fault::kCrash);
  EXPECT_EQ(AddUser(writer, "lost", "pw"), 0);
  env_.Disarm();
  EXPECT_FALSE(
      fs::exists(old_place / (path().filename().string() + kJournalSuffix)));
  // Another process, by the file's own path, finds the journal and rolls
  // the file back.
  const Store other{&env_, (new_place / path().filename()).string()};
  EXPECT_EQ(GetUserIDByName(other, "lost"), 0);
  EXPECT_EQ(GetUserCount(other), 2);
  EXPECT_EQ(AddUser(writer, "kept", "pw"), 3);
}
#endif

TEST_F(JournalTrustTest, AFileWithSeveralNamesCanBeReadButNotChanged) {
  ASSERT_EQ(AddUser(store(), "a", "pw"), 1);
  fs::create_hard_link(path(), dir_.path() / "second.CFG");
  const std::string file = FileBytes();
  EXPECT_EQ(AddUser(store(), "b", "pw"), 0);
  EXPECT_EQ(UpdateUser(store(), 1, "new"), 0);
  EXPECT_EQ(FileBytes(), file);
  EXPECT_EQ(CheckUser(store(), "a", "pw"), 1);
}

TEST_F(JournalTrustTest, AReplacementLeavesNothingThatCanUndoIt) {
  ASSERT_EQ(AddUser(store(), "old", "pw"), 1);
  ASSERT_EQ(AddUser(store(), "older", "pw"), 2);
  const std::string image = DefaultConfigImage();
  const fs::path victim = dir_.path() / "victim";
  WriteBytes(victim, "precious");
  // A complete journal of another file, which fits nothing here.
  const fs::path other = dir_.path() / "other.CFG";
  WriteBytes(other, FileBytes());
  const Store other_store{&env_, other.string()};
  env_.Arm(FaultEnv::Op::kSync, 2, FaultEnv::Fault::kCrash);
  EXPECT_EQ(AddUser(other_store, "x", "pw"), 0);
  env_.Disarm();
  const std::string foreign = ReadBytes(JournalPathFor(other.string()));
  ASSERT_FALSE(foreign.empty());

  const std::vector<std::function<void()>> plants = {
      [&] { WriteBytes(journal(), foreign); },
#ifndef _WIN32
      [&] { fs::create_symlink(victim, journal()); },
#endif
  };
  std::int32_t last_id = 2;
  for (const auto& plant : plants) {
    fs::remove(journal());
    plant();
    EXPECT_EQ(GetUserCount(store()), 0);
    ReplaceOutcome outcome;
    const Status replaced =
        ReplaceConfigFile(store(), image, IdCounters::kKeepHigher, &outcome);
    ASSERT_TRUE(replaced.ok()) << replaced.ToString();
    EXPECT_EQ(ReadBytes(victim), "precious");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(journal())));
    EXPECT_EQ(fs::file_size(journal()), 0u);
    // The old counter stays: no ID is issued twice.
    EXPECT_TRUE(outcome.kept_counter[2]);
    EXPECT_EQ(GetUserCount(store()), 0);
    EXPECT_EQ(AddUser(store(), "new", "pw"), ++last_id);
    ASSERT_EQ(AddUser(store(), "newer", "pw"), ++last_id);
  }
  // A folder is not removed for the journal's sake: the replacement is
  // refused.
  fs::remove(journal());
  fs::create_directory(journal());
  const std::string file = FileBytes();
  ReplaceOutcome refused;
  EXPECT_FALSE(
      ReplaceConfigFile(store(), image, IdCounters::kAsGiven, &refused).ok());
  EXPECT_EQ(FileBytes(), file);
  fs::remove(journal());
  // Counters as given, when asked; a damaged file is replaced too.
  CorruptByte(40);
  ReplaceOutcome outcome;
  ASSERT_TRUE(
      ReplaceConfigFile(store(), image, IdCounters::kAsGiven, &outcome).ok());
  EXPECT_TRUE(outcome.was_damaged);
  EXPECT_EQ(FileBytes(), image);
  EXPECT_EQ(AddUser(store(), "first", "pw"), 1);
}

TEST_F(JournalTrustTest, AShrinkingReplacementCutShortIsRolledBack) {
  ASSERT_EQ(AddUser(store(), "a", "pw"), 1);
  ASSERT_EQ(AddUser(store(), "b", "pw"), 2);
  ASSERT_EQ(AddUser(store(), "c", "pw"), 3);
  const std::string before = FileBytes();
  // Dies after the file was cut to the smaller image, before its sync (the
  // replacement first syncs the cleared journal, then the journal).
  env_.Arm(FaultEnv::Op::kSync, 3, FaultEnv::Fault::kCrash);
  ReplaceOutcome outcome;
  EXPECT_FALSE(ReplaceConfigFile(store(), DefaultConfigImage(),
                                 IdCounters::kAsGiven, &outcome)
                   .ok());
  env_.Disarm();
  ASSERT_LT(FileBytes().size(), before.size());
  EXPECT_EQ(GetUserCount(store()), 3);
  EXPECT_EQ(FileBytes(), before);
}

}  // namespace
}  // namespace test
}  // namespace brellox
