#include "bench/runner.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

#include "bench/bench_store.h"
#include "bench/counting.h"
#include "bench/shortcut_env.h"
#include "tests/testutil/fault_env.h"

namespace brellox {
namespace bench {
namespace {

constexpr std::int32_t kSizes[] = {10, 1000, 10000};
constexpr char kSqliteFile[] = "users.sqlite";

struct Contestant {
  std::string label;
  std::function<bool()> call;
  std::function<bool()> undo;  // empty for a read
  bool compared = true;        // reported as a ratio to the library
};

// A counter: the median difference between two contestants' calls.
struct Difference {
  std::string name;
  std::size_t with;
  std::size_t without;
};

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  const auto middle = values.begin() + values.size() / 2;
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// Runs the contest; contestant 0 is the library.
void RunContest(benchmark::State& state,
                const std::vector<Contestant>& contestants,
                const std::vector<Difference>& differences) {
  for (const Contestant& c : contestants) {
    if (!c.call() || (c.undo && !c.undo())) {
      state.SkipWithError(("the first call of " + c.label + " failed").c_str());
      return;
    }
  }
  const std::size_t count = contestants.size();
  std::vector<std::vector<double>> micros(count);
  std::size_t turn = 0;
  for (auto _ : state) {
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t i = (turn + k) % count;
      const Contestant& c = contestants[i];
      const auto start = std::chrono::steady_clock::now();
      const bool ok = c.call();
      const std::chrono::duration<double, std::micro> took =
          std::chrono::steady_clock::now() - start;
      if (!ok || (c.undo && !c.undo())) {
        state.SkipWithError((c.label + " failed").c_str());
        return;
      }
      micros[i].push_back(took.count());
    }
    ++turn;
    state.SetIterationTime(micros[0].back() / 1e6);
  }
  const std::size_t calls = micros[0].size();
  for (std::size_t i = 0; i < count; ++i) {
    state.counters[contestants[i].label + "_us"] = Median(micros[i]);
    if (i == 0 || !contestants[i].compared) continue;
    std::vector<double> ratios(calls);
    for (std::size_t j = 0; j < calls; ++j) {
      ratios[j] = micros[0][j] / micros[i][j];
    }
    state.counters["x_" + contestants[i].label] = Median(ratios);
  }
  for (const Difference& d : differences) {
    std::vector<double> saved(calls);
    for (std::size_t j = 0; j < calls; ++j) {
      saved[j] = micros[d.with][j] - micros[d.without][j];
    }
    state.counters[d.name] = Median(saved);
  }
}

// One more call of the library, through a counting Env, and of the floor,
// each followed by `undo` (if any).
void ReportCallCounts(benchmark::State& state, const BenchStore& bench,
                      const Calls& calls, Floor& floor,
                      const std::function<bool()>& undo) {
  test::FaultEnv env(Env::Default());  // counts, never armed
  floor.ResetCounts();
  const auto undone = [&] { return !undo || undo(); };
  if (!calls.library(bench.store(&env)) || !undone() || !calls.floor(floor) ||
      !undone()) {
    state.SkipWithError("the counted call failed");
    return;
  }
  ReportCounts(state, "", env, 1);
  ReportCounts(state, "floor_", floor.counts().config, floor.counts().journal,
               1);
}

void Reads(benchmark::State& state, const Family& family) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  const Calls calls = family.calls(n);
  BenchStore bench(family.image(n));
  bench.CreateIdleJournal();
  const Store store = bench.store();
  Floor floor(bench.path());
  std::vector<Contestant> contestants = {
      {"library", [&] { return calls.library(store); }, {}, true},
      {"floor", [&] { return calls.floor(floor); }, {}, true},
  };

