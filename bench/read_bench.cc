// Calls that only read, at 10, 1,000 and 10,000 records, each asking for
// the last record (the worst case of a front-to-back search), beside their
// floors and, for users, SQLite. Every image is a server in use
// (ServerSpec) with the benchmarked table filled.
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench/images.h"
#include "bench/runner.h"
#include "src/sources/sources.h"
#include "src/sources/twin_table.h"
#include "src/users/users.h"

namespace brellox {
namespace bench {
namespace {

std::string WithUsers(std::int32_t n) {
  ImageSpec spec = ServerSpec();
  spec.users = {n, 2};
  return BuildImage(spec);
}

Family CheckUserFamily() {
  Family f;
  f.name = "CheckUser";
  f.image = WithUsers;
  f.has_sqlite = true;
  f.price_guards = true;
  f.calls = [](std::int32_t n) {
    const std::string name = UserName(n), password = UserPassword(n);
    Calls c;
    c.library = [=](const Store& store) {
      return CheckUser(store, name.c_str(), password.c_str()) == 1;
    };
    c.floor = [=](Floor& floor) {
      return floor.CheckUser(name.c_str(), password.c_str()) == 1;
    };
    c.sqlite = [=](SqliteUsers& db) {
      return db.CheckUser(name.c_str(), password.c_str()) == 1;
    };
    return c;
  };
  return f;
}

Family GetUserFamily() {
  Family f;
  f.name = "GetUser";
  f.image = WithUsers;
  f.has_sqlite = true;
  f.calls = [](std::int32_t n) {
    Calls c;
    c.library = [n](const Store& store) {
      char name[32];
      const bool found = GetUser(store, n, name, sizeof(name)) == 1;
      benchmark::DoNotOptimize(name);
      return found;
    };
    c.floor = [n](Floor& floor) {
      char name[32];
      const bool found = floor.GetUser(n, name, sizeof(name)) == 1;
      benchmark::DoNotOptimize(name);
      return found;
    };
    c.sqlite = [n](SqliteUsers& db) {
      char name[32];
      const bool found = db.GetUser(n, name, sizeof(name)) == 1;
      benchmark::DoNotOptimize(name);
      return found;
    };
    return c;
  };
  return f;
}

Family GetConnFamily() {
  Family f;
  f.name = "GetConn";
  f.image = [](std::int32_t n) {
    ImageSpec spec = ServerSpec();
    spec.conns = {n, 2};
    return BuildImage(spec);
  };
  f.calls = [](std::int32_t n) {
    Calls c;
    c.library = [n](const Store& store) {
      SVC_GDB_CONN_INFO info;
      const bool found = ConnTable::Get(store, n, info) == 1;
      benchmark::DoNotOptimize(info);
      return found;
    };
    c.floor = [n](Floor& floor) {
      SVC_GDB_CONN_INFO info;
      const bool found = floor.GetConn(n, &info) == 1;
      benchmark::DoNotOptimize(info);
      return found;
    };
    return c;
  };
  return f;
}

Family GetGdbIdFamily() {
  Family f;
  f.name = "GetGDBID";
  f.image = [](std::int32_t n) {
    ImageSpec spec = ServerSpec();
    spec.gdbs = {n, 2};
    return BuildImage(spec);
  };
  f.calls = [](std::int32_t n) {
    const std::string name = GdbName(n);
    Calls c;
    c.library = [=](const Store& store) {
      SVR_LONG id = 0;
      return GetGDBID(store, name.c_str(), id) == 1 && id == n;
    };
    c.floor = [=](Floor& floor) {
      std::int32_t id = 0;
      return floor.GetGDBID(name.c_str(), &id) == 1 && id == n;
    };
    return c;
  };
  return f;
}

const bool registered = [] {
  RegisterReads(CheckUserFamily());
  RegisterReads(GetUserFamily());
  RegisterReads(GetConnFamily());
  RegisterReads(GetGdbIdFamily());
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace brellox
