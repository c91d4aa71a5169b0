// The benchmark bodies every call family shares, and their registration.
//
// One benchmark per family and size ("<Family>/records:<n>") runs every
// contestant once per iteration, in an order that rotates from iteration to
// iteration: the library through the system Env (what callers get), the
// floor, SQLite with a connection opened per call and with one kept open,
// and for reads whose guards are priced the library and the floor without
// the lock and without the journal check. Each call is timed on its own
// (wall clock: syncs and lock waits are part of a call), so all of them
// meet the same load on a shared machine, and every ratio is the median of
// the ratios of calls made side by side. A change is undone after each
// call, untimed.
//
// Counters: "<contestant>_us" the median time of a call; "x_<contestant>"
// the median of the library's time over that contestant's; for priced
// guards "lock_us" and "jcheck_us" (library) and "floor_lock_us" and
// "floor_jcheck_us", the median difference made by leaving each out. The
// benchmark's own time is the library's. Then the file operations of one
// more call (counting.h): through a counting FaultEnv for the library, so
// that counting costs no timed call anything, and from the floor's tally
// ("floor_" before the name).
#ifndef BRELLOX_BENCH_RUNNER_H_
#define BRELLOX_BENCH_RUNNER_H_

#include <cstdint>
#include <functional>
#include <string>

#include "bench/floor.h"
#include "bench/sqlite_baseline.h"
#include "src/store/store.h"

namespace brellox {
namespace bench {

// One family's calls at one size, with their arguments worked out
// beforehand so that no call pays for making them. Each returns true when
// it gave the expected result.
struct Calls {
  std::function<bool(const Store&)> library;
  std::function<bool(Floor&)> floor;
  // Empty where SQLite holds no counterpart of the data.
  std::function<bool(SqliteUsers&)> sqlite;
  // For a change: puts SQLite's data back after a call (untimed). The
  // library's file and the floor's are put back from the image.
  std::function<bool(SqliteUsers&)> sqlite_undo;
};

struct Family {
  std::string name;
  std::function<std::string(std::int32_t n)> image;
  std::function<Calls(std::int32_t n)> calls;
  bool has_sqlite = false;
  // Reads only: also time the call without the lock and without the
  // journal check.
  bool price_guards = false;
};

// A family of calls that only read, at 10, 1,000 and 10,000 records. The
// journal exists, empty, as after any change. With price_guards, the
// library without a guard is compared with the library through the same
// pass-through Env (shortcut_env.h) with both guards kept.
void RegisterReads(const Family& family);

// A family of changes, at 10, 1,000 and 10,000 records. A first, untimed
// call of each contestant creates its journal, as a file's first change
// does once.
void RegisterChanges(const Family& family);

}  // namespace bench
}  // namespace brellox

#endif  // BRELLOX_BENCH_RUNNER_H_
