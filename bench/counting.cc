#include "bench/counting.h"

#include "src/store/format.h"
#include "src/store/journal.h"

namespace brellox {
namespace bench {
namespace {

void Report(benchmark::State& state, const std::string& prefix, const Counts& c,
            int calls) {
  const auto put = [&](const char* name, double value) {
    if (value != 0) state.counters[prefix + name] = value / calls;
  };
  put("opens", c.opens);
  put("reads", c.reads);
  put("writes", c.writes);
  put("syncs", c.syncs);
  put("truncates", c.truncates);
  put("locks", c.locks);
  put("stats", c.stats);
  put("fstats", c.fstats);
  put("read_B", static_cast<double>(c.bytes_read));
  put("written_B", static_cast<double>(c.bytes_written));
}

}  // namespace

void ReportCounts(benchmark::State& state, const std::string& prefix,
                  const Counts& config, const Counts& journal, int calls) {
  Report(state, prefix + "cfg_", config, calls);
  Report(state, prefix + "jnl_", journal, calls);
}

void ReportCounts(benchmark::State& state, const std::string& prefix,
                  const test::FaultEnv& env, int calls) {
  ReportCounts(state, prefix, env.CountersFor(kConfigFileName),
               env.CountersFor(kJournalSuffix), calls);
}

}  // namespace bench
}  // namespace brellox
