// Per-call counts of the system's file operations, as benchmark counters:
// "cfg_..." for the configuration file, "jnl_..." for its journal.
#ifndef BRELLOX_BENCH_COUNTING_H_
#define BRELLOX_BENCH_COUNTING_H_

#include <benchmark/benchmark.h>

#include <string>

#include "tests/testutil/fault_env.h"

namespace brellox {
namespace bench {

using Counts = test::FaultEnv::Counters;

// The counts of `calls` calls of one benchmark, divided per call, as
// counters named `prefix` + "cfg_reads" and so on. Counters that stay zero
// are left out, to keep the console table narrow. "fstats" are the size,
// data and permission queries on an open file.
void ReportCounts(benchmark::State& state, const std::string& prefix,
                  const Counts& config, const Counts& journal, int calls);

// The same, split by file out of what `env` saw.
void ReportCounts(benchmark::State& state, const std::string& prefix,
                  const test::FaultEnv& env, int calls);

}  // namespace bench
}  // namespace brellox

#endif  // BRELLOX_BENCH_COUNTING_H_
