// The admin tool's listings at 10 to 40,000 users: `brellox show` and
// `brellox priv list` on a file whose users each hold one privilege value,
// each run a whole process (the tool started, the file read, every row
// printed to /dev/null), as an administrator meets it. Rows name their user,
// so a listing that looked each one up among the users would grow with the
// square of the records; the ratio of two sizes tells.
//
// Counter: "ms", the median time of one run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_store.h"
#include "bench/images.h"
#include "bench/run_process.h"

namespace brellox {
namespace bench {
namespace {

// The tool's run with `args` on the file at `path`, output discarded; its
// time in milliseconds. Throws unless it exits 0.
double RunTool(const std::string& path, const std::vector<std::string>& args) {
  std::vector<std::string> words = {BRELLOX_TOOL_PATH, "--config", path};
  words.insert(words.end(), args.begin(), args.end());
  const auto start = std::chrono::steady_clock::now();
  const int code = RunProcess(std::move(words));
  const auto end = std::chrono::steady_clock::now();
  if (code != 0) throw std::runtime_error("the tool failed");
  return std::chrono::duration<double, std::milli>(end - start).count();
}

void Listing(benchmark::State& state, const std::vector<std::string>& args) {
  const std::int32_t n = static_cast<std::int32_t>(state.range(0));
  ImageSpec spec;
  spec.users = {n, 0};
  spec.privileges = {n, 0};
  BenchStore store(BuildImage(spec));
  store.CreateIdleJournal();
  std::vector<double> times;
  for (auto _ : state) {
    const double ms = RunTool(store.path(), args);
    state.SetIterationTime(ms / 1000.0);
    times.push_back(ms);
  }
  std::nth_element(times.begin(), times.begin() + times.size() / 2,
                   times.end());
  state.counters["ms"] = times[times.size() / 2];
}

void Register(const char* name, const std::vector<std::string>& args) {
  benchmark::internal::Benchmark* b = benchmark::RegisterBenchmark(
      name, [args](benchmark::State& state) { Listing(state, args); });
  b->ArgNames({"records"})->UseManualTime()->Unit(benchmark::kMillisecond);
  for (std::int64_t n : {10, 1000, 10000, 40000}) b->Arg(n);
}

const int kRegistered = [] {
  Register("ShowTool", {"show"});
  Register("PrivListTool", {"priv", "list"});
  return 0;
}();

}  // namespace
}  // namespace bench
}  // namespace brellox
