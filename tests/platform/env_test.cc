// One conformance suite for every Env the store can run on: the system's own,
// the fault-injecting wrapper with no fault armed, and the in-memory Env
// (which skips what only a disk has: folders, links, owners, watches).
#include "platform/env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/mem_env.h"
#include "tests/testutil/fault_env.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

struct SystemEnv {
  static constexpr bool kOnDisk = true;
  Env* get() { return Env::Default(); }
};

struct PassThroughFaultEnv {
  static constexpr bool kOnDisk = true;
  PassThroughFaultEnv() { env.set_watching(FaultEnv::Watching::kSystem); }
  FaultEnv env{Env::Default()};
  Env* get() { return &env; }
};

struct InMemoryEnv {
  static constexpr bool kOnDisk = false;
  MemEnv env;
  Env* get() { return &env; }
};

// For a case about what only files on a disk have.
#define SKIP_IN_MEMORY()                                 \
  if (!TypeParam::kOnDisk) {                             \
    GTEST_SKIP() << "the in-memory Env has no such thing"; \
  }

template <class Backend>
class EnvTest : public ::testing::Test {
 protected:
  std::string PathOf(const char* name) const {
    return (dir_.path() / name).string();
  }
  std::unique_ptr<RandomRWFile> Create(const char* name) {
    std::unique_ptr<RandomRWFile> file;
    EXPECT_TRUE(env()->CreateExclusive(PathOf(name), 0640, &file).ok());
    return file;
  }
  std::unique_ptr<RandomRWFile> OpenFile(const char* name, OpenAccess access) {
    std::unique_ptr<RandomRWFile> file;
    EXPECT_TRUE(env()->Open(PathOf(name), access, &file).ok());
    return file;
  }
  FileFacts FactsOf(RandomRWFile* file) {
    FileFacts facts;
    EXPECT_TRUE(file->Facts(&facts).ok());
    return facts;
  }
  std::string ResolvedOf(const char* name) {
    std::string path;
    auto file = OpenFile(name, OpenAccess::kReadOnly);
    EXPECT_TRUE(file->ResolvedPath(&path).ok());
    return path;
  }
  // What the file holds, read through the Env under test.
  std::string Contents(const char* name) {
    std::unique_ptr<RandomRWFile> file = OpenFile(name, OpenAccess::kReadOnly);
    std::uint64_t size = 0;
    if (!file || !file->Size(&size).ok()) return "<unreadable>";
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (size > 0 && !file->Read(0, bytes.size(), &bytes[0]).ok()) {
      return "<unreadable>";
    }
    return bytes;
  }
  Env* env() { return backend_.get(); }

  ScopedTempDir dir_;
  Backend backend_;
};

std::pair<std::uint64_t, std::uint64_t> Identity(const FileFacts& facts) {
  return {facts.device, facts.inode};
}

// Makes `link` a symbolic link to `target`, or says why this process cannot:
// libstdc++ makes none on Windows, where the system wants a privilege or
// developer mode, and Wine reports links it does not make.
std::string MakeSymlink(Env* env, const std::string& target,
                        const std::string& link, bool folder) {
  std::error_code error;
#ifdef _WIN32
  const DWORD flags = (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) |
                      SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
  if (!CreateSymbolicLinkW(std::filesystem::path(link).c_str(),
                           std::filesystem::path(target).c_str(), flags)) {
    error.assign(static_cast<int>(GetLastError()), std::system_category());
  }
#else
  if (folder) std::filesystem::create_directory_symlink(target, link, error);
  if (!folder) std::filesystem::create_symlink(target, link, error);
#endif
  if (error) return error.message();
  if (env->EntryExists(link)) return std::string();
  return "the system reported a link it did not make";
}

using Backends =
    ::testing::Types<SystemEnv, PassThroughFaultEnv, InMemoryEnv>;
TYPED_TEST_SUITE(EnvTest, Backends);

