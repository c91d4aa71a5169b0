// Every change lands whole or not at all. For each exported function that
// writes, from a file where the change must grow its table and from one
// where it need not (and for a connection added to a full table, from one
// whose later tables have free slots, so that the growth both moves tables
// and zero-fills their free slots), and for k = 1, 2, ... until the call
// completes:
//   the k-th I/O fails once; the k-th and every later I/O fails; the
//   process dies before its k-th write; its k-th write is torn; the power
//   goes after its k-th write, with the unsynced writes dropped, kept, kept
//   as a prefix or kept all but one; and a second crash strikes during the
//   recovery that follows.
// After each, the next call (which recovers) must find the file byte for
// byte as it was before or as the change leaves it, the journal idle, and a
// change that reported success always leaves the after-image. The read cache
// is on (the system's change signal), filled before each change: what it
// answers afterwards must be what the file holds.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "src/options/options.h"
#include "src/sources/twin_table.h"
#include "src/store/config_file.h"
#include "src/store/journal.h"
#include "src/store/temp_dir.h"
#include "src/users/users.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

struct Change {
  const char* what;
  std::function<SVR_LONG(const Store&)> run;
};

SVC_GDB_CONN_INFO Conn(SVR_LONG id, const char* name) {
  SVC_GDB_CONN_INFO info{};
  info.id = id;
  std::strncpy(info.name, name, sizeof(info.name));
  std::strncpy(info.info1, "db.example", sizeof(info.info1));
  return info;
}

SVC_GDB_INFO Gdb(SVR_LONG id, const char* name) {
  SVC_GDB_INFO info{};
  info.id = id;
  std::strncpy(info.name, name, sizeof(info.name));
  std::strncpy(info.details, "details", sizeof(info.details));
  return info;
}

CONFIG_OPTION IntOption(std::int32_t value) {
  CONFIG_OPTION option{};
  option.type = SVR_OPTION_INT32;
  std::memcpy(option.value, &value, sizeof(value));
  return option;
}

const std::vector<Change>& Changes() {
  static const std::vector<Change> changes = {
      {"add user", [](const Store& s) { return AddUser(s, "new", "pw"); }},
      {"update user", [](const Store& s) { return UpdateUser(s, 1, "other"); }},
      {"delete user", [](const Store& s) { return DelUser(s, 1); }},
      {"set new privilege",
       [](const Store& s) { return SetUserPriv(s, 1, 9, 3); }},
      {"replace privilege",
       [](const Store& s) { return SetUserPriv(s, 1, 1, 8); }},
      {"add connection",
       [](const Store& s) { return ConnTable::Add(s, Conn(0, "c-new")); }},
      {"update connection",
       [](const Store& s) { return ConnTable::Update(s, Conn(1, "c-up")); }},
      {"delete connection",
       [](const Store& s) { return ConnTable::Remove(s, 1); }},
      {"add GDB",
       [](const Store& s) { return GdbTable::Add(s, Gdb(0, "g-new")); }},
      {"update GDB",
       [](const Store& s) { return GdbTable::Update(s, Gdb(1, "g-up")); }},
      {"delete GDB", [](const Store& s) { return GdbTable::Remove(s, 1); }},
      {"add option group",
       [](const Store& s) {
         const CONFIG_OPTION options[2] = {IntOption(1), IntOption(2)};
         return AddOptionInfo(s, "second", 7, options, 2);
       }},
      {"set option group",
       [](const Store& s) {
         const CONFIG_OPTION options[1] = {IntOption(42)};
         return SetOptionInfo(s, "first", 5, options, 1);
       }},
      {"set global option",
       [](const Store& s) {
         return SetOptionInfo(s, nullptr, 0, 0, IntOption(77));
       }},
      {"set temp dir",
       [](const Store& s) { return SetTempDir(s, "/var/tmp/x"); }},
  };
  return changes;
}

class CrashSweepTest : public StoreFixture {
 protected:
  void SetUp() override {
    env_.set_syncs_reach_disk(false);
    env_.set_watching(FaultEnv::Watching::kSystem);
  }

  // The records each slotted table lists, through the read cache.
  std::vector<SVR_LONG> ListedCounts() {
    CSmartArray<SVR_LONG> ids;
    const Store s = store();
    return {ConnTable::GetIds(s, ids), GdbTable::GetIds(s, ids),
            GetUserIDs(s, ids)};
  }
  std::vector<SVR_LONG> CountsInFile() const {
    const SVR_CFG_HEADER header = Header();
    return {header.conns.count, header.gdbs.count, header.users.count};
  }

  enum class Start { kRoom, kFull, kConnsFull };

  // One record in every table (one free slot each), and an option group;
  // kFull adds one more to each, so that every add must grow its table,
  // kConnsFull only to the connection table, the first.
  std::string StartingFile(Start start) {
    const bool full = start == Start::kFull;
    ResetFile();
    const Store s = store();
    const CONFIG_OPTION options[1] = {IntOption(5)};
    EXPECT_EQ(AddUser(s, "first", "pw1"), 1);
    EXPECT_EQ(SetUserPriv(s, 1, 1, 1), 1);
    EXPECT_EQ(GdbTable::Add(s, Gdb(0, "g1")), 1);
    EXPECT_EQ(AddOptionInfo(s, "first", 5, options, 1), 1);
    if (full) {
      EXPECT_EQ(AddUser(s, "second", "pw2"), 2);
      EXPECT_EQ(SetUserPriv(s, 2, 1, 1), 1);
      EXPECT_EQ(GdbTable::Add(s, Gdb(0, "g2")), 2);
    }
    if (start != Start::kRoom) {
      EXPECT_EQ(ConnTable::Add(s, Conn(0, "c2")), 2);
    }
    return FileBytes();
  }

