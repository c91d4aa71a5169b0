#include "bench/counting.h"

#include "src/store/format.h"
#include "src/store/journal.h"

namespace brellox {
namespace bench {
namespace {

void Report(benchmark::State& state, const std::string& prefix,
            const Counts& c, int calls) {
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

void ReportCounts(benchmark::State& state, const Counts& config,
                  const Counts& journal, int calls) {
  Report(state, "cfg_", config, calls);
  Report(state, "jnl_", journal, calls);
}

void ReportCounts(benchmark::State& state, const test::FaultEnv& env,
                  int calls) {
  ReportCounts(state, env.CountersFor(kConfigFileName),
               env.CountersFor(kJournalSuffix), calls);
}

void AddCounts(const Counts& add, Counts* sum) {
  sum->opens += add.opens;
  sum->reads += add.reads;
  sum->writes += add.writes;
  sum->syncs += add.syncs;
  sum->truncates += add.truncates;
  sum->locks += add.locks;
  sum->stats += add.stats;
  sum->fstats += add.fstats;
  sum->bytes_read += add.bytes_read;
  sum->bytes_written += add.bytes_written;
}

}  // namespace bench
}  // namespace brellox