TYPED_TEST(EnvTest, MissingFileIsFileMissingAndDirectoriesAreNotOpened) {
  // A failed call leaves a file result null and every other result as it
  // was.
  std::unique_ptr<RandomRWFile> file = this->Create("present");
  Status s =
      this->env()->Open(this->PathOf("missing"), OpenAccess::kReadOnly, &file);
  EXPECT_TRUE(s.IsFileMissing()) << s.ToString();
  EXPECT_EQ(file, nullptr);
  EXPECT_FALSE(this->env()->EntryExists(this->PathOf("missing")));
  std::uint64_t kept = 7;
  EXPECT_FALSE(this->env()->FileSize(this->PathOf("missing"), &kept).ok());
  EXPECT_EQ(kept, 7u);
  FileFacts facts;
  facts.size = 7;
  EXPECT_FALSE(this->env()->EntryFacts(this->PathOf("missing"), &facts).ok());
  EXPECT_EQ(facts.size, 7u);

  if (!TypeParam::kOnDisk) return;  // files in memory have no folders
  std::filesystem::create_directory(this->PathOf("folder"));
  EXPECT_TRUE(this->env()->EntryExists(this->PathOf("folder")));
  Status opened =
      this->env()->Open(this->PathOf("folder"), OpenAccess::kReadOnly, &file);
  std::uint64_t size;
  EXPECT_TRUE(!opened.ok() || !file->Size(&size).ok());
}

#ifdef _WIN32
// Paths are UTF-8; one that is not names no file, not some other name. (The
// byte is added to the string itself: std::filesystem would convert it.)
TYPED_TEST(EnvTest, APathThatIsNotUtf8NamesNoFile) {
  SKIP_IN_MEMORY();
  std::unique_ptr<RandomRWFile> file;
  EXPECT_FALSE(this->env()
                   ->CreateExclusive(this->PathOf("bad") + "\xFF", 0600, &file)
                   .ok());
  EXPECT_EQ(file, nullptr);
  EXPECT_TRUE(std::filesystem::is_empty(this->dir_.path()));
}
#endif

TYPED_TEST(EnvTest, WritesPastTheEndExtendAndReadsAreExact) {
  auto file = this->Create("f");
  ASSERT_TRUE(file->Write(10, "abc", 3).ok());
  std::uint64_t size = 0;
  ASSERT_TRUE(file->Size(&size).ok());
  EXPECT_EQ(size, 13u);
  char bytes[13];
  ASSERT_TRUE(file->Read(0, sizeof(bytes), bytes).ok());
  EXPECT_EQ(std::string(bytes, 13), std::string(10, '\0') + "abc");
  // Reading past the end is an error, never a silent short read.
  EXPECT_TRUE(file->Read(11, 3, bytes).IsIOError());
  EXPECT_TRUE(file->Sync().ok());
}

TYPED_TEST(EnvTest, LargeTransfersRoundTrip) {
  auto file = this->Create("large");
  std::string data(8 << 20, '\0');
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 131);
  ASSERT_TRUE(file->Write(1, data.data(), data.size()).ok());
  std::string back(data.size(), '\0');
  ASSERT_TRUE(file->Read(1, back.size(), &back[0]).ok());
  EXPECT_EQ(back, data);
}

TYPED_TEST(EnvTest, TwoOpenersShareEachOthersWrites) {
  this->Create("shared")->Write(0, "0000", 4);
  auto a = this->OpenFile("shared", OpenAccess::kReadWrite);
  auto b = this->OpenFile("shared", OpenAccess::kReadOnly);
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(a->Write(1, "x", 1).ok());
  char bytes[4];
  ASSERT_TRUE(b->Read(0, 4, bytes).ok());
  EXPECT_EQ(std::string(bytes, 4), "0x00");
}

TYPED_TEST(EnvTest, CreationIsExclusiveAndRenamesReplaceOnlyWhenAsked) {
  this->Create("old")->Write(0, "old contents", 12);
  std::unique_ptr<RandomRWFile> again;
  EXPECT_TRUE(this->env()
                  ->CreateExclusive(this->PathOf("old"), 0600, &again)
                  .IsAlreadyExists());
  EXPECT_EQ(this->Contents("old"), "old contents");
#ifndef _WIN32
  // Exactly the bits asked for, whatever the umask.
  std::uint32_t mode = 0;
  ASSERT_TRUE(
      this->OpenFile("old", OpenAccess::kReadOnly)->Permissions(&mode).ok());
  EXPECT_EQ(mode, 0640u);
#endif

  this->Create("new")->Write(0, "new", 3);
  EXPECT_TRUE(this->env()
                  ->RenameNoReplace(this->PathOf("new"), this->PathOf("old"))
                  .IsAlreadyExists());
  EXPECT_EQ(this->Contents("old"), "old contents");
  ASSERT_TRUE(this->env()
                  ->RenameReplacing(this->PathOf("new"), this->PathOf("old"))
                  .ok());
  EXPECT_FALSE(this->env()->EntryExists(this->PathOf("new")));
  EXPECT_EQ(this->Contents("old"), "new");

  this->Create("third")->Write(0, "3", 1);
  ASSERT_TRUE(
      this->env()
          ->RenameNoReplace(this->PathOf("third"), this->PathOf("fresh"))
          .ok());
  EXPECT_FALSE(this->env()->EntryExists(this->PathOf("third")));
  EXPECT_EQ(this->Contents("fresh"), "3");
  EXPECT_TRUE(this->env()->SyncDirectoryOf(this->PathOf("fresh")).ok());

  ASSERT_TRUE(this->env()->RemoveFile(this->PathOf("old")).ok());
  EXPECT_FALSE(this->env()->EntryExists(this->PathOf("old")));
  EXPECT_FALSE(this->env()->RemoveFile(this->PathOf("old")).ok());
}

