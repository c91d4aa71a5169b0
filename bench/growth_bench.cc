// Adding users one by one to a new server's file: the default file with 100
// privilege values and 20 option groups (ServerSpec), as a server in use
// holds them. The user table starts with two slots and grows by two at
// every second add, moving the tables behind it each time.
//
// One run per size, timed through the counting FaultEnv: at several
// milliseconds of syncs per add, its bookkeeping is lost in the noise, and
// the totals come from the very calls timed. Counters are totals of the
// run: bytes written to the file and to its journal, and the least the
// file must take ("cfg_bound_B": each new record and header, and at each
// growth the moved tables and the second new slot, zeroed).
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_store.h"
#include "bench/images.h"
#include "src/store/config_file.h"
#include "src/store/format.h"
#include "src/store/journal.h"
#include "src/users/users.h"
#include "tests/testutil/fault_env.h"

namespace brellox {
namespace bench {
namespace {

// The bytes `adds` adds must write to the file at the least, starting from
// `image`, by the format's growth rule.
double LeastBytes(const std::string& image, std::int32_t adds) {
  SVR_CFG_HEADER header;
  std::memcpy(&header, image.data(), sizeof(header));
  const std::int64_t record = sizeof(SVR_USER_REC);
  std::int64_t count = header.users.count, capacity = header.users.capacity;
  const std::int64_t users_end = header.users.offset + capacity * record;
  std::int64_t behind = LayoutEnd(header) - users_end;
  double bytes = 0;
  for (std::int32_t i = 0; i < adds; ++i) {
    if (count == capacity) {
      bytes += static_cast<double>(behind + record);
      capacity += 2;
    }
    bytes += static_cast<double>(record + kHeaderSize);
    ++count;
  }
  return bytes;
}

void BM_AddUsersOneByOne(benchmark::State& state) {
  const auto adds = static_cast<std::int32_t>(state.range(0));
  const std::string image = BuildImage(ServerSpec());
  BenchStore bench(image);
  test::FaultEnv env(Env::Default());  // counts, never armed
  const Store store = bench.store(&env);
  std::vector<std::string> names, passwords;
  for (std::int32_t i = 1; i <= adds; ++i) {
    names.push_back(UserName(i));
    passwords.push_back(UserPassword(i));
  }
  for (auto _ : state) {
    for (std::int32_t i = 1; i <= adds; ++i) {
      if (AddUser(store, names[i - 1].c_str(), passwords[i - 1].c_str()) != i) {
        state.SkipWithError("an add failed");
        return;
      }
    }
  }
  const test::FaultEnv::Counters file = env.CountersFor(kConfigFileName);
  const test::FaultEnv::Counters journal = env.CountersFor(kJournalSuffix);
  state.counters["cfg_written_B"] = static_cast<double>(file.bytes_written);
  state.counters["cfg_writes"] = file.writes;
  state.counters["cfg_syncs"] = file.syncs;
  state.counters["cfg_bound_B"] = LeastBytes(image, adds);
  state.counters["jnl_written_B"] = static_cast<double>(journal.bytes_written);
  state.counters["jnl_syncs"] = journal.syncs;
  state.counters["all_written_B"] =
      static_cast<double>(file.bytes_written + journal.bytes_written);
}
// 10 is for the smoke run that keeps this program from rotting.
BENCHMARK(BM_AddUsersOneByOne)
    ->Name("AddUsersOneByOne")
    ->ArgNames({"adds"})
    ->Arg(10)
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(10000)
    ->Iterations(1)
    ->Repetitions(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace bench
}  // namespace brellox
