// FaultEnv: an Env that passes everything to another Env, counts what goes
// through it, and can inject faults and crashes:
//
// - fail, or cut short, the k-th read, write, sync or truncation (or the
//   k-th of any of them);
// - crash the process before the k-th operation: that operation and every
//   later one fail, so nothing more reaches the disk, as when a process dies;
// - cut the power: while recording, it keeps what each file held at its last
//   sync and the writes since, and PowerCutStates() lists the disk states a
//   power cut could leave: everything synced plus none, all, a prefix, or
//   all but one of the unsynced changes, or all with the last write torn;
// - give change watches whose queue the test fills, so that a change can be
//   made to race a call at an exact point (AfterReads).
#ifndef BRELLOX_TESTS_TESTUTIL_FAULT_ENV_H_
#define BRELLOX_TESTS_TESTUTIL_FAULT_ENV_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/env.h"

namespace brellox {
namespace test {

// What each tracked file holds (nullopt: no such file) in one disk state.
using DiskState = std::map<std::string, std::optional<std::string>>;

// Puts `state` on the real disk: writes every file it holds, removes the
// ones it says are absent.
void MaterializeDiskState(const DiskState& state);

class FaultEnv : public Env {
 public:
  enum class Op { kRead, kWrite, kSync, kTruncate, kAny };
  enum class Fault {
    kFail,   // the operation does nothing and reports an I/O error
    kCut,    // half the bytes are read or written, then an I/O error
    kCrash,  // it and everything after it fails until Disarm: a dead process
  };

  struct Counters {
    int opens = 0;  // files opened or created
    int reads = 0;
    int writes = 0;
    int syncs = 0;
    int truncates = 0;
    int locks = 0;   // lock and unlock calls
    int stats = 0;   // FileSize, EntryFacts and PathFacts calls
    int fstats = 0;  // size, data and permission queries on an open file
    std::uint64_t bytes_read = 0;
    std::uint64_t bytes_written = 0;
  };

  // What NewChangeQueue gives.
  enum class Watching {
    kNone,        // nothing (the default): every call reads the file
    kSystem,      // the base Env's queues
    kControlled,  // queues that report only what the test queues
  };

  explicit FaultEnv(Env* base) : base_(base) {}
  // Every queue it made ends: its next Poll fails.
  ~FaultEnv() override;

  void set_watching(Watching watching) { watching_ = watching; }
  // Every watch of every controlled queue made so far reports a change at
  // its queue's next Poll (as the kernel would after a change of a watched
  // entry), or the Poll fails (as after lost events), or reports a change
  // of the mounts.
  void QueueChange();
  void LoseChanges();
  void QueueMountChange();
  // What a queue made here shares with its maker.
  struct WatchState {
    std::atomic<bool> ended{false};
    std::atomic<bool> changed{false};
    std::atomic<bool> lost{false};
    std::atomic<bool> mounts_changed{false};
    std::atomic<int> watches{0};
  };
  // Watches made so far, in every queue.
  int watches() const;

  // Moves NowMicros and WallClockNanos on by `micros`: a clock the test
  // controls, on top of the base Env's.
  void AdvanceClock(std::uint64_t micros) { clock_ahead_ += micros; }

  // Runs `observer` with the file's path after every write that is let
  // through has landed: a test acts, and a benchmark times, at a step of a
  // call.
  void set_write_observer(std::function<void(const std::string&)> observer) {
    write_observer_ = std::move(observer);
  }
  void ObserveWrite(const std::string& path) {
    if (write_observer_) write_observer_(path);
  }

  // The next `n` files opened tell no link to their name, as a file does
  // that a rename onto its name unlinked while the name still led to it.
  void OpensFindUnlinked(int n) { unlinked_opens_ = n; }
  bool TakeUnlinkedOpen() {
    if (unlinked_opens_ == 0) return false;
    --unlinked_opens_;
    return true;
  }

  // Runs `action` once, right after the `k`-th read from now (1 = next)
  // has completed: a change that lands at an exact point of a call.
  void AfterReads(int k, std::function<void()> action);
  void RanRead();

  // Arms a fault for the `k`-th operation of kind `op` from now (1 = next).
  void Arm(Op op, int k, Fault fault = Fault::kFail);
  // Ends any fault, crash included.
  void Disarm() { armed_ = crashed_ = false; }
  // Whether the armed fault has been injected.
  bool fired() const { return fired_; }

  // Operations of each kind since the last Arm or ResetCounts, and the
  // same for files whose path ends in `suffix`.
  int count(Op op) const;
  int opens() const { return total_.opens; }
  const Counters& counters() const { return total_; }
  Counters CountersFor(const std::string& suffix) const;
  void ResetCounts();