TYPED_TEST(EnvTest, TruncationAndSizeByName) {
  auto file = this->Create("t");
  ASSERT_TRUE(file->Write(0, "0123456789", 10).ok());
  ASSERT_TRUE(file->Truncate(4).ok());
  std::uint64_t size = 0;
  ASSERT_TRUE(this->env()->FileSize(this->PathOf("t"), &size).ok());
  EXPECT_EQ(size, 4u);
  ASSERT_TRUE(file->Truncate(6).ok());
  EXPECT_EQ(this->Contents("t"), std::string("0123\0\0", 6));
  EXPECT_TRUE(
      this->env()->FileSize(this->PathOf("none"), &size).IsFileMissing());
}

// A scan may skip what NextData reports as zeros, and never a byte of data.
TYPED_TEST(EnvTest, NextDataSkipsOnlyZeros) {
  constexpr std::uint64_t kFar = 8 << 20;
  auto file = this->Create("sparse");
  ASSERT_TRUE(file->Write(0, "head", 4).ok());
  ASSERT_TRUE(file->Write(kFar, "tail", 4).ok());
  ASSERT_TRUE(file->Truncate(2 * kFar).ok());  // a hole at the end too
  std::string back(2 * kFar, '\0');
  ASSERT_TRUE(file->Read(0, back.size(), &back[0]).ok());
  for (std::uint64_t offset :
       {std::uint64_t{0}, std::uint64_t{2}, std::uint64_t{4}, kFar / 2,
        kFar + 1, kFar + 4, 2 * kFar - 1, 2 * kFar, 3 * kFar}) {
    std::uint64_t begin = 0, end = 0;
    ASSERT_TRUE(file->NextData(offset, &begin, &end).ok()) << offset;
    EXPECT_GE(begin, offset);
    if (begin < 2 * kFar) {
      EXPECT_GT(end, begin) << offset;
      EXPECT_LE(end, 2 * kFar) << offset;
    } else {
      EXPECT_EQ(begin, std::max(offset, 2 * kFar)) << offset;
      EXPECT_EQ(end, begin) << offset;
    }
    if (offset < 2 * kFar) {
      const std::size_t skipped = static_cast<std::size_t>(begin - offset);
      EXPECT_EQ(back.compare(offset, skipped, std::string(skipped, '\0')), 0)
          << "data skipped from " << offset;
    }
  }
  std::uint64_t begin = 0, end = 0;
  ASSERT_TRUE(file->NextData(kFar + 1, &begin, &end).ok());
  EXPECT_EQ(begin, kFar + 1);  // inside the data: nothing to skip
}

