// Changes, at 10, 1,000 and 10,000 records, beside their floors and, for
// users, SQLite. Every image is a server in use (ServerSpec: 100 privilege
// values and 20 option groups behind the user table, which a growing add
// moves) with the benchmarked table filled; the option groups are the
// benchmarked table of SetOptionInfo.
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench/images.h"
#include "bench/runner.h"
#include "src/options/options.h"
#include "src/sources/twin_table.h"
#include "src/users/users.h"

namespace brellox {
namespace bench {
namespace {

// `free` slots after the users: 2 leaves room for an add, 0 makes it grow.
std::string WithUsers(std::int32_t n, std::int32_t free) {
  ImageSpec spec = ServerSpec();
  spec.users = {n, free};
  return BuildImage(spec);
}

// Adds user n + 1; with `free` = 0 the table must grow.
Family AddUserFamily(const char* name, std::int32_t free, bool has_sqlite) {
  Family f;
  f.name = name;
  f.image = [free](std::int32_t n) { return WithUsers(n, free); };
  f.has_sqlite = has_sqlite;
  f.calls = [](std::int32_t n) {
    const std::string user = UserName(n + 1), password = UserPassword(n + 1);
    Calls c;
    c.library = [=](const Store& store) {
      return AddUser(store, user.c_str(), password.c_str()) == n + 1;
    };
    c.floor = [=](Floor& floor) {
      return floor.AddUser(user.c_str(), password.c_str()) == n + 1;
    };
    c.sqlite = [=](SqliteUsers& db) {
      return db.AddUser(user.c_str(), password.c_str()) == n + 1;
    };
    c.sqlite_undo = [=](SqliteUsers& db) { return db.DelUser(n + 1) == 1; };
    return c;
  };
  return f;
}

// Deletes the user in the middle: the half behind it moves down a slot.
Family DelUserFamily() {
  Family f;
  f.name = "DelUser";
  f.image = [](std::int32_t n) { return WithUsers(n, 2); };
  f.has_sqlite = true;
  f.calls = [](std::int32_t n) {
    const std::int32_t id = n / 2;
    const std::string user = UserName(id), password = UserPassword(id);
    Calls c;
    c.library = [=](const Store& store) { return DelUser(store, id) == 1; };
    c.floor = [=](Floor& floor) { return floor.DelUser(id) == 1; };
    c.sqlite = [=](SqliteUsers& db) { return db.DelUser(id) == 1; };
    c.sqlite_undo = [=](SqliteUsers& db) {
      return db.AddUserWithId(id, user.c_str(), password.c_str());
    };
    return c;
  };
  return f;
}

Family AddGdbFamily() {
  Family f;
  f.name = "AddGDB";
  f.image = [](std::int32_t n) {
    ImageSpec spec = ServerSpec();
    spec.gdbs = {n, 2};
    return BuildImage(spec);
  };
  f.calls = [](std::int32_t n) {
    SVC_GDB_INFO info{};
    const std::string name = GdbName(n + 1);
    std::memcpy(info.name, name.c_str(), name.size());
    Calls c;
    c.library = [=](const Store& store) {
      return GdbTable::Add(store, info) == n + 1;
    };
    c.floor = [=](Floor& floor) { return floor.AddGDB(info) == n + 1; };
    return c;
  };
  return f;
}

// Sets the integer first option of the last of n option groups.
Family SetOptionInfoFamily() {
  Family f;
  f.name = "SetOptionInfo";
  f.image = [](std::int32_t n) {
    ImageSpec spec = ServerSpec();
    spec.option_groups = n;
    return BuildImage(spec);
  };
  f.calls = [](std::int32_t n) {
    const std::string name = GroupName(n);
    CONFIG_OPTION option{};
    const std::int32_t value = 7;
    std::memcpy(option.value, &value, sizeof(value));
    option.type = SVR_OPTION_INT32;
    Calls c;
    c.library = [=](const Store& store) {
      return SetOptionInfo(store, name.c_str(), kGroupType, 0, option) == 1;
    };
    c.floor = [=](Floor& floor) {
      return floor.SetOptionInfo(name.c_str(), kGroupType, 0, option) == 1;
    };
    return c;
  };
  return f;
}

const bool registered = [] {
  RegisterChanges(AddUserFamily("AddUser", 2, true));
  RegisterChanges(AddUserFamily("AddUserGrowing", 0, false));
  RegisterChanges(DelUserFamily());
  RegisterChanges(AddGdbFamily());
  RegisterChanges(SetOptionInfoFamily());
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace brellox