  // Whether syncs go on to the system (default) or are only recorded: a
  // crash test models durability itself and need not wait for the disk.
  void set_syncs_reach_disk(bool reach) { syncs_reach_disk_ = reach; }
  bool syncs_reach_disk() const { return syncs_reach_disk_; }

  // Power cuts. From StartRecording on, the files touched are tracked;
  // what they held when first touched counts as synced.
  void StartRecording();
  void StopRecording();
  std::vector<DiskState> PowerCutStates() const;

  Status Open(const std::string& path, OpenAccess access,
              std::unique_ptr<RandomRWFile>* result) override;
  Status OpenNoFollow(const std::string& path, OpenAccess access,
                      std::unique_ptr<RandomRWFile>* result) override;
  Status EntryFacts(const std::string& path, FileFacts* facts) override;
  Status PathFacts(const std::string& path, FileFacts* facts) override;
  Status MountOfFolder(const std::string& path,
                       std::uint64_t* mount_id) override {
    return base_->MountOfFolder(path, mount_id);
  }
  Status OpenFolder(const std::string& path,
                    std::unique_ptr<Folder>* result) override;
  Status CreateExclusive(const std::string& path, std::uint32_t mode,
                         std::unique_ptr<RandomRWFile>* result) override;
  Status RenameReplacing(const std::string& from,
                         const std::string& to) override;
  Status RenameNoReplace(const std::string& from,
                         const std::string& to) override;
  Status RemoveFile(const std::string& path) override;
  bool EntryExists(const std::string& path) override {
    return base_->EntryExists(path);
  }
  Status FileSize(const std::string& path, std::uint64_t* size) override;
  Status SyncDirectoryOf(const std::string& path) override;
  Status NewChangeQueue(std::unique_ptr<ChangeQueue>* queue) override;
  Status CurrentFolder(std::string* folder) override {
    return base_->CurrentFolder(folder);
  }
  bool Variable(const std::string& name, std::string* value) override {
    return base_->Variable(name, value);
  }
  std::string CallerIdentity() override { return base_->CallerIdentity(); }
  std::uint64_t NowMicros() override {
    return base_->NowMicros() + clock_ahead_;
  }
  std::int64_t WallClockNanos() override {
    return base_->WallClockNanos() +
           static_cast<std::int64_t>(clock_ahead_) * 1000;
  }
  void SleepForMicroseconds(int micros) override {
    if (micros > longest_sleep_) longest_sleep_ = micros;
    base_->SleepForMicroseconds(micros);
  }
  // The longest pause asked for so far.
  int longest_sleep_micros() const { return longest_sleep_; }

  // Called by the files.
  bool ShouldFail(Op op, Fault* fault);
  bool crashed() const { return crashed_; }
  Counters& CountersOf(const std::string& path) { return per_path_[path]; }
  Counters& total() { return total_; }
  void RecordWrite(const std::string& path, std::uint64_t offset,
                   const void* data, std::size_t n);
  void RecordTruncate(const std::string& path, std::uint64_t size);
  void RecordSync(const std::string& path);

 private:
  friend class FaultFolder;

  struct Change {
    enum Kind { kCreate, kWrite, kTruncate } kind;
    std::string path;
    std::uint64_t offset;  // write offset, or truncated size
    std::string bytes;
  };
  struct Tracked {
    bool exists;          // durably
    std::string content;  // as of the last sync
  };

  Status Wrap(const std::string& path, Status s,
              std::unique_ptr<RandomRWFile>* result);
  // What a created file, and a synced folder, mean for the power cuts.
  void RecordCreate(const std::string& path);
  void RecordFolderSync();
  void Track(const std::string& path);
  DiskState StateWith(const std::vector<const Change*>& applied,
                      const Change* torn) const;

  Env* const base_;
  Watching watching_ = Watching::kNone;
  std::atomic<std::uint64_t> clock_ahead_{0};
  std::vector<std::shared_ptr<WatchState>> watch_states_;
  int reads_until_action_ = 0;
  std::function<void()> after_reads_;
  std::function<void(const std::string&)> write_observer_;
  bool armed_ = false;
  bool fired_ = false;
  bool crashed_ = false;
  int unlinked_opens_ = 0;
  Op op_ = Op::kRead;
  int remaining_ = 0;
  Fault fault_ = Fault::kFail;
  int counts_[4] = {0, 0, 0, 0};
  Counters total_;
  std::map<std::string, Counters> per_path_;

  std::atomic<int> longest_sleep_{0};
  bool syncs_reach_disk_ = true;
  bool recording_ = false;
  std::map<std::string, Tracked> tracked_;
  std::vector<Change> unsynced_;
};

}  // namespace test
}  // namespace brellox

#endif  // BRELLOX_TESTS_TESTUTIL_FAULT_ENV_H_