// Locks belong to one open of the file: two opens in one process conflict
// as two processes would, readers share, and closing releases.
TYPED_TEST(EnvTest, LocksBelongToEachOpenOfTheFile) {
  this->Create("locked");
  auto writer = this->OpenFile("locked", OpenAccess::kReadWrite);
  auto reader1 = this->OpenFile("locked", OpenAccess::kReadOnly);
  auto reader2 = this->OpenFile("locked", OpenAccess::kReadOnly);
  constexpr std::uint64_t kFar = std::uint64_t{1} << 40;

  ASSERT_TRUE(reader1->TryLock(kFar, 1, LockMode::kShared).ok());
  ASSERT_TRUE(reader2->TryLock(kFar, 1, LockMode::kShared).ok());
  EXPECT_TRUE(writer->TryLock(kFar, 1, LockMode::kExclusive).IsBusy());
  ASSERT_TRUE(reader1->Unlock(kFar, 1).ok());
  EXPECT_TRUE(writer->TryLock(kFar, 1, LockMode::kExclusive).IsBusy());
  reader2.reset();  // closing drops the lock
  ASSERT_TRUE(writer->TryLock(kFar, 1, LockMode::kExclusive).ok());
  EXPECT_TRUE(reader1->TryLock(kFar, 1, LockMode::kShared).IsBusy());
  // Another byte is another lock; the locked range holds no data, so
  // reads and writes of the data go on.
  EXPECT_TRUE(reader1->TryLock(kFar + 1, 1, LockMode::kShared).ok());
  char byte;
  ASSERT_TRUE(writer->Write(0, "x", 1).ok());
  EXPECT_TRUE(reader1->Read(0, 1, &byte).ok());
}

// Facts come from the open file: two opens of one file agree on which file
// it is, another file is another, and a new name counts at once.
TYPED_TEST(EnvTest, FactsTellWhichFileIsOpenAndHowManyNamesItHas) {
  this->Create("a")->Write(0, "12345", 5);
  auto a = this->OpenFile("a", OpenAccess::kReadWrite);
  std::unique_ptr<RandomRWFile> again;
  ASSERT_TRUE(
      this->env()
          ->OpenNoFollow(this->PathOf("a"), OpenAccess::kReadOnly, &again)
          .ok());
  const FileFacts fa = this->FactsOf(a.get());
  EXPECT_TRUE(fa.regular);
  EXPECT_EQ(fa.size, 5u);
  EXPECT_EQ(fa.links, 1u);
  EXPECT_EQ(Identity(this->FactsOf(again.get())), Identity(fa));
  EXPECT_NE(Identity(this->FactsOf(this->Create("b").get())), Identity(fa));

  if (!TypeParam::kOnDisk) return;  // files in memory have one name each
  std::error_code error;
  std::filesystem::create_hard_link(this->PathOf("a"), this->PathOf("a2"),
                                    error);
  ASSERT_FALSE(error) << error.message();
  EXPECT_EQ(this->FactsOf(a.get()).links, 2u);
  FileFacts entry;
  ASSERT_TRUE(this->env()->EntryFacts(this->PathOf("a2"), &entry).ok());
  EXPECT_TRUE(entry.regular);
  EXPECT_EQ(entry.size, 5u);
  EXPECT_EQ(entry.links, 2u);
  EXPECT_EQ(Identity(entry), Identity(fa));
}

// A file belongs to its creator; handing it to the owner it has changes at
// most the bits, and to another counts only where the system truly does it.
TYPED_TEST(EnvTest, OwnersAreKeptOrTrulyHandedOver) {
  auto a = this->Create("a");
  std::unique_ptr<RandomRWFile> b;
  ASSERT_TRUE(this->env()->CreateExclusive(this->PathOf("b"), 0600, &b).ok());
  const FileFacts fa = this->FactsOf(a.get());
  EXPECT_FALSE(fa.owner.empty());
  EXPECT_TRUE(fa.owner_is_caller || fa.owner_is_administrator);
  EXPECT_EQ(this->FactsOf(b.get()).owner, fa.owner);
  if (TypeParam::kOnDisk) {
    // The folder's entry tells its owner too: whether a link in it may be
    // followed depends on who owns both.
    FileFacts folder;
    ASSERT_TRUE(
        this->env()->EntryFacts(this->dir_.path().string() + "/.", &folder).ok());
    EXPECT_EQ(folder.owner, fa.owner);
    EXPECT_EQ(folder.owner_is_caller, fa.owner_is_caller);
  }
  ASSERT_TRUE(b->TakeOwnershipOf(fa).ok());
  EXPECT_EQ(this->FactsOf(b.get()).mode, fa.mode);
  FileFacts model = fa;
#ifdef _WIN32
  model.owner = "S-1-5-18";  // the system itself
  EXPECT_EQ(fa.owner_is_administrator,
            fa.owner == "S-1-5-18" || fa.owner == "S-1-5-32-544");
#else
  model.owner = "65534";  // nobody
  EXPECT_EQ(fa.mode, 0640u);
  EXPECT_EQ(fa.owner_is_administrator, fa.owner == "0");
#endif
  if (model.owner == fa.owner) return;  // nobody else to hand it to
  const Status given = a->TakeOwnershipOf(model);
  EXPECT_TRUE(given.ok() || given.IsIOError()) << given.ToString();
  EXPECT_EQ(this->FactsOf(a.get()).owner, given.ok() ? model.owner : fa.owner)
      << given.ToString();
}

