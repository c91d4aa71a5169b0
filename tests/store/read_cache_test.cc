// The read cache: every lookup it serves answers as a scan of the file
// would, from memory only while the change signal is silent, and never from
// a table read before a change that returned before the call began. The
// races are driven through a FaultEnv whose notification queue the test
// fills; the kernel's own signal is checked across real processes.
#include "src/store/read_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "src/options/option_file.h"
#include "src/options/options.h"
#include "src/sources/sources.h"
#include "src/sources/twin_table.h"
#include "src/store/file_lock.h"
#include "src/store/journal.h"
#include "src/store/last_error.h"
#include "src/users/users.h"
#include "tests/testutil/store_fixture.h"

#if !defined(_WIN32)
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace brellox {
namespace test {
namespace {

constexpr int kUserRecord = 100;
constexpr int kPasswordAt = 34;

// One lookup of each kind the cache serves, its answer as a number.
struct Lookup {
  const char* what;
  std::function<SVR_LONG(const Store&)> call;
};

std::vector<Lookup> Lookups() {
  return {
      {"check user", [](const Store& s) { return CheckUser(s, "bob", "pw2"); }},
      {"user by name",
       [](const Store& s) { return GetUserIDByName(s, "bob"); }},
      {"user by ID",
       [](const Store& s) {
         char name[32];
         return GetUser(s, 2, name, sizeof(name)) * (name[0] == 'b' ? 1 : 2);
       }},
      {"privilege",
       [](const Store& s) {
         SVR_LONG value = 0;
         return GetUserPriv(s, 2, 7, value) * 100 + value;
       }},
      {"GDB by name",
       [](const Store& s) {
         SVR_LONG id = 0;
         return GetGDBID(s, "g2", id) * 100 + id;
       }},
      {"GDB by ID",
       [](const Store& s) {
         SVC_GDB_INFO info;
         return GdbTable::Get(s, 2, info) * 100 + info.name[1];
       }},
      {"connection by name",
       [](const Store& s) { return ConnTable::Exists(s, "c2"); }},
      {"option group",
       [](const Store& s) {
         CONFIG_OPTION option;
         return GetOptionInfo(s, "grp", 3, 0, option) * 100 + option.value[0];
       }},
  };
}

CONFIG_OPTION IntOption(std::int32_t value) {
  CONFIG_OPTION option{};
  option.type = 4;
  std::memcpy(option.value, &value, sizeof(value));
  return option;
}

class ReadCacheTest : public StoreFixture {
 protected:
  ReadCacheTest() {
    const Store s = store();
    for (const char* name : {"ann", "bob", "cid"}) {
      EXPECT_GT(AddUser(s, name, (std::string("pw") + name[0]).c_str()), 0);
    }
    // Passwords of three bytes, so that a change keeps every size.
    EXPECT_EQ(UpdateUser(s, 2, "pw2"), 1);
    EXPECT_EQ(SetUserPriv(s, 2, 7, 5), 1);
    for (const char* name : {"g1", "g2"}) {
      SVC_GDB_INFO gdb{};
      std::strcpy(gdb.name, name);
      EXPECT_GT(GdbTable::Add(s, gdb), 0);
    }
    SVC_GDB_CONN_INFO conn{};
    std::strcpy(conn.name, "c2");
    EXPECT_GT(ConnTable::Add(s, conn), 0);
    const CONFIG_OPTION options[1] = {IntOption(9)};
    EXPECT_EQ(AddOptionInfo(s, "grp", 3, options, 1), 1);
    env_.set_watching(FaultEnv::Watching::kControlled);
  }

  // Opens made by `call`: 0 when the cache answered.
  int OpensOf(const std::function<void()>& call) {
    env_.ResetCounts();
    call();
    return env_.opens();
  }

  // The file with bob's password (three bytes) replaced.
  std::string WithBobsPassword(const char* password) {
    std::string bytes = FileBytes();
    const std::size_t at = Header().users.offset + kUserRecord + kPasswordAt;
    bytes.replace(at, 3, password);
    return bytes;
  }
};

TEST_F(ReadCacheTest, EveryLookupIsServedFromMemoryUntilAChangeIsReported) {
  for (const Lookup& lookup : Lookups()) {
    env_.QueueChange();
    SVR_LONG first = 0;
    EXPECT_GT(OpensOf([&] { first = lookup.call(store()); }), 0) << lookup.what;
    EXPECT_NE(first, 0) << lookup.what;
    // The second call builds the index, the third uses it.
    for (int again = 0; again < 2; ++again) {
      SVR_LONG answer = 0;
      EXPECT_EQ(OpensOf([&] { answer = lookup.call(store()); }), 0)
          << lookup.what;
      EXPECT_EQ(answer, first) << lookup.what;
    }
    env_.QueueChange();
    EXPECT_GT(OpensOf([&] { lookup.call(store()); }), 0) << lookup.what;
  }
}

// A change that lands after a miss read the table, before it keeps it: the
// table must not be kept, whichever call drains the event.
TEST_F(ReadCacheTest, AChangeRightAfterTheReadIsNeverServedLater) {
  const std::string changed = WithBobsPassword("pwX");
  for (bool another_call_drains : {false, true}) {
    SCOPED_TRACE(another_call_drains ? "drained by another call"
                                     : "drained by the next call");
    SetFileBytes(WithBobsPassword("pw2"));
    env_.QueueChange();
    env_.AfterReads(2, [&] {  // the header, then the user table
      SetFileBytes(changed);
      env_.QueueChange();
      SVR_LONG value = 0;
      if (another_call_drains) GetUserPriv(store(), 2, 7, value);
    });
    EXPECT_EQ(CheckUser(store(), "bob", "pw2"), 1);  // it read before
    EXPECT_GT(OpensOf([&] { EXPECT_EQ(CheckUser(store(), "bob", "pwX"), 1); }),
              0);
  }
}

TEST_F(ReadCacheTest, AWriterOfThisProcessDropsWhatWasKept) {
  ASSERT_EQ(CheckUser(store(), "bob", "pw2"), 1);
  ASSERT_EQ(UpdateUser(store(), 2, "pwY"), 1);  // no event queued
  EXPECT_EQ(CheckUser(store(), "bob", "pwY"), 1);
}

// A file renamed over the path after a first fill opened the file and
// before its watch existed raises nothing the watch reports: the fill must
// read the file the path names once the watch exists.
TEST_F(ReadCacheTest, AFileRenamedOverThePathDuringAFirstFillIsRead) {
#if defined(_WIN32)
  GTEST_SKIP() << "Windows replaces no file that is open";
#endif
  const std::string tmp = (dir_.path() / "replacement").string();
  WriteBytes(tmp, WithBobsPassword("pwX"));
  env_.AfterReads(1, [&] { std::filesystem::rename(tmp, path()); });
  EXPECT_EQ(CheckUser(store(), "bob", "pwX"), 1);
  EXPECT_EQ(CheckUser(store(), "bob", "pwX"), 1);
  EXPECT_EQ(CheckUser(store(), "bob", "pw2"), 0);
}

// While a rename onto the path is under way, the name may still lead to
// the file it has unlinked: opened again after a pause, as often as the
// busy timeout allows, never given up on at once.
TEST_F(ReadCacheTest, ANameStillLeadingToAnUnlinkedFileIsOpenedAgain) {
  env_.OpensFindUnlinked(5);
  EXPECT_EQ(CheckUser(store(), "bob", "pw2"), 1);
  EXPECT_EQ(UpdateUser(store(), 2, "pwY"), 1);
  SetThreadBusyTimeout(0);
  env_.OpensFindUnlinked(1);
  EXPECT_EQ(UpdateUser(store(), 2, "pwZ"), 0);
  char message[256] = {};
  CopyLastError(message, sizeof(message));
  EXPECT_NE(std::string(message).find(
                "replaced by another file each time it was opened"),
            std::string::npos)
      << message;
  SetThreadBusyTimeout(-1);
  EXPECT_EQ(CheckUser(store(), "bob", "pwY"), 1);
}

// Changes no signal reports (asynchronous writes on some kernels) are
// seen within a second: the file is looked at by its path once a second.
TEST_F(ReadCacheTest, ChangesNoSignalReportsAreSeenWithinASecond) {
#if defined(_WIN32)
  GTEST_SKIP() << "Windows gives no change signal, and no file times here";
#endif
  env_.AdvanceClock(2 * ReadCache::kRevalidateMicros);  // older than a tick
  EXPECT_EQ(CheckUser(store(), "bob", "pw2"), 1);
  SetFileBytes(WithBobsPassword("pwX"));  // no event queued
  EXPECT_EQ(OpensOf([&] { EXPECT_EQ(CheckUser(store(), "bob", "pw2"), 1); }),
            0);
  env_.AdvanceClock(ReadCache::kRevalidateMicros);
  EXPECT_EQ(CheckUser(store(), "bob", "pwX"), 1);
  EXPECT_EQ(OpensOf([&] { EXPECT_EQ(CheckUser(store(), "bob", "pwX"), 1); }),
            0);
}

// A read after a change of the file the cache already watched keeps the
// file's facts as its open found them: the look a second later finds the
// file as read (no read then), and a change no signal reports is seen at
// the look after it.
TEST_F(ReadCacheTest, ARefillOfAWatchedFileIsConfirmedByItsLooks) {
#if defined(_WIN32)
  GTEST_SKIP() << "Windows gives no change signal, and no file times here";
#endif
  EXPECT_EQ(CheckUser(store(), "bob", "pw2"), 1);
  SetFileBytes(WithBobsPassword("pwX"));
  env_.QueueChange();
  env_.AdvanceClock(2 * ReadCache::kRevalidateMicros);  // older than a tick
  EXPECT_GT(OpensOf([&] { EXPECT_EQ(CheckUser(store(), "bob", "pwX"), 1); }),
            0);
  env_.AdvanceClock(2 * ReadCache::kRevalidateMicros);
  EXPECT_EQ(OpensOf([&] { EXPECT_EQ(CheckUser(store(), "bob", "pwX"), 1); }),
            0);
  SetFileBytes(WithBobsPassword("pwZ"));  // no event queued
  env_.AdvanceClock(2 * ReadCache::kRevalidateMicros);
  EXPECT_EQ(CheckUser(store(), "bob", "pwZ"), 1);
}

// Many users whose IDs repeat (and some below 1): every name answers from
// the index as a scan of the file answers, the first to carry its ID.
TEST_F(ReadCacheTest, AnIndexOverRepeatedIdsAnswersAsTheScan) {
  constexpr int kUsers = 300;
  for (int i = 0; i < kUsers; ++i) {
    const std::string name = "u" + std::to_string(i);
    ASSERT_GT(AddUser(store(), name.c_str(), "pw"), 0);
  }
  std::string bytes = FileBytes();
  const std::size_t users = Header().users.offset;
  std::mt19937 random(7);
  for (int i = 0; i < kUsers + 3; ++i) {
    // IDs from -1 to 90: most repeat, in no order.
    const std::int32_t id = static_cast<std::int32_t>(random() % 92) - 1;
    std::memcpy(&bytes[users + static_cast<std::size_t>(i) * kUserRecord], &id,
                sizeof(id));
  }
  SetFileBytes(bytes);
  env_.QueueChange();
  FaultEnv unwatched(Env::Default());  // no queue: every call scans the file
  const Store scanning{&unwatched, path().string()};
  int found = 0;
  for (int i = 0; i < kUsers + 5; ++i) {
    const std::string name = "u" + std::to_string(i);
    const SVR_LONG scanned = GetUserIDByName(scanning, name.c_str());
    found += scanned != 0 ? 1 : 0;
    EXPECT_EQ(GetUserIDByName(store(), name.c_str()), scanned) << name;
    EXPECT_EQ(CheckUser(store(), name.c_str(), "pw"),
              CheckUser(scanning, name.c_str(), "pw"))
        << name;
  }
  // Both kinds of answer were checked.
  EXPECT_GT(found, 20);
  EXPECT_LT(found, kUsers - 20);
  EXPECT_EQ(OpensOf([&] { GetUserIDByName(store(), "u1"); }), 0);
}

// A file changed within a tick of its read may keep its times through a
// later write: it is read again at its first look, not trusted.
TEST_F(ReadCacheTest, AFileReadWithinATickOfItsChangeIsReadAgain) {
#if defined(_WIN32)
  GTEST_SKIP() << "Windows gives no change signal, and no file times here";
#endif
  EXPECT_EQ(CheckUser(store(), "bob", "pw2"), 1);
  env_.AdvanceClock(2 * ReadCache::kRevalidateMicros);
  EXPECT_GT(OpensOf([&] { CheckUser(store(), "bob", "pw2"); }), 0);
  env_.AdvanceClock(2 * ReadCache::kRevalidateMicros);
  EXPECT_EQ(OpensOf([&] { CheckUser(store(), "bob", "pw2"); }), 0);
}

// A mount anywhere makes each kept path be asked where it leads.
TEST_F(ReadCacheTest, AMountChangeChecksWhereThePathLeads) {
  EXPECT_EQ(CheckUser(store(), "bob", "pw2"), 1);
  env_.QueueMountChange();
  EXPECT_EQ(OpensOf([&] { CheckUser(store(), "bob", "pw2"); }), 0);
  const std::string tmp = (dir_.path() / "replacement").string();
  WriteBytes(tmp, WithBobsPassword("pwX"));
  std::filesystem::rename(tmp, path());  // as a mount would: no event
  env_.QueueMountChange();
  EXPECT_EQ(CheckUser(store(), "bob", "pwX"), 1);
}

// Run by CTest with BRELLOX_READ_CACHE=0 (read_cache_off): every lookup
// reads the file.
TEST_F(ReadCacheTest, TheOffSwitchMakesEveryLookupReadTheFile) {
  const char* setting = std::getenv("BRELLOX_READ_CACHE");
  if (setting == nullptr || std::string(setting) != "0") {
    GTEST_SKIP() << "run with BRELLOX_READ_CACHE=0";
  }
  EXPECT_EQ(CheckUser(store(), "bob", "pw2"), 1);
  EXPECT_GT(OpensOf([&] { EXPECT_EQ(CheckUser(store(), "bob", "pw2"), 1); }),
            0);
}

TEST_F(ReadCacheTest, LostEventsEndTheWatchAndTheNextCallReads) {
  ASSERT_EQ(GetUserIDByName(store(), "cid"), 3);
  const int watches = env_.watches();
  env_.LoseChanges();
  EXPECT_GT(OpensOf([&] { EXPECT_EQ(GetUserIDByName(store(), "cid"), 3); }), 0);
  EXPECT_EQ(env_.watches(), watches + 1);
  EXPECT_EQ(OpensOf([&] { GetUserIDByName(store(), "cid"); }), 0);
}

TEST_F(ReadCacheTest, NothingIsKeptWithoutAWatchOrWithASecondName) {
  env_.set_watching(FaultEnv::Watching::kNone);
  GetUserIDByName(store(), "ann");
  EXPECT_GT(OpensOf([&] { GetUserIDByName(store(), "ann"); }), 0);
  env_.set_watching(FaultEnv::Watching::kControlled);
  std::error_code error;
  std::filesystem::create_hard_link(path(), dir_.path() / "second", error);
  if (error) GTEST_SKIP() << "no second name: " << error.message();
  GetUserIDByName(store(), "ann");
  EXPECT_GT(OpensOf([&] { GetUserIDByName(store(), "ann"); }), 0);
}

// Duplicate names and IDs, and names that cannot match: the index answers
// as the scan does (the first call scans, the later ones use the index).
TEST_F(ReadCacheTest, IndexesAnswerWithTheRecordTheScanFinds) {
  std::string bytes = FileBytes();
  const std::size_t users = Header().users.offset;
  // cid takes bob's ID, so only bob answers to it.
  const SVR_LONG bob = 2;
  std::memcpy(&bytes[users + 2 * kUserRecord], &bob, 4);
  SetFileBytes(bytes);
  env_.QueueChange();
  const std::string long_name(40, 'a');
  const std::vector<std::function<SVR_LONG()>> queries = {
      [&] { return GetUserIDByName(store(), "cid"); },
      [&] { return GetUserIDByName(store(), "bob"); },
      [&] { return CheckUser(store(), "cid", "pwc"); },
      [&] { return GetUserIDByName(store(), long_name.c_str()); },
      [&] { return GetUserIDByName(store(), ""); },
      [&] {
        SVR_LONG id = 0;
        return GetGDBID(store(), long_name.c_str(), id) * 100 + id;
      },
      [&] {
        CONFIG_OPTION option;
        return GetOptionInfo(store(), "grp", 4, 0, option);
      },
  };
  for (std::size_t q = 0; q < queries.size(); ++q) {
    const SVR_LONG scanned = queries[q]();
    EXPECT_EQ(queries[q](), scanned) << "query " << q;
    EXPECT_EQ(queries[q](), scanned) << "query " << q;
  }
  EXPECT_EQ(GetUserIDByName(store(), "cid"), 0);  // its ID answers as bob
}

TEST_F(ReadCacheTest, MemoryIsBounded) {
  const auto load = [&](ReadCache& cache, const TableSpec& spec) {
    ConfigSession session;
    TableImage image;
    EXPECT_TRUE(cache.Load(store(), spec, &session, &image, -1).ok());
    return image.count();
  };
  ReadCache unbounded(1 << 20);
  load(unbounded, kUserTable);
  const std::size_t users = unbounded.bytes();
  load(unbounded, kOptionGroupTable);
  const std::size_t groups = unbounded.bytes() - users;
  ASSERT_GT(users, 0u);
  ASSERT_GT(groups, 0u);

  // Room for either table, not both: keeping one drops the other.
  const std::size_t limit = std::max(users, groups);
  ReadCache cache(limit);
  EXPECT_EQ(load(cache, kUserTable), 3);
  EXPECT_EQ(OpensOf([&] { load(cache, kUserTable); }), 0);
  EXPECT_EQ(load(cache, kOptionGroupTable), 1);
  EXPECT_LE(cache.bytes(), limit);
  EXPECT_GT(OpensOf([&] { load(cache, kUserTable); }), 0);

  ReadCache tiny(std::min(users, groups) - 1);
  load(tiny, kUserTable);
  load(tiny, kOptionGroupTable);
  EXPECT_EQ(tiny.bytes(), 0u);
}

TEST_F(ReadCacheTest, WatchingAnotherFileBeyondTheLimitDropsTheOldest) {
  ReadCache cache(1 << 20);
  const auto load = [&](const std::string& file) {
    ConfigSession session;
    TableImage image;
    EXPECT_TRUE(
        cache.Load(Store{&env_, file}, kUserTable, &session, &image, -1).ok());
  };
  std::vector<std::string> files;
  for (std::size_t i = 0; i <= ReadCache::kMaxWatchedFiles; ++i) {
    files.push_back((dir_.path() / ("copy" + std::to_string(i))).string());
    WriteBytes(files.back(), FileBytes());
  }
  for (const std::string& file : files) load(file);
  EXPECT_EQ(OpensOf([&] { load(files.back()); }), 0);
  EXPECT_GT(OpensOf([&] { load(files.front()); }), 0);
}

#if !defined(_WIN32)
// The kernel's own signal, with changes made by other processes.
class ReadCacheProcessTest : public ReadCacheTest {
 protected:
  Store system() { return Store{Env::Default(), path().string()}; }

  // Fills the cache, then runs `change` in a child process and returns its
  // result once it has ended (-1 when it could not run).
  int InChild(const std::function<int()>& change) {
    // Twice, so the index is built too.
    EXPECT_EQ(CheckUser(system(), "bob", "pw2"), 1);
    EXPECT_EQ(CheckUser(system(), "bob", "pw2"), 1);
    const pid_t child = fork();
    if (child == 0) _exit(change());
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child ||
        !WIFEXITED(status)) {
      return -1;
    }
    return WEXITSTATUS(status);
  }
};

TEST_F(ReadCacheProcessTest, ChangesOfAnotherProcessAreSeenByTheNextCall) {
  const std::string changed = WithBobsPassword("pwX");
  const std::string tmp = (dir_.path() / "replacement").string();
  const std::vector<std::pair<const char*, std::function<int()>>> changes = {
      {"library call",
       [&] {
         return UpdateUser(Store{Env::Default(), path().string()}, 2, "pwX");
       }},
      {"rewritten in place",
       [&] {
         SetFileBytes(changed);
         return 1;
       }},
      {"replaced by rename",
       [&] {
         WriteBytes(tmp, changed);
         std::filesystem::rename(tmp, path());
         return 1;
       }},
  };
  for (const auto& [what, change] : changes) {
    SCOPED_TRACE(what);
    SetFileBytes(WithBobsPassword("pw2"));
    ASSERT_EQ(InChild(change), 1);
    EXPECT_EQ(CheckUser(system(), "bob", "pw2"), 0);
    EXPECT_EQ(CheckUser(system(), "bob", "pwX"), 1);
  }
}

// A fresh process's first fill while another process renames a new file
// over the path at a random moment: no call fails, and none answers from
// the replaced file once the rename has returned.
// A child of fork shares its parent's change signals: its calls must
// take none of the events its parent has not read yet.
TEST_F(ReadCacheProcessTest, AChildsCallsTakeNoEventItsParentNeeds) {
  EXPECT_EQ(CheckUser(system(), "bob", "pw2"), 1);
  EXPECT_EQ(CheckUser(system(), "bob", "pw2"), 1);
  WriteBytes(path(), WithBobsPassword("pwX"));  // queued, not read yet
  const pid_t child = fork();
  if (child == 0) _exit(CheckUser(system(), "bob", "pwX") == 1 ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(CheckUser(system(), "bob", "pwX"), 1);
}

TEST_F(ReadCacheProcessTest, FirstFillsRacingARenameAreNeverStale) {
  const std::string before = FileBytes();
  std::string after = before;
  const std::size_t ann = after.find("ann", Header().users.offset);
  ASSERT_NE(ann, std::string::npos);
  after.replace(ann, 3, "ama");
  const std::string tmp = (dir_.path() / "replacement").string();
  std::mt19937 random(7);
  int failed = 0;
  int stale = 0;
  for (int round = 0; round < 2000; ++round) {
    SetFileBytes(before);
    WriteBytes(tmp, after);
    int renamed[2];
    ASSERT_EQ(pipe(renamed), 0);
    const pid_t child = fork();
    if (child == 0) {
      char name[32] = {};
      if (GetUser(system(), 1, name, sizeof(name)) != 1) _exit(1);
      char done;
      if (read(renamed[0], &done, 1) != 1) _exit(1);
      if (GetUser(system(), 1, name, sizeof(name)) != 1) _exit(1);
      _exit(std::string(name) == "ama" ? 0 : 2);
    }
    ASSERT_GT(child, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 400));
    std::filesystem::rename(tmp, path());
    ASSERT_EQ(write(renamed[1], "r", 1), 1);
    close(renamed[0]);
    close(renamed[1]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    failed += WEXITSTATUS(status) == 1 ? 1 : 0;
    stale += WEXITSTATUS(status) == 2 ? 1 : 0;
  }
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(stale, 0);
}

// Files are known by their absolute path: a relative one is taken from the
// working folder of each call.
TEST_F(ReadCacheProcessTest, ARelativePathFollowsTheWorkingFolder) {
  const std::filesystem::path other = dir_.path() / "other";
  std::filesystem::create_directory(other);
  std::string bytes = FileBytes();
  bytes.replace(bytes.find("ann", Header().users.offset), 3, "ama");
  WriteBytes(other / path().filename(), bytes);
  const std::filesystem::path was = std::filesystem::current_path();
  const Store relative{Env::Default(), path().filename().string()};
  char name[32] = {};
  std::filesystem::current_path(dir_.path());
  for (int i = 0; i < 2; ++i) GetUser(relative, 1, name, sizeof(name));
  const std::string first = name;
  std::filesystem::current_path(other);
  GetUser(relative, 1, name, sizeof(name));
  std::filesystem::current_path(was);
  EXPECT_EQ(first, "ann");
  EXPECT_EQ(std::string(name), "ama");
}

// What lies on the file's path: the folders above it, the links on the
// way, and mounts over the file or a folder.
TEST_F(ReadCacheProcessTest, AChangedPathIsSeenByTheNextCall) {
  namespace fs = std::filesystem;
  const fs::path& d = dir_.path();
  const std::string name = path().filename().string();
  const std::string old_bytes = WithBobsPassword("pw2");
  const std::string new_bytes = WithBobsPassword("pwX");
  // Each: where the file is looked up, and what makes it lead to new_bytes.
  // A change returns false when this system cannot make it.
  const std::vector<std::tuple<const char*, fs::path, std::function<bool()>>>
      changes = {
          {"folder above moved", d / "a" / "b" / name,
           [&] {
             fs::rename(d / "a", d / "a-old");
             fs::create_directories(d / "a" / "b");
             WriteBytes(d / "a" / "b" / name, new_bytes);
             return true;
           }},
          {"link re-pointed", d / "current" / name,
           [&] {
             fs::create_directories(d / "v2");
             WriteBytes(d / "v2" / name, new_bytes);
             fs::remove(d / "current");
             fs::create_directory_symlink(d / "v2", d / "current");
             return true;
           }},
          {"file mounted over", d / "m" / name,
           [&] {
             WriteBytes(d / "new", new_bytes);
             return mount((d / "new").c_str(), (d / "m" / name).c_str(),
                          nullptr, MS_BIND, nullptr) == 0;
           }},
          {"folder mounted over", d / "f" / name,
           [&] {
             fs::create_directories(d / "f2");
             WriteBytes(d / "f2" / name, new_bytes);
             return mount((d / "f2").c_str(), (d / "f").c_str(), nullptr,
                          MS_BIND, nullptr) == 0;
           }},
      };
  fs::create_directories(d / "a" / "b");
  fs::create_directories(d / "v1");
  fs::create_directory_symlink(d / "v1", d / "current");
  fs::create_directories(d / "m");
  fs::create_directories(d / "f");
  for (const auto& [what, at, change] : changes) {
    SCOPED_TRACE(what);
    WriteBytes(at, old_bytes);
    const Store s{Env::Default(), at.string()};
    for (int twice = 0; twice < 2; ++twice) {
      EXPECT_EQ(CheckUser(s, "bob", "pw2"), 1);
    }
    if (!change()) {
      std::printf("skipped %s: %s\n", what, std::strerror(errno));
      continue;
    }
    EXPECT_EQ(CheckUser(s, "bob", "pwX"), 1);
    EXPECT_EQ(CheckUser(s, "bob", "pw2"), 0);
  }
  umount2((d / "m" / name).c_str(), MNT_DETACH);
  umount2((d / "f").c_str(), MNT_DETACH);
}

TEST_F(ReadCacheProcessTest, AJournalLeftByAKilledWriterIsRecoveredFirst) {
  const std::string journal_path = JournalPathFor(path().string());
  int journals_left = 0;
  for (int k = 1;; ++k) {
    SCOPED_TRACE("writer dies before its write " + std::to_string(k));
    SetFileBytes(WithBobsPassword("pw2"));
    const int died = InChild([&] {
      FaultEnv dying(Env::Default());
      dying.Arm(FaultEnv::Op::kWrite, k, FaultEnv::Fault::kCrash);
      UpdateUser(Store{&dying, path().string()}, 2, "pwX");
      return dying.fired() ? 1 : 0;
    });
    ASSERT_GE(died, 0);
    if (died == 0) {  // the change landed whole
      EXPECT_EQ(CheckUser(system(), "bob", "pwX"), 1);
      break;
    }
    std::uint64_t journal = 0;
    Env::Default()->FileSize(journal_path, &journal);
    journals_left += journal > 0 ? 1 : 0;
    // A writer that died before its first write to the file changed
    // nothing this process keeps: it answers from memory, as it should.
    EXPECT_EQ(CheckUser(system(), "bob", "pw2"), 1);
    // The next call that reads the file restores it first.
    FaultEnv uncached(Env::Default());
    EXPECT_EQ(CheckUser(Store{&uncached, path().string()}, "bob", "pw2"), 1);
    ASSERT_TRUE(Env::Default()->FileSize(journal_path, &journal).ok());
    EXPECT_EQ(journal, 0u);
    ASSERT_LT(k, 20);
  }
  EXPECT_GT(journals_left, 0);
}

// A writer changes nothing a reader keeps until it writes the file: while
// it reads, plans and journals, a cached reader answers from memory without
// touching the file or its lock; from its first write to the file on, the
// reader reads the file, and so waits for the writer (here it may not wait,
// and gives up at once). The writer's own Env stands for another process:
// its commit reaches the cache only through the change signal.
TEST_F(ReadCacheProcessTest, ACachedReaderAnswersWhileAWriterJournals) {
  env_.set_watching(FaultEnv::Watching::kSystem);
  ASSERT_EQ(CheckUser(store(), "bob", "pw2"), 1);
  ASSERT_EQ(CheckUser(store(), "bob", "pw2"), 1);
  // In a thread of its own, with no wait for the lock: the writer's
  // thread is inside the writer's call.
  const auto check = [&](const char* password) {
    return std::async(std::launch::async,
                      [&] {
                        SetThreadBusyTimeout(0);
                        env_.ResetCounts();
                        const SVR_LONG matched =
                            CheckUser(store(), "bob", password);
                        return std::make_pair(matched, env_.opens());
                      })
        .get();
  };
  FaultEnv writer(Env::Default());
  int journal_writes = 0;
  int file_writes = 0;
  writer.set_write_observer([&](const std::string& written) {
    const std::string suffix = kJournalSuffix;
    if (written.size() > suffix.size() &&
        written.compare(written.size() - suffix.size(), suffix.size(),
                        suffix) == 0) {
      ++journal_writes;
      EXPECT_EQ(check("pw2"), std::make_pair(SVR_LONG{1}, 0))
          << "not answered from memory while the writer journals";
    } else if (file_writes++ == 0) {
      EXPECT_EQ(check("pw2").first, 0)
          << "answered from memory after the file was written";
    }
  });
  ASSERT_EQ(UpdateUser(Store{&writer, path().string()}, 2, "pwX"), 1);
  EXPECT_GT(journal_writes, 0);
  EXPECT_GT(file_writes, 0);
  EXPECT_EQ(CheckUser(store(), "bob", "pwX"), 1);
}
#endif

}  // namespace
}  // namespace test
}  // namespace brellox
