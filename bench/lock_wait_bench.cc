// How long a login waits for a writer. Two threads check credentials
// against a file of 1,000 users through the process's read cache, one check
// every 200 microseconds each, while a third thread, with an Env of its own
// (so that its commits reach the readers only through the change signal, as
// another process's do), changes a password every 4 milliseconds, about as
// fast as an administrator's tool runs.
//
// Counters: the checks' median, p99, p99.9 and slowest ("check_..._us"), the
// share of checks that took over 50 microseconds ("waited_pct": a check from
// memory takes a few, one that reads the file without waiting tens), the
// writer's whole call ("commit_p50_us") and the part of it that changes the
// file, from its first write to the file until the call returns
// ("change_p50_us", "change_max_us"). A reader waits at most for that part
// plus a pause between lock tries: "x_slowest_over_change" is the slowest
// check over (the slowest change + 100 microseconds).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_store.h"
#include "bench/images.h"
#include "src/users/users.h"
#include "tests/testutil/fault_env.h"

namespace brellox {
namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

double At(std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  return sorted[static_cast<std::size_t>(p * (sorted.size() - 1))];
}

void BM_LoginsBesideAWriter(benchmark::State& state) {
  const auto users = static_cast<std::int32_t>(state.range(0));
  ImageSpec spec = ServerSpec();
  spec.users = {users, 2};
  const BenchStore file(BuildImage(spec));
  file.CreateIdleJournal();
  const auto seconds = std::chrono::seconds(state.range(1));

  for (auto _ : state) {
    std::atomic<bool> stop{false};
    std::vector<double> changes;
    std::vector<double> commits;
    std::thread writer([&] {
      test::FaultEnv env(Env::Default());
      const Store store = file.store(&env);
      Clock::time_point first_write{};
      env.set_write_observer([&](const std::string& path) {
        if (path == file.path() && first_write == Clock::time_point{}) {
          first_write = Clock::now();
        }
      });
      for (int i = 0; !stop; ++i) {
        first_write = {};
        const std::string password = "changed" + std::to_string(i % 2);
        const auto begin = Clock::now();
        if (UpdateUser(store, users, password.c_str()) != 1) std::abort();
        const auto end = Clock::now();
        commits.push_back(Micros(end - begin));
        if (first_write != Clock::time_point{}) {
          changes.push_back(Micros(end - first_write));
        }
        std::this_thread::sleep_until(begin + std::chrono::milliseconds(4));
      }
    });
    std::vector<std::vector<double>> checks(2);
    std::vector<std::thread> readers;
    const auto until = Clock::now() + seconds;
    for (std::size_t r = 0; r < checks.size(); ++r) {
      readers.emplace_back([&, r] {
        const Store store = file.store();
        auto next = Clock::now();
        for (std::int32_t i = 1; next < until; i = i % (users - 1) + 1) {
          std::this_thread::sleep_until(next);
          next += std::chrono::microseconds(200);
          const std::string name = UserName(i);
          const std::string password = UserPassword(i);
          const auto begin = Clock::now();
          if (!CheckCredentials(store, name.c_str(), password.c_str()).ok()) {
            std::abort();
          }
          checks[r].push_back(Micros(Clock::now() - begin));
        }
      });
    }
    for (std::thread& reader : readers) reader.join();
    stop = true;
    writer.join();

    std::vector<double> all;
    for (const auto& part : checks)
      all.insert(all.end(), part.begin(), part.end());
    std::sort(all.begin(), all.end());
    std::sort(changes.begin(), changes.end());
    std::sort(commits.begin(), commits.end());
    const double waited = static_cast<double>(
        all.end() - std::upper_bound(all.begin(), all.end(), 50.0));
    state.counters["check_p50_us"] = At(all, 0.5);
    state.counters["check_p99_us"] = At(all, 0.99);
    state.counters["check_p999_us"] = At(all, 0.999);
    state.counters["check_max_us"] = all.empty() ? 0 : all.back();
    state.counters["waited_pct"] = all.empty() ? 0 : 100 * waited / all.size();
    state.counters["commit_p50_us"] = At(commits, 0.5);
    state.counters["change_p50_us"] = At(changes, 0.5);
    state.counters["change_max_us"] = changes.empty() ? 0 : changes.back();
    state.counters["x_slowest_over_change"] =
        all.empty() || changes.empty() ? 0
                                       : all.back() / (changes.back() + 100);
  }
}
BENCHMARK(BM_LoginsBesideAWriter)
    ->ArgNames({"records", "seconds"})
    ->Args({1000, 10})
    ->Args({10, 1})  // a moment's run, for the build's own test
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace bench
}  // namespace brellox