// The process's environment and identity, as a password reference reads
// them: a variable set is found, one unset is not, and the caller is the
// owner of a file it creates (or, on Windows, an administrator owns it).
TYPED_TEST(EnvTest, VariablesAndTheCallerAreTheProcesses) {
  SKIP_IN_MEMORY();
  std::string value = "kept";
  EXPECT_FALSE(this->env()->Variable("BRELLOX_ENV_TEST_UNSET", &value));
  EXPECT_EQ(value, "kept");
#ifdef _WIN32
  ASSERT_EQ(_putenv_s("BRELLOX_ENV_TEST_SET", "v\xc3\xa9"), 0);
#else
  ASSERT_EQ(setenv("BRELLOX_ENV_TEST_SET", "v\xc3\xa9", 1), 0);
#endif
  ASSERT_TRUE(this->env()->Variable("BRELLOX_ENV_TEST_SET", &value));
#ifndef _WIN32
  // Windows reads the variable in its code page, which may lack the byte.
  EXPECT_EQ(value, "v\xc3\xa9");
#endif
  EXPECT_EQ(value.front(), 'v');

  auto a = this->Create("a");
  const FileFacts facts = this->FactsOf(a.get());
  const std::string caller = this->env()->CallerIdentity();
  EXPECT_FALSE(caller.empty());
  EXPECT_TRUE(facts.owner == caller || facts.owner_is_administrator)
      << facts.owner << " / " << caller;
#ifndef _WIN32
  EXPECT_EQ(caller, std::to_string(geteuid()));
#endif
}

// Neither call follows a symbolic link as the last name: OpenNoFollow opens
// plain files only, and EntryFacts tells of the entry itself.
TYPED_TEST(EnvTest, NoFollowOpensOnlyPlainFilesAndEntryFactsSeeTheEntry) {
  this->Create("target");
  std::unique_ptr<RandomRWFile> file;
  FileFacts link;
  EXPECT_TRUE(
      this->env()
          ->OpenNoFollow(this->PathOf("missing"), OpenAccess::kReadOnly, &file)
          .IsFileMissing());
  EXPECT_TRUE(
      this->env()->EntryFacts(this->PathOf("missing"), &link).IsFileMissing());
  const std::string why = MakeSymlink(this->env(), this->PathOf("target"),
                                      this->PathOf("link"), false);
  if (!why.empty()) GTEST_SKIP() << "no symbolic link to refuse: " << why;
  const Status s = this->env()->OpenNoFollow(this->PathOf("link"),
                                             OpenAccess::kReadOnly, &file);
  EXPECT_TRUE(s.IsIOError()) << s.ToString();
  EXPECT_EQ(file, nullptr);
  ASSERT_TRUE(this->env()->EntryFacts(this->PathOf("link"), &link).ok());
  const FileFacts target =
      this->FactsOf(this->OpenFile("link", OpenAccess::kReadOnly).get());
  EXPECT_TRUE(target.regular);
  EXPECT_FALSE(link.regular);
  EXPECT_NE(Identity(link), Identity(target));
}

// One name per file, whichever path opened it, and one ordinary calls take.
TYPED_TEST(EnvTest, ResolvedPathIsOneNamePerFile) {
  SKIP_IN_MEMORY();
  std::filesystem::create_directory(this->PathOf("dir"));
  auto f = this->Create("dir/f");
  this->Create("dir/g");
  const std::string direct = this->ResolvedOf("dir/f");
  EXPECT_EQ(this->ResolvedOf("dir/./../dir/f"), direct);
  EXPECT_NE(this->ResolvedOf("dir/g"), direct);
#ifdef _WIN32
  EXPECT_NE(direct.rfind("\\\\?\\", 0), 0u) << direct;
#endif
  FileFacts by_name;
  ASSERT_TRUE(this->env()->EntryFacts(direct, &by_name).ok()) << direct;
  EXPECT_EQ(Identity(by_name), Identity(this->FactsOf(f.get())));
  const std::string why = MakeSymlink(this->env(), this->PathOf("dir"),
                                      this->PathOf("alias"), true);
  if (!why.empty()) GTEST_SKIP() << "no linked folder to resolve: " << why;
  EXPECT_EQ(this->ResolvedOf("alias/f"), direct);
}

