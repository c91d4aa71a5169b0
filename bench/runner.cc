#include "bench/runner.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>

#include "bench/bench_store.h"
#include "bench/counting.h"
#include "bench/shortcut_env.h"
#include "tests/testutil/fault_env.h"

namespace brellox {
namespace bench {
namespace {

constexpr std::int32_t kSizes[] = {10, 1000, 10000};
constexpr std::int32_t kEnds[] = {10, 10000};
constexpr char kSqliteFile[] = "users.sqlite";

std::int32_t Records(const benchmark::State& state) {
  return static_cast<std::int32_t>(state.range(0));
}

void Fail(benchmark::State& state, const std::string& what) {
  state.SkipWithError(what.c_str());
}

// Runs `call` once through a counting Env and reports what it did.
void CountLibraryCall(benchmark::State& state, const BenchStore& bench,
                      const Calls& calls) {
  test::FaultEnv env(Env::Default());  // counts, never armed
  if (!calls.library(bench.store(&env))) {
    Fail(state, "the counted call failed");
    return;
  }
  ReportCounts(state, env, 1);
}

void CountFloorCall(benchmark::State& state, Floor& floor,
                    const Calls& calls) {
  floor.ResetCounts();
  if (!calls.floor(floor)) {
    Fail(state, "the counted call failed");
    return;
  }
  ReportCounts(state, floor.counts().config, floor.counts().journal, 1);
}

// --- reads ---

// `shortcuts` empty: the system Env itself, and the counts.
void LibraryRead(benchmark::State& state, const Family& family,
                 std::optional<Shortcuts> shortcuts) {
  const std::int32_t n = Records(state);
  const Calls calls = family.calls(n);
  BenchStore bench(family.image(n));
  bench.CreateIdleJournal();
  std::unique_ptr<ShortcutEnv> env;
  Store store = bench.store();
  if (shortcuts) {
    env = std::make_unique<ShortcutEnv>(Env::Default(), *shortcuts);
    store = bench.store(env.get());
  }
  for (auto _ : state) {
    if (!calls.library(store)) {
      Fail(state, "the call failed");
      return;
    }
  }
  if (!shortcuts) CountLibraryCall(state, bench, calls);
}

void FloorRead(benchmark::State& state, const Family& family, Guards guards,
               bool count) {
  const std::int32_t n = Records(state);
  const Calls calls = family.calls(n);
  BenchStore bench(family.image(n));
  bench.CreateIdleJournal();
  Floor floor(bench.path(), guards);
  for (auto _ : state) {
    if (!calls.floor(floor)) {
      Fail(state, "the call failed");
      return;
    }
  }
  if (count) CountFloorCall(state, floor, calls);
}

void SqliteRead(benchmark::State& state, const Family& family, bool per_call) {
  const std::int32_t n = Records(state);
  const Calls calls = family.calls(n);
  BenchStore bench(family.image(n));
  const std::string path = bench.Beside(kSqliteFile);
  CreateSqliteUsers(path, n);
  std::optional<SqliteUsers> kept;
  if (!per_call) kept.emplace(path, SqliteUsers::Mode::kRead);
  for (auto _ : state) {
    bool ok;
    if (per_call) {
      SqliteUsers db(path, SqliteUsers::Mode::kRead);
      ok = calls.sqlite(db);
    } else {
      ok = calls.sqlite(*kept);
    }
    if (!ok) {
      Fail(state, "the call failed");
      return;
    }
  }
}

// --- changes ---

// Times `change` (true on success) and puts the data back with `undo`
// after each, untimed; one untimed change and undo first.
template <class Change, class Undo>
void TimeChanges(benchmark::State& state, Change&& change, Undo&& undo) {
  if (!change() || !undo()) {
    Fail(state, "the first change failed");
    return;
  }
  for (auto _ : state) {
    if (!change()) {
      Fail(state, "the call failed");
      return;
    }
    state.PauseTiming();
    const bool undone = undo();
    state.ResumeTiming();
    if (!undone) {
      Fail(state, "putting the data back failed");
      return;
    }
  }
}

void LibraryChange(benchmark::State& state, const Family& family) {
  const std::int32_t n = Records(state);
  const Calls calls = family.calls(n);
  const std::string image = family.image(n);
  BenchStore bench(image);
  const Store store = bench.store();
  TimeChanges(
      state, [&] { return calls.library(store); },
      [&] { return bench.Restore(image); });
  if (state.error_occurred()) return;
  CountLibraryCall(state, bench, calls);
}

void FloorChange(benchmark::State& state, const Family& family) {
  const std::int32_t n = Records(state);
  const Calls calls = family.calls(n);
  const std::string image = family.image(n);
  BenchStore bench(image);
  Floor floor(bench.path());
  TimeChanges(
      state, [&] { return calls.floor(floor); },
      [&] { return bench.Restore(image); });
  if (state.error_occurred()) return;
  CountFloorCall(state, floor, calls);
}

void SqliteChange(benchmark::State& state, const Family& family,
                  bool per_call) {
  const std::int32_t n = Records(state);
  const Calls calls = family.calls(n);
  BenchStore bench(family.image(n));
  const std::string path = bench.Beside(kSqliteFile);
  CreateSqliteUsers(path, n);
  SqliteUsers kept(path, SqliteUsers::Mode::kWrite);
  TimeChanges(
      state,
      [&] {
        if (!per_call) return calls.sqlite(kept);
        SqliteUsers db(path, SqliteUsers::Mode::kWrite);
        return calls.sqlite(db);
      },
      [&] { return calls.sqlite_undo(kept); });
}

// --- registration ---

template <class Body>
void Register(const std::string& name, const std::int32_t* sizes,
              std::size_t count, Body body) {
  auto* b = benchmark::RegisterBenchmark(
      name.c_str(), [body](benchmark::State& state) { body(state); });
  b->ArgNames({"records"})->UseRealTime();
  for (std::size_t i = 0; i < count; ++i) b->Arg(sizes[i]);
}

template <class Body>
void AtEachSize(const std::string& name, Body body) {
  Register(name, kSizes, std::size(kSizes), body);
}

template <class Body>
void AtBothEnds(const std::string& name, Body body) {
  Register(name, kEnds, std::size(kEnds), body);
}

}  // namespace

void RegisterReads(const Family& f) {
  const std::string& n = f.name;
  AtEachSize(n + "/library",
             [f](benchmark::State& s) { LibraryRead(s, f, std::nullopt); });
  AtEachSize(n + "/floor", [f](benchmark::State& s) {
    FloorRead(s, f, Guards{}, true);
  });
  if (f.has_sqlite) {
    AtEachSize(n + "/sqlite_per_call",
               [f](benchmark::State& s) { SqliteRead(s, f, true); });
    AtEachSize(n + "/sqlite_kept",
               [f](benchmark::State& s) { SqliteRead(s, f, false); });
  }
  if (!f.price_guards) return;
  AtBothEnds(n + "/library_passthrough", [f](benchmark::State& s) {
    LibraryRead(s, f, Shortcuts{});
  });
  AtBothEnds(n + "/library_no_lock", [f](benchmark::State& s) {
    LibraryRead(s, f, Shortcuts{true, false});
  });
  AtBothEnds(n + "/library_no_journal_check", [f](benchmark::State& s) {
    LibraryRead(s, f, Shortcuts{false, true});
  });
  AtBothEnds(n + "/floor_no_lock", [f](benchmark::State& s) {
    FloorRead(s, f, Guards{false, true}, false);
  });
  AtBothEnds(n + "/floor_no_journal_check", [f](benchmark::State& s) {
    FloorRead(s, f, Guards{true, false}, false);
  });
}

void RegisterChanges(const Family& f) {
  const std::string& n = f.name;
  AtEachSize(n + "/library",
             [f](benchmark::State& s) { LibraryChange(s, f); });
  AtEachSize(n + "/floor", [f](benchmark::State& s) { FloorChange(s, f); });
  if (f.has_sqlite) {
    AtEachSize(n + "/sqlite_per_call",
               [f](benchmark::State& s) { SqliteChange(s, f, true); });
    AtEachSize(n + "/sqlite_kept",
               [f](benchmark::State& s) { SqliteChange(s, f, false); });
  }
}

}  // namespace bench
}  // namespace brellox
