// The C interface's price: each C lookup against its C++ export on the same
// file, at 10 and 10,000 records in every table, each asked for the last
// record (the worst case of a search). The two calls alternate, in an order
// that rotates from iteration to iteration, so that both meet the same load
// on a shared machine.
//
// Counters: "cxx_us" and "c_us", the median time of a call of each;
// "x_cxx", the median of the C call's time over the C++ call's made beside
// it. The benchmark's own time is the C call's.
//
// busy_timeout: how long a C lookup on a file that another call keeps
// locked takes to give up with BRELLOX_BUSY, for a thread busy timeout of
// 0, 1 and 20 milliseconds ("waited_us", the median; "over_us", its excess
// over the timeout).
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
#include "src/store/config_file.h"

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

// The names and IDs the lookups ask for: the last record of each table.
struct Asked {
  explicit Asked(std::int32_t n)
      : n(n),
        user(UserName(n)),
        password(UserPassword(n)),
        conn(ConnName(n)),
        gdb(GdbName(n)),
        group(GroupName(1)) {}
  std::int32_t n;
  std::string user, password, conn, gdb, group;
};

// One lookup through both interfaces; each says whether it succeeded.
struct Lookup {
  const char* name;
  bool (*cxx)(Asked& a);
  bool (*c)(const char* path, Asked& a);
};

// Room for the lists of the largest file.
std::vector<std::int32_t>& IdArray() {
  static std::vector<std::int32_t> ids(20000);
  return ids;
}

const Lookup kLookups[] = {
    {"check_user",
     [](Asked& a) { return Svr_CheckUser(&a.user[0], &a.password[0]) == 1; },
     [](const char* p, Asked& a) {
       return brellox_check_user(p, a.user.c_str(), a.password.c_str()) ==
              BRELLOX_OK;
     }},
    {"user_id", [](Asked& a) { return Svr_GetUserIDByName(&a.user[0]) == a.n; },
     [](const char* p, Asked& a) {
       std::int32_t id = 0;
       return brellox_get_user_id(p, a.user.c_str(), &id) == BRELLOX_OK;
     }},
    {"user_name",
     [](Asked& a) {
       char name[31];
       return Svr_GetUser(a.n, name, sizeof(name)) == 1;
     },
     [](const char* p, Asked& a) {
       char name[31];
       return brellox_get_user_name(p, a.n, name, sizeof(name)) == BRELLOX_OK;
     }},
    {"user_count", [](Asked& a) { return Svr_GetUserCount() == a.n; },
     [](const char* p, Asked&) {
       std::int32_t n = 0;
       return brellox_get_user_count(p, &n) == BRELLOX_OK;
     }},
    {"user_ids",
     [](Asked& a) {
       CSmartArray<SVR_LONG> ids;
       return Svr_GetUserIDs(ids) == a.n;
     },
     [](const char* p, Asked&) {
       std::int32_t n = 0;
       return brellox_get_user_ids(p, IdArray().data(),
                                   static_cast<std::int32_t>(IdArray().size()),
                                   &n) == BRELLOX_OK;
     }},
    {"user_privilege",
     [](Asked&) {
       SVR_LONG value = 0;
       return Svr_GetUserPriv(1, 1, value) == 1;
     },
     [](const char* p, Asked&) {
       std::int32_t value = 0;
       return brellox_get_user_privilege(p, 1, 1, &value) == BRELLOX_OK;
     }},
    {"connection",
     [](Asked& a) {
       SVC_GDB_CONN_INFO record;
       return Svr_GetConn(a.n, record) == 1;
     },
     [](const char* p, Asked& a) {
       brellox_connection record;
       return brellox_get_connection(p, a.n, &record) == BRELLOX_OK;
     }},
    {"connection_exists",
     [](Asked& a) { return Svr_ConnIsExist(&a.conn[0]) == 1; },
     [](const char* p, Asked& a) {
       std::int32_t found = 0;
       return brellox_connection_exists(p, a.conn.c_str(), &found) ==
                  BRELLOX_OK &&
              found == 1;
     }},
    {"connection_count", [](Asked& a) { return Svr_GetConnCount() == a.n; },
     [](const char* p, Asked&) {
       std::int32_t n = 0;
       return brellox_get_connection_count(p, &n) == BRELLOX_OK;
     }},
    {"connection_ids",
     [](Asked& a) {
       CSmartArray<SVR_LONG> ids;
       return Svr_GetConnIDs(ids) == a.n;
     },
     [](const char* p, Asked&) {
       std::int32_t n = 0;
       return brellox_get_connection_ids(
                  p, IdArray().data(),
                  static_cast<std::int32_t>(IdArray().size()),
                  &n) == BRELLOX_OK;
     }},
    {"gdb",
     [](Asked& a) {
       SVC_GDB_INFO record;
       return Svr_GetGDB(a.n, record) == 1;
     },
     [](const char* p, Asked& a) {
       brellox_gdb record;
       return brellox_get_gdb(p, a.n, &record) == BRELLOX_OK;
     }},
    {"gdb_id",
     [](Asked& a) {
       SVR_LONG id = 0;
       return Svr_GetGDBID(&a.gdb[0], id) == 1 && id == a.n;
     },
     [](const char* p, Asked& a) {
       std::int32_t id = 0;
       return brellox_get_gdb_id(p, a.gdb.c_str(), &id) == BRELLOX_OK;
     }},
    {"gdb_alias_name",
     [](Asked& a) {
       char name[33];
       return Svr_GetGDBAliasName(a.n, name, sizeof(name)) == 1;
     },
     [](const char* p, Asked& a) {
       char name[33];
       return brellox_get_gdb_alias_name(p, a.n, name, sizeof(name)) ==
              BRELLOX_OK;
     }},
    {"gdb_count", [](Asked& a) { return Svr_GetGDBCount() == a.n; },
     [](const char* p, Asked&) {
       std::int32_t n = 0;
       return brellox_get_gdb_count(p, &n) == BRELLOX_OK;
     }},
    {"gdb_ids",
     [](Asked& a) {
       CSmartArray<SVR_LONG> ids;
       return Svr_GetGDBIDs(ids) == a.n;
     },
     [](const char* p, Asked&) {
       std::int32_t n = 0;
       return brellox_get_gdb_ids(p, IdArray().data(),
                                  static_cast<std::int32_t>(IdArray().size()),
                                  &n) == BRELLOX_OK;
     }},
    {"option_count",
     [](Asked& a) { return Svr_GetOptionCount(&a.group[0], kGroupType) == 6; },
     [](const char* p, Asked& a) {
       std::int32_t n = 0;
       return brellox_get_option_count(p, a.group.c_str(), kGroupType, &n) ==
              BRELLOX_OK;
     }},
    {"options",
     [](Asked& a) {
       CONFIG_OPTION options[6];
       return Svr_GetOptionInfo(&a.group[0], kGroupType, options, 6) == 1;
     },
     [](const char* p, Asked& a) {
       brellox_option options[6];
       return brellox_get_options(p, a.group.c_str(), kGroupType, options, 6) ==
              BRELLOX_OK;
     }},
    {"option",
     [](Asked& a) {
       CONFIG_OPTION option;
       return Svr_GetOptionInfo(&a.group[0], kGroupType, 1, option) == 1;
     },
     [](const char* p, Asked& a) {
       brellox_option option;
       return brellox_get_option(p, a.group.c_str(), kGroupType, 1, &option) ==
              BRELLOX_OK;
     }},
    {"temp_dir",
     [](Asked&) {
       char dir[128];
       return Svr_GetTempDir(dir, sizeof(dir)) == 1;
     },
     [](const char* p, Asked&) {
       char dir[128];
       return brellox_get_temp_dir(p, dir, sizeof(dir)) == BRELLOX_OK;
     }},
};