  void PutBack(const std::string& image) {
    env_.Disarm();
    env_.StopRecording();
    SetFileBytes(image);
    std::filesystem::remove(JournalPathFor(path().string()));
    ListedCounts();  // fills the cache
  }

  // Recovers through a read-only call with no fault, then checks the file.
  void ExpectWholeOrNothing(const std::string& context, bool succeeded) {
    env_.Disarm();
    env_.StopRecording();
    ++cases_;
    EXPECT_GE(GetUserCount(store()), 0) << context;
    const std::string now = FileBytes();
    EXPECT_EQ(ListedCounts(), CountsInFile()) << context;
    if (succeeded) {
      EXPECT_EQ(now, after_) << context << ": success without the change";
    } else {
      EXPECT_TRUE(now == before_ || now == after_)
          << context << ": neither before nor after";
    }
    std::uint64_t journal = 0;
    if (env_.FileSize(JournalPathFor(path().string()), &journal).ok()) {
      EXPECT_EQ(journal, 0u) << context << ": journal left";
    }
  }

  // A second crash at every point of the recovery of the state on disk,
  // then a clean recovery.
  void CrashDuringRecovery(const std::string& context) {
    const std::string file = FileBytes();
    const std::string journal_path = JournalPathFor(path().string());
    const bool has_journal = std::filesystem::exists(journal_path);
    const std::string journal = has_journal ? ReadBytes(journal_path) : "";
    if (journal.empty()) return;  // nothing to recover
    for (int j = 1;; ++j) {
      SetFileBytes(file);
      WriteBytes(journal_path, journal);
      env_.StartRecording();
      env_.Arm(FaultEnv::Op::kAny, j, FaultEnv::Fault::kCrash);
      GetUserCount(store());
      const bool fired = env_.fired();
      const std::vector<DiskState> states = env_.PowerCutStates();
      for (const DiskState& state : states) {
        MaterializeDiskState(state);
        ExpectWholeOrNothing(
            context + ", recovery crash at I/O " + std::to_string(j), false);
        SetFileBytes(file);
        WriteBytes(journal_path, journal);
      }
      if (!fired) break;
      ASSERT_LT(j, 200) << context;
    }
  }

  std::string before_;
  std::string after_;
  int cases_ = 0;
};

TEST_F(CrashSweepTest, EveryChangeLandsWholeOrNotAtAll) {
  for (Start from : {Start::kRoom, Start::kFull, Start::kConnsFull}) {
    for (const Change& change : Changes()) {
      const bool grows_past_free_slots =
          std::string(change.what) == "add connection";
      if (from == Start::kConnsFull && !grows_past_free_slots) continue;
      const std::string start =
          std::string(change.what) + (from == Start::kRoom ? " (room)"
                                      : from == Start::kFull
                                          ? " (grows)"
                                          : " (grows past free slots)");
      before_ = StartingFile(from);
      PutBack(before_);
      const SVR_LONG expected = change.run(store());
      ASSERT_GT(expected, 0) << start;
      after_ = FileBytes();
      ASSERT_NE(after_, before_) << start;

      struct Mode {
        const char* name;
        FaultEnv::Op op;
        FaultEnv::Fault fault;
        bool power_cut;
      };
      const Mode modes[] = {
          {"I/O fails once", FaultEnv::Op::kAny, FaultEnv::Fault::kFail, false},
          {"I/O fails from then on", FaultEnv::Op::kAny,
           FaultEnv::Fault::kCrash, false},
          {"crash before write", FaultEnv::Op::kWrite, FaultEnv::Fault::kCrash,
           false},
          {"torn write", FaultEnv::Op::kWrite, FaultEnv::Fault::kCut, false},
          {"power cut after write", FaultEnv::Op::kWrite,
           FaultEnv::Fault::kCrash, true},
      };
      for (const Mode& mode : modes) {
        for (int k = 1;; ++k) {
          const std::string context =
              start + ", " + mode.name + " " + std::to_string(k);
          PutBack(before_);
          if (mode.power_cut) env_.StartRecording();
          // A power cut after write k is a crash before write k + 1 whose
          // unsynced writes may then be lost.
          env_.Arm(mode.op, mode.power_cut ? k + 1 : k, mode.fault);
          const SVR_LONG result = change.run(store());
          const bool fired = env_.fired();
          if (!fired) {
            EXPECT_EQ(result, expected) << context;
          } else {
            EXPECT_EQ(result, 0) << context;
          }
          if (mode.power_cut) {
            const std::vector<DiskState> states = env_.PowerCutStates();
            for (const DiskState& state : states) {
              MaterializeDiskState(state);
              CrashDuringRecovery(context);
              MaterializeDiskState(state);
              ExpectWholeOrNothing(context, result > 0);
            }
          } else {
            if (mode.fault == FaultEnv::Fault::kCrash) {
              CrashDuringRecovery(context);
            }
            ExpectWholeOrNothing(context, result > 0);
          }
          if (!fired) break;
          ASSERT_LT(k, 200) << context << " never completes";
        }
      }
    }
  }
  std::printf("crash sweep: %d cases\n", cases_);
}

}  // namespace
}  // namespace test
}  // namespace brellox