// Entries reached through an open folder are in that folder: made, opened
// (never through a link), looked at and removed there, even once the folder
// was moved and another made at its old name. Windows does not let a folder
// open there move.
TYPED_TEST(EnvTest, AnOpenFoldersEntriesStayInItWhereverItMoves) {
  SKIP_IN_MEMORY();
  namespace fs = std::filesystem;
  fs::create_directory(this->PathOf("dir"));
  std::unique_ptr<Folder> folder;
  EXPECT_TRUE(this->env()
                  ->OpenFolder(this->PathOf("missing"), &folder)
                  .IsFileMissing());
  ASSERT_TRUE(this->env()->OpenFolder(this->PathOf("dir"), &folder).ok());
  std::unique_ptr<RandomRWFile> file;
  ASSERT_TRUE(folder->CreateExclusive("j", 0640, &file).ok());
  ASSERT_TRUE(file->Write(0, "abc", 3).ok());
  EXPECT_TRUE(folder->CreateExclusive("j", 0640, &file).IsAlreadyExists());
  EXPECT_EQ(file, nullptr);
  EXPECT_TRUE(folder->Sync().ok());
  FileFacts facts;
  ASSERT_TRUE(folder->EntryFacts("j", &facts).ok());
  EXPECT_TRUE(facts.regular);
  EXPECT_EQ(facts.size, 3u);
  EXPECT_TRUE(folder->EntryFacts("none", &facts).IsFileMissing());

  std::error_code moved;
  fs::rename(this->PathOf("dir"), this->PathOf("moved"), moved);
#ifdef _WIN32
  if (!moved) GTEST_SKIP() << "this system let an open folder move";
#else
  ASSERT_FALSE(moved) << moved.message();
  fs::create_directory(this->PathOf("dir"));
  ASSERT_TRUE(folder->CreateExclusive("k", 0640, &file).ok());
  EXPECT_TRUE(fs::exists(this->PathOf("moved/k")));
  EXPECT_FALSE(fs::exists(this->PathOf("dir/k")));
  ASSERT_TRUE(folder->OpenNoFollow("j", OpenAccess::kReadOnly, &file).ok());
  EXPECT_EQ(this->FactsOf(file.get()).size, 3u);
  ASSERT_TRUE(folder->RemoveFile("k").ok());
  EXPECT_FALSE(fs::exists(this->PathOf("moved/k")));
  EXPECT_TRUE(folder->RemoveFile("k").IsFileMissing());
  const std::string why = MakeSymlink(this->env(), this->PathOf("moved/j"),
                                      this->PathOf("moved/link"), false);
  if (!why.empty()) GTEST_SKIP() << "no symbolic link to refuse: " << why;
  EXPECT_TRUE(
      folder->OpenNoFollow("link", OpenAccess::kReadOnly, &file).IsIOError());
  ASSERT_TRUE(folder->EntryFacts("link", &facts).ok());
  EXPECT_FALSE(facts.regular);
#endif
}