  const std::string sqlite_path = bench.Beside(kSqliteFile);
  std::optional<SqliteUsers> kept;
  if (family.has_sqlite) {
    CreateSqliteUsers(sqlite_path, n);
    kept.emplace(sqlite_path, SqliteUsers::Mode::kRead);
    contestants.push_back({"sqlite_per_call",
                           [&] {
                             SqliteUsers db(sqlite_path,
                                            SqliteUsers::Mode::kRead);
                             return calls.sqlite(db);
                           },
                           {},
                           true});
    contestants.push_back(
        {"sqlite_kept", [&] { return calls.sqlite(*kept); }, {}, true});
  }

  ShortcutEnv passthrough(Env::Default(), Shortcuts{});
  ShortcutEnv no_lock(Env::Default(), Shortcuts{true, false});
  ShortcutEnv no_check(Env::Default(), Shortcuts{false, true});
  const Store through[] = {bench.store(&passthrough), bench.store(&no_lock),
                           bench.store(&no_check)};
  Floor floor_no_lock(bench.path(), Guards{false, true});
  Floor floor_no_check(bench.path(), Guards{true, false});
  std::vector<Difference> differences;
  if (family.price_guards) {
    const std::size_t first = contestants.size();
    const char* const labels[] = {"passthrough", "no_lock", "no_jcheck"};
    for (int k = 0; k < 3; ++k) {
      contestants.push_back(
          {labels[k], [&, k] { return calls.library(through[k]); }, {}, false});
    }
    contestants.push_back({"floor_no_lock",
                           [&] { return calls.floor(floor_no_lock); },
                           {},
                           false});
    contestants.push_back({"floor_no_jcheck",
                           [&] { return calls.floor(floor_no_check); },
                           {},
                           false});
    differences = {{"lock_us", first, first + 1},
                   {"jcheck_us", first, first + 2},
                   {"floor_lock_us", 1, first + 3},
                   {"floor_jcheck_us", 1, first + 4}};
  }
  RunContest(state, contestants, differences);
  if (!state.error_occurred()) {
    ReportCallCounts(state, bench, calls, floor, nullptr);
  }
}

void Changes(benchmark::State& state, const Family& family) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  const Calls calls = family.calls(n);
  const std::string image = family.image(n);
  BenchStore bench(image);
  const Store store = bench.store();
  Floor floor(bench.path());
  const auto restore = [&] { return bench.Restore(image); };
  std::vector<Contestant> contestants = {
      {"library", [&] { return calls.library(store); }, restore, true},
      {"floor", [&] { return calls.floor(floor); }, restore, true},
  };

  const std::string sqlite_path = bench.Beside(kSqliteFile);
  std::optional<SqliteUsers> kept;
  if (family.has_sqlite) {
    CreateSqliteUsers(sqlite_path, n);
    kept.emplace(sqlite_path, SqliteUsers::Mode::kWrite);
    const auto undo = [&] { return calls.sqlite_undo(*kept); };
    contestants.push_back({"sqlite_per_call",
                           [&] {
                             SqliteUsers db(sqlite_path,
                                            SqliteUsers::Mode::kWrite);
                             return calls.sqlite(db);
                           },
                           undo, true});
    contestants.push_back(
        {"sqlite_kept", [&] { return calls.sqlite(*kept); }, undo, true});
  }
  RunContest(state, contestants, {});
  if (!state.error_occurred()) {
    ReportCallCounts(state, bench, calls, floor, restore);
  }
}

template <class Body>
void Register(const std::string& name, Body body) {
  benchmark::RegisterBenchmark(name.c_str(), body)
      ->ArgNames({"records"})
      ->Arg(kSizes[0])
      ->Arg(kSizes[1])
      ->Arg(kSizes[2])
      ->UseManualTime();
}

}  // namespace

void RegisterReads(const Family& family) {
  Register(family.name,
           [family](benchmark::State& state) { Reads(state, family); });
}

void RegisterChanges(const Family& family) {
  Register(family.name,
           [family](benchmark::State& state) { Changes(state, family); });
}

}  // namespace bench
}  // namespace brellox
