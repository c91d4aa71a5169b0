// Lookups answered by the read cache, at 10, 1,000 and 10,000 records (users,
// privilege values and GDBs alike), each asking for the last record, against
// SQLite holding the same rows behind indexes: kept open, and opened per
// call. Beside them, on a second copy of the file, the first call after a
// change (a miss: a byte of the file rewritten, untimed, before each call)
// and the same call with no change signal (every call reads the file, as
// without the cache), as it is and right after the same change; on a third
// copy, the second call after a change (the first made untimed), which
// builds the index the lookup uses.
//
// Contestants run in an order that rotates each iteration and are timed one
// call at a time (wall clock). Counters: "<contestant>_us", the median call;
// "x_<contestant>", the median of the library's time over that contestant's,
// call by call; "x_miss_uncached" and "x_miss_uncached_changed", the median
// of the miss over the call without the signal, and "x_second_uncached" that
// of the second call after a change. The benchmark's own time is the
// library's. The miss reads the table and scans it, as a call without the
// cache does.
// Last, lookups that go round 9, 16 and 64 files.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_store.h"
#include "bench/images.h"
#include "bench/shortcut_env.h"
#include "bench/sqlite_baseline.h"
#include "bench/unique_fd.h"
#include "src/sources/sources.h"
#include "src/users/users.h"

namespace brellox {
namespace bench {
namespace {

constexpr std::int32_t kSizes[] = {10, 1000, 10000};
constexpr int kIterations = 3000;

struct Lookup {
  const char* name;
  std::function<bool(const Store&, std::int32_t n)> library;
  std::function<bool(SqliteUsers&, std::int32_t n)> sqlite;
};

// Users, privilege values and GDBs alike number n.
std::string ServerImage(std::int32_t n) {
  ImageSpec spec = ServerSpec();
  spec.users = {n, 2};
  spec.privileges = {n, 0};
  spec.gdbs = {n, 2};
  return BuildImage(spec);
}

double Median(std::vector<double> values) {
  const auto middle = values.begin() + values.size() / 2;
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// Rewrites the file's first byte as it is: a change to the file, which the
// change signal reports, that leaves its contents as they were.
bool TouchFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
  char first;
  return fd.valid() && PreadAll(fd.get(), &first, 1, 0) &&
         PwriteAll(fd.get(), &first, 1, 0);
}

void Contest(benchmark::State& state, const Lookup& lookup) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  const std::string image = ServerImage(n);
  BenchStore cached(image), changed(image), second(image);
  cached.CreateIdleJournal();
  changed.CreateIdleJournal();
  second.CreateIdleJournal();
  const std::string sqlite_path = cached.Beside("server.sqlite");
  CreateSqliteServer(sqlite_path, n);
  SqliteUsers kept(sqlite_path, SqliteUsers::Mode::kRead);
  ShortcutEnv no_signal(Env::Default(), Shortcuts{});