// A change queue reports every change to a watched file's names made
// before a poll, once, and nothing for other names; a moved folder or a
// re-pointed link on the file's path ends the watch. Or the Env has no
// such signal.
TYPED_TEST(EnvTest, ChangeQueuesReportEveryChangeOfTheirFilesOnce) {
  SKIP_IN_MEMORY();
  auto f = this->Create("f");
  f->Write(0, "1234", 4);
  std::unique_ptr<ChangeQueue> queue;
  const Status s = this->env()->NewChangeQueue(&queue);
  if (s.IsRefused()) GTEST_SKIP() << s.ToString();
  ASSERT_TRUE(s.ok()) << s.ToString();
  const std::string folder = this->dir_.path().string();
  int watch = 0;
  ASSERT_TRUE(
      queue->Watch(this->PathOf("f"), folder, {"f", "f-journal"}, &watch).ok());
  // What the queue says of `watch` now: "", "changed" or "ended".
  const auto poll = [&](int of) {
    std::vector<ChangeQueue::Report> reports;
    bool mounts_changed = false;
    EXPECT_TRUE(queue->Poll(&reports, &mounts_changed).ok());
    EXPECT_FALSE(mounts_changed);
    std::string said;
    for (const auto& report : reports) {
      if (report.watch == of) said = report.ended ? "ended" : "changed";
    }
    return said;
  };
  EXPECT_EQ(poll(watch), "");
  this->Create("other")->Write(0, "x", 1);
  EXPECT_EQ(poll(watch), "");

  Env* env = this->env();
  const std::string other = this->PathOf("other"), path = this->PathOf("f");
  std::unique_ptr<RandomRWFile> journal, replacement;
  // Files that come to a watched name later are watched too.
  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
      {"same size", [&] { f->Write(0, "abcd", 4); }},
      {"cut", [&] { f->Truncate(2); }},
      {"journal created", [&] { journal = this->Create("f-journal"); }},
      {"journal written", [&] { journal->Write(0, "j", 1); }},
      {"replaced", [&] { env->RenameReplacing(other, path); }},
      {"replacement written",
       [&] {
         replacement = this->OpenFile("f", OpenAccess::kReadWrite);
         replacement->Write(0, "y", 1);
       }},
      {"journal removed", [&] { env->RemoveFile(path + "-journal"); }},
  };
  for (const auto& [what, change] : changes) {
    change();
    EXPECT_EQ(poll(watch), "changed") << what;
    EXPECT_EQ(poll(watch), "") << what;
  }

  // The route: a folder above the file, and a link on the way.
  namespace fs = std::filesystem;
  fs::create_directories(this->PathOf("a/b"));
  fs::create_directories(this->PathOf("c"));
  this->Create("a/b/g");
  this->Create("c/g");
  const std::string why =
      MakeSymlink(env, this->PathOf("a"), this->PathOf("link"), true);
  if (!why.empty()) GTEST_SKIP() << "no link to watch: " << why;
  // Events queued before a watch is made may be told to it too.
  EXPECT_EQ(poll(watch), "");
  int by_link = 0;
  ASSERT_TRUE(queue
                  ->Watch(this->PathOf("link/b/g"), this->PathOf("a/b"), {"g"},
                          &by_link)
                  .ok());
  EXPECT_EQ(poll(by_link), "");
  fs::remove(this->PathOf("link"));
  fs::create_directory_symlink(this->PathOf("c"), this->PathOf("link"));
  EXPECT_EQ(poll(by_link), "ended");
  queue->Unwatch(by_link);
  int below = 0;
  ASSERT_TRUE(
      queue->Watch(this->PathOf("a/b/g"), this->PathOf("a/b"), {"g"}, &below)
          .ok());
  EXPECT_EQ(poll(below), "");
  fs::rename(this->PathOf("a"), this->PathOf("moved"));
  EXPECT_EQ(poll(below), "ended");
  queue->Unwatch(below);
  // The first watch saw none of it.
  EXPECT_EQ(poll(watch), "");
}

#if !defined(_WIN32)
// A mount or unmount anywhere is reported by the next poll, once, however
// many polls came between (where this process may mount).
TYPED_TEST(EnvTest, ChangeQueuesReportEachMountOnce) {
  std::unique_ptr<ChangeQueue> queue;
  const Status s = this->env()->NewChangeQueue(&queue);
  if (s.IsRefused()) GTEST_SKIP() << s.ToString();
  ASSERT_TRUE(s.ok()) << s.ToString();
  const auto mounts_changed = [&] {
    std::vector<ChangeQueue::Report> reports;
    bool changed = false;
    EXPECT_TRUE(queue->Poll(&reports, &changed).ok());
    return changed;
  };
  namespace fs = std::filesystem;
  fs::create_directories(this->PathOf("from"));
  fs::create_directories(this->PathOf("over"));
  EXPECT_FALSE(mounts_changed());
  EXPECT_FALSE(mounts_changed());
  if (mount(this->PathOf("from").c_str(), this->PathOf("over").c_str(),
            nullptr, MS_BIND, nullptr) != 0) {
    GTEST_SKIP() << "no mount here: " << std::strerror(errno);
  }
  EXPECT_TRUE(mounts_changed());
  EXPECT_FALSE(mounts_changed());
  EXPECT_FALSE(mounts_changed());
  ASSERT_EQ(umount2(this->PathOf("over").c_str(), MNT_DETACH), 0);
  EXPECT_TRUE(mounts_changed());
  EXPECT_FALSE(mounts_changed());
}
#endif

}  // namespace
}  // namespace test
}  // namespace brellox
