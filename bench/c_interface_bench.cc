// The C interface's price: brellox_check_user against the C++ export
// Svr_CheckUser on the same file, at 10 and 10,000 users, each asked for
// the last user (the worst case of the search). The two calls alternate,
// in an order that rotates from iteration to iteration, so that both meet
// the same load on a shared machine.
//
// Counters: "cxx_us" and "c_us", the median time of a call of each;
// "x_cxx", the median of the C call's time over the C++ call's made beside
// it. The benchmark's own time is the C call's.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_store.h"
#include "bench/images.h"
#include "brellox/brellox.h"
#include "brellox/brellox_c.h"

namespace brellox {
namespace bench {
namespace {

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

template <class Call>
double TimedMicros(Call&& call) {
  const auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::duration<double, std::micro>(
             std::chrono::steady_clock::now() - start)
      .count();
}

void CheckUser(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  ImageSpec spec = ServerSpec();
  spec.users = {n, 2};
  BenchStore file(BuildImage(spec));
  file.CreateIdleJournal();
  // The C++ export works on the library's own file: this one.
  std::strncpy(g_szCfgFile, file.path().c_str(), kMaxPath - 1);
  std::string name = UserName(n), password = UserPassword(n);
  const char* path = file.path().c_str();

  std::vector<double> cxx, c, ratios;
  bool c_first = false;
  for (auto _ : state) {
    bool cxx_ok = false, c_ok = false;
    const auto cxx_call = [&] {
      cxx_ok = Svr_CheckUser(&name[0], &password[0]) == 1;
    };
    const auto c_call = [&] {
      c_ok = brellox_check_user(path, name.c_str(), password.c_str()) ==
             BRELLOX_OK;
    };
    double cxx_us, c_us;
    if (c_first) {
      c_us = TimedMicros(c_call);
      cxx_us = TimedMicros(cxx_call);
    } else {
      cxx_us = TimedMicros(cxx_call);
      c_us = TimedMicros(c_call);
    }
    c_first = !c_first;
    if (!cxx_ok || !c_ok) {
      state.SkipWithError("a check failed");
      break;
    }
    state.SetIterationTime(c_us / 1e6);
    cxx.push_back(cxx_us);
    c.push_back(c_us);
    ratios.push_back(c_us / cxx_us);
  }
  g_szCfgFile[0] = '\0';
  state.counters["cxx_us"] = Median(cxx);
  state.counters["c_us"] = Median(c);
  state.counters["x_cxx"] = Median(ratios);
}

BENCHMARK(CheckUser)
    ->ArgName("records")
    ->Arg(10)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace bench
}  // namespace brellox