  struct Contestant {
    const char* label;
    std::function<bool()> call;
    std::function<bool()> before;  // untimed
  };
  const std::vector<Contestant> contestants = {
      {"library", [&] { return lookup.library(cached.store(), n); }, {}},
      {"sqlite_kept", [&] { return lookup.sqlite(kept, n); }, {}},
      {"sqlite_per_call",
       [&] {
         SqliteUsers db(sqlite_path, SqliteUsers::Mode::kRead);
         return lookup.sqlite(db, n);
       },
       {}},
      {"miss", [&] { return lookup.library(changed.store(), n); },
       [&] { return TouchFile(changed.path()); }},
      {"uncached",
       [&] { return lookup.library(changed.store(&no_signal), n); },
       {}},
      {"uncached_changed",
       [&] { return lookup.library(changed.store(&no_signal), n); },
       [&] { return TouchFile(changed.path()); }},
      {"second", [&] { return lookup.library(second.store(), n); },
       [&] {
         return TouchFile(second.path()) && lookup.library(second.store(), n);
       }},
  };
  for (const Contestant& c : contestants) {
    if (!c.call()) {
      state.SkipWithError((std::string(c.label) + " failed").c_str());
      return;
    }
  }
  std::vector<std::vector<double>> micros(contestants.size());
  std::size_t turn = 0;
  for (auto _ : state) {
    for (std::size_t k = 0; k < contestants.size(); ++k) {
      const std::size_t i = (turn + k) % contestants.size();
      const Contestant& c = contestants[i];
      if (c.before && !c.before()) {
        state.SkipWithError("cannot change the file");
        return;
      }
      const auto start = std::chrono::steady_clock::now();
      const bool ok = c.call();
      const std::chrono::duration<double, std::micro> took =
          std::chrono::steady_clock::now() - start;
      if (!ok) {
        state.SkipWithError((std::string(c.label) + " failed").c_str());
        return;
      }
      micros[i].push_back(took.count());
    }
    ++turn;
    state.SetIterationTime(micros[0].back() / 1e6);
  }
  const auto ratio = [&](std::size_t a, std::size_t b) {
    std::vector<double> ratios(micros[a].size());
    for (std::size_t j = 0; j < ratios.size(); ++j) {
      ratios[j] = micros[a][j] / micros[b][j];
    }
    return Median(ratios);
  };
  for (std::size_t i = 0; i < contestants.size(); ++i) {
    state.counters[std::string(contestants[i].label) + "_us"] =
        Median(micros[i]);
  }
  state.counters["x_sqlite_kept"] = ratio(0, 1);
  state.counters["x_sqlite_per_call"] = ratio(0, 2);
  state.counters["x_miss_uncached"] = ratio(3, 4);
  state.counters["x_miss_uncached_changed"] = ratio(3, 5);
  state.counters["x_second_uncached"] = ratio(6, 4);
}

std::vector<Lookup> Lookups() {
  return {
      {"CachedCheckUser",
       [](const Store& s, std::int32_t n) {
         return CheckUser(s, UserName(n).c_str(), UserPassword(n).c_str()) == 1;
       },
       [](SqliteUsers& db, std::int32_t n) {
         return db.CheckUser(UserName(n).c_str(), UserPassword(n).c_str()) == 1;
       }},
      {"CachedGetUserIDByName",
       [](const Store& s, std::int32_t n) {
         return GetUserIDByName(s, UserName(n).c_str()) == n;
       },
       [](SqliteUsers& db, std::int32_t n) {
         return db.UserIdByName(UserName(n).c_str()) == n;
       }},
      {"CachedGetUserPriv",
       [](const Store& s, std::int32_t n) {
         SVR_LONG value = 0;
         return GetUserPriv(s, n, 1, value) == 1 && value == n;
       },
       [](SqliteUsers& db, std::int32_t n) {
         std::int64_t value = 0;
         return db.GetUserPriv(n, 1, &value) == 1 && value == n;
       }},
      {"CachedGetGDBID",
       [](const Store& s, std::int32_t n) {
         SVR_LONG id = 0;
         return GetGDBID(s, GdbName(n).c_str(), id) == 1 && id == n;
       },
       [](SqliteUsers& db, std::int32_t n) {
         return db.GdbIdByName(GdbName(n).c_str()) == n;
       }},
  };
}

// Lookups that go round `files` files of 1,000 users each, one file a call:
// "cached_us" with the cache, "uncached_us" with no change signal (every
// call reads its file), "x_uncached" the median of their ratio, call by
// call. A process that serves several files keeps them all.
void Cycle(benchmark::State& state) {
  const auto files = static_cast<std::size_t>(state.range(0));
  constexpr std::int32_t kUsers = 1000;
  const std::string image = ServerImage(kUsers);
  std::vector<std::unique_ptr<BenchStore>> stores;
  for (std::size_t i = 0; i < files; ++i) {
    stores.push_back(std::make_unique<BenchStore>(image));
    stores.back()->CreateIdleJournal();
  }
  ShortcutEnv no_signal(Env::Default(), Shortcuts{});
  const auto call = [&](const Store& s) {
    return CheckUser(s, UserName(kUsers).c_str(),
                     UserPassword(kUsers).c_str()) == 1;
  };
  std::vector<double> cached, uncached, ratios;
  std::size_t turn = 0;
  for (auto _ : state) {
    const BenchStore& at = *stores[turn++ % files];
    double took[2];
    for (int k = 0; k < 2; ++k) {
      // Alternating which goes first.
      const bool with_cache = (k + turn) % 2 == 0;
      const auto start = std::chrono::steady_clock::now();
      const bool ok = call(with_cache ? at.store() : at.store(&no_signal));
      const std::chrono::duration<double, std::micro> t =
          std::chrono::steady_clock::now() - start;
      if (!ok) {
        state.SkipWithError("lookup failed");
        return;
      }
      took[with_cache ? 0 : 1] = t.count();
    }
    cached.push_back(took[0]);
    uncached.push_back(took[1]);
    ratios.push_back(took[0] / took[1]);
    state.SetIterationTime(took[0] / 1e6);
  }
  state.counters["cached_us"] = Median(cached);
  state.counters["uncached_us"] = Median(uncached);
  state.counters["x_uncached"] = Median(ratios);
}

const bool registered = [] {
  benchmark::RegisterBenchmark("CycleOverFiles", Cycle)
      ->ArgNames({"files"})
      ->Arg(9)
      ->Arg(16)
      ->Arg(64)
      ->UseManualTime()
      ->Iterations(kIterations);
  for (const Lookup& lookup : Lookups()) {
    benchmark::RegisterBenchmark(
        lookup.name,
        [lookup](benchmark::State& state) { Contest(state, lookup); })
        ->ArgNames({"records"})
        ->Arg(kSizes[0])
        ->Arg(kSizes[1])
        ->Arg(kSizes[2])
        ->UseManualTime()
        // A fixed count: the library's calls are so short that a minimum
        // time of them would run the others for minutes.
        ->Iterations(kIterations);
  }
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace brellox