void Compare(benchmark::State& state, const Lookup& lookup) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  ImageSpec spec = ServerSpec();
  spec.users = {n, 2};
  spec.conns = {n, 2};
  spec.gdbs = {n, 2};
  BenchStore file(BuildImage(spec));
  file.CreateIdleJournal();
  // The C++ export works on the library's own file: this one.
  std::strncpy(g_szCfgFile, file.path().c_str(), kMaxPath - 1);
  Asked asked(n);
  const char* path = file.path().c_str();

  std::vector<double> cxx, c, ratios;
  bool c_first = false;
  for (auto _ : state) {
    bool cxx_ok = false, c_ok = false;
    const auto cxx_call = [&] { cxx_ok = lookup.cxx(asked); };
    const auto c_call = [&] { c_ok = lookup.c(path, asked); };
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
      state.SkipWithError("a lookup failed");
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

void BusyTimeout(benchmark::State& state) {
  const std::int64_t timeout = state.range(0);
  BenchStore file(BuildImage(ServerSpec()));
  file.CreateIdleJournal();
  ConfigSession holder;
  if (!holder.Open(file.store(), Access::kWrite).ok()) {
    state.SkipWithError("cannot hold the file");
    return;
  }
  brellox_set_thread_busy_timeout(timeout);
  std::vector<double> waited;
  for (auto _ : state) {
    std::int32_t count = 0;
    brellox_result result = BRELLOX_OK;
    const double us = TimedMicros(
        [&] { result = brellox_get_user_count(file.path().c_str(), &count); });
    if (result != BRELLOX_BUSY) {
      state.SkipWithError("the held file was not busy");
      break;
    }
    state.SetIterationTime(us / 1e6);
    waited.push_back(us);
  }
  brellox_set_thread_busy_timeout(-1);
  state.counters["waited_us"] = Median(waited);
  state.counters["over_us"] = Median(waited) - static_cast<double>(timeout);
}

BENCHMARK(BusyTimeout)
    ->ArgName("timeout_us")
    ->Arg(0)
    ->Arg(1000)
    ->Arg(20000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

const bool kRegistered = [] {
  for (const Lookup& lookup : kLookups) {
    benchmark::RegisterBenchmark(lookup.name, Compare, lookup)
        ->ArgName("records")
        ->Arg(10)
        ->Arg(10000)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace brellox
