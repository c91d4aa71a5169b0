// The benchmark bodies every call family shares, and their registration:
// the library through the system Env (what callers get), the library with
// the lock or the journal check left out (to price them), the floor, and
// SQLite with a connection opened per call or kept open.
//
// Names read "<Family>/<variant>/records:<n>"; every time is wall-clock
// time, since syncs and lock waits are part of a call. Counts come from one
// more call after the timed ones: through a counting FaultEnv for the
// library (whose own cost then stays out of the times), from the floor's
// own tally for the floor.
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

// A family of calls that only read, at 10, 1,000 and 10,000 records; with
// price_guards, at 10 and 10,000 also without the lock and without the
// journal check, beside the same calls through the same pass-through Env
// with both kept, and the floor likewise.
void RegisterReads(const Family& family);

// A family of changes, at 10, 1,000 and 10,000 records. The file is put
// back after every call, outside the timing; a first, untimed call creates
// the journal, as the first change to a file does once.
void RegisterChanges(const Family& family);

}  // namespace bench
}  // namespace brellox

#endif  // BRELLOX_BENCH_RUNNER_H_
