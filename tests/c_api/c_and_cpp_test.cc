// The C interface and the exported Svr_ functions on the same files: for
// every operation, each run on its own copy of one file in each of several
// states, both give the same outcome, the same reason for a failure, the
// same values and leave the same bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "brellox/brellox.h"
#include "brellox/brellox_c.h"
#include "src/store/default_file.h"
#include "src/store/store.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

struct Outcome {
  bool ok = false;
  std::string reason;  // the last error's text after a failure
  std::string value;   // what the call read, after a success

  bool operator==(const Outcome& other) const {
    return ok == other.ok && reason == other.reason && value == other.value;
  }
};

std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
  return out << (outcome.ok ? "ok" : "failed") << " '" << outcome.reason
             << "' value '" << outcome.value << "'";
}

// `value` is read only after the call, and only after a success.
Outcome FromSvr(bool ok, const std::function<std::string()>& value = {}) {
  char reason[256];
  Svr_GetLastError(reason, sizeof(reason));
  if (!ok) return Outcome{false, reason, ""};
  return Outcome{true, "", value ? value() : ""};
}

Outcome FromC(brellox_result result,
              const std::function<std::string()>& value = {}) {
  char reason[256];
  brellox_last_error(reason, sizeof(reason));
  if (result != BRELLOX_OK) return Outcome{false, reason, ""};
  return Outcome{true, "", value ? value() : ""};
}

std::string Bytes(const void* data, std::size_t size) {
  return std::string(static_cast<const char*>(data), size);
}

std::string Ids(const std::int32_t* ids, std::int32_t n) {
  std::string text;
  for (std::int32_t i = 0; i < n; ++i) text += std::to_string(ids[i]) + ",";
  return text;
}

std::string Ids(CSmartArray<SVR_LONG>& ids) {
  std::string text;
  for (int i = 0; i < ids.GetSize(); ++i) {
    text += std::to_string(*ids.GetAt(i)) + ",";
  }
  return text;
}

SVC_GDB_CONN_INFO Connection(std::int32_t id, const char* name) {
  SVC_GDB_CONN_INFO record{};
  record.id = id;
  std::strcpy(record.name, name);
  std::strcpy(record.info4, "host=db");
  return record;
}

SVC_GDB_INFO Gdb(std::int32_t id, const char* name) {
  SVC_GDB_INFO record{};
  record.id = id;
  std::strcpy(record.name, name);
  std::strcpy(record.details, "details");
  return record;
}

CONFIG_OPTION IntOption(const char* name, std::int32_t value) {
  CONFIG_OPTION option{};
  std::strcpy(option.name, name);
  option.type = SVR_OPTION_INT32;
  std::memcpy(option.value, &value, sizeof(value));
  return option;
}

// One operation with the same arguments through both interfaces.
struct Operation {
  const char* name;
  std::function<Outcome()> svr;
  std::function<Outcome(const char* path)> c;
  // Removals run once: removing what is gone already is done for a Svr_
  // function and not found for the C one.
  int rounds = 2;
};

char* Text(const char* text) { return const_cast<char*>(text); }

std::vector<Operation> Operations() {
  static CONFIG_OPTION options[6] = {IntOption("a", 7), IntOption("b", 8)};
  return {
      {"set temp dir", [] { return FromSvr(Svr_SetTempDir(Text("/t2")) == 1); },
       [](const char* p) { return FromC(brellox_set_temp_dir(p, "/t2")); }},
      {"get temp dir",
       [] {
         char dir[128] = {};
         return FromSvr(Svr_GetTempDir(dir, sizeof(dir)) == 1,
                        [&] { return std::string(dir); });
       },
       [](const char* p) {
         char dir[128] = {};
         return FromC(brellox_get_temp_dir(p, dir, sizeof(dir)),
                      [&] { return std::string(dir); });
       }},
      {"add user",
       [] {
         const SVR_LONG id = Svr_AddUser(Text("carol"), Text("pw3"));
         return FromSvr(id > 0,
                        [&] { return std::string(std::to_string(id)); });
       },
       [](const char* p) {
         std::int32_t id = 0;
         return FromC(brellox_add_user(p, "carol", "pw3", &id),
                      [&] { return std::string(std::to_string(id)); });
       }},
      {"add a user who exists",
       [] { return FromSvr(Svr_AddUser(Text("bob"), Text("x")) > 0); },
       [](const char* p) {
         std::int32_t id = 0;
         return FromC(brellox_add_user(p, "bob", "x", &id));
       }},
      {"get user name",
       [] {
         char name[31] = {};
         return FromSvr(Svr_GetUser(2, name, sizeof(name)) == 1,
                        [&] { return std::string(name); });
       },
       [](const char* p) {
         char name[31] = {};
         return FromC(brellox_get_user_name(p, 2, name, sizeof(name)),
                      [&] { return std::string(name); });
       }},
      {"get the name of no user",
       [] {
         char name[31] = {};
         return FromSvr(Svr_GetUser(9, name, sizeof(name)) == 1);
       },
       [](const char* p) {
         char name[31] = {};
         return FromC(brellox_get_user_name(p, 9, name, sizeof(name)));
       }},
      {"update user", [] { return FromSvr(Svr_UpdateUser(1, Text("new"))); },
       [](const char* p) { return FromC(brellox_update_user(p, 1, "new")); }},
      {"update no user", [] { return FromSvr(Svr_UpdateUser(9, Text("new"))); },
       [](const char* p) { return FromC(brellox_update_user(p, 9, "new")); }},
      {"delete user", [] { return FromSvr(Svr_DelUser(1) == 1); },
       [](const char* p) { return FromC(brellox_delete_user(p, 1)); }, 1},
      {"user count",
       [] {
         const SVR_LONG n = Svr_GetUserCount();
         char reason[8];
         // 0 is a failure only when it has a reason.
         return FromSvr(n > 0 || Svr_GetLastError(reason, sizeof(reason)) == 0,
                        [&] { return std::string(std::to_string(n)); });
       },
       [](const char* p) {
         std::int32_t n = 0;
         return FromC(brellox_get_user_count(p, &n),
                      [&] { return std::string(std::to_string(n)); });
       }},
      {"user IDs",
       [] {
         CSmartArray<SVR_LONG> ids;
         const SVR_LONG n = Svr_GetUserIDs(ids);
         return FromSvr(n > 0, [&] { return std::string(Ids(ids)); });
       },
       [](const char* p) {
         std::int32_t ids[8];
         std::int32_t n = 0;
         const brellox_result r = brellox_get_user_ids(p, ids, 8, &n);
         return FromC(r, [&] { return std::string(Ids(ids, n)); });
       }},
      {"user ID by name",
       [] {
         const SVR_LONG id = Svr_GetUserIDByName(Text("bob"));
         return FromSvr(id > 0,
                        [&] { return std::string(std::to_string(id)); });
       },
       [](const char* p) {
         std::int32_t id = 0;
         return FromC(brellox_get_user_id(p, "bob", &id),
                      [&] { return std::string(std::to_string(id)); });
       }},
      {"ID of no user",
       [] { return FromSvr(Svr_GetUserIDByName(Text("zed")) > 0); },
       [](const char* p) {
         std::int32_t id = 0;
         return FromC(brellox_get_user_id(p, "zed", &id));
       }},
      {"check user",
       [] { return FromSvr(Svr_CheckUser(Text("bob"), Text("pw2")) == 1); },
       [](const char* p) {
         return FromC(brellox_check_user(p, "bob", "pw2"));
       }},
      {"check a wrong password",
       [] { return FromSvr(Svr_CheckUser(Text("bob"), Text("no")) == 1); },
       [](const char* p) { return FromC(brellox_check_user(p, "bob", "no")); }},
      {"get privilege",
       [] {
         SVR_LONG value = 0;
         return FromSvr(Svr_GetUserPriv(2, 5, value) == 1,
                        [&] { return std::string(std::to_string(value)); });
       },
       [](const char* p) {
         std::int32_t value = 0;
         return FromC(brellox_get_user_privilege(p, 2, 5, &value),
                      [&] { return std::string(std::to_string(value)); });
       }},
      {"set privilege", [] { return FromSvr(Svr_SetUserPriv(2, 6, 3) == 1); },
       [](const char* p) {
         return FromC(brellox_set_user_privilege(p, 2, 6, 3));
       }},
      {"add connection",
       [] {
         SVC_GDB_CONN_INFO record = Connection(0, "c3");
         const SVR_LONG id = Svr_AddConn(record);
         return FromSvr(id > 0,
                        [&] { return std::string(std::to_string(id)); });
       },
       [](const char* p) {
         const SVC_GDB_CONN_INFO record = Connection(0, "c3");
         std::int32_t id = 0;
         return FromC(
             brellox_add_connection(
                 p, reinterpret_cast<const brellox_connection*>(&record), &id),
             [&] { return std::string(std::to_string(id)); });
       }},
      {"add a connection that exists",
       [] {
         SVC_GDB_CONN_INFO record = Connection(0, "c1");
         return FromSvr(Svr_AddConn(record) > 0);
       },
       [](const char* p) {
         const SVC_GDB_CONN_INFO record = Connection(0, "c1");
         std::int32_t id = 0;
         return FromC(brellox_add_connection(
             p, reinterpret_cast<const brellox_connection*>(&record), &id));
       }},
      {"get connection",
       [] {
         SVC_GDB_CONN_INFO record{};
         return FromSvr(Svr_GetConn(2, record) == 1, [&] {
           return std::string(Bytes(&record, sizeof(record)));
         });
       },
       [](const char* p) {
         brellox_connection record{};
         return FromC(brellox_get_connection(p, 2, &record), [&] {
           return std::string(Bytes(&record, sizeof(record)));
         });
       }},
      {"get no connection",
       [] {
         SVC_GDB_CONN_INFO record{};
         return FromSvr(Svr_GetConn(9, record) == 1);
       },
       [](const char* p) {
         brellox_connection record{};
         return FromC(brellox_get_connection(p, 9, &record));
       }},
      {"all connections",
       [] {
         SVC_GDB_CONN_INFO records[2]{};
         return FromSvr(Svr_GetAllConn(records, 2) == 1, [&] {
           return std::string(Bytes(records, sizeof(records)));
         });
       },
       [](const char* p) {
         brellox_connection records[2]{};
         std::int32_t n = 0;
         return FromC(brellox_get_connections(p, records, 2, &n), [&] {
           return std::string(Bytes(records, sizeof(records)));
         });
       }},
      {"update connection",
       [] {
         SVC_GDB_CONN_INFO record = Connection(1, "c9");
         return FromSvr(Svr_UpdateConn(record) == 1);
       },
       [](const char* p) {
         const SVC_GDB_CONN_INFO record = Connection(1, "c9");
         return FromC(brellox_update_connection(
             p, reinterpret_cast<const brellox_connection*>(&record)));
       }},
      {"delete connection", [] { return FromSvr(Svr_DelConn(2) == 1); },
       [](const char* p) { return FromC(brellox_delete_connection(p, 2)); }, 1},
      {"connection exists",
       [] {
         const SVR_LONG found = Svr_ConnIsExist(Text("c2"));
         char reason[8];
         return FromSvr(found == 1 || Svr_GetLastError(reason, 8) == 0,
                        [&] { return std::string(std::to_string(found)); });
       },
       [](const char* p) {
         std::int32_t found = 0;
         return FromC(brellox_connection_exists(p, "c2", &found),
                      [&] { return std::string(std::to_string(found)); });
       }},
      {"connection count",
       [] {
         const SVR_LONG n = Svr_GetConnCount();
         char reason[8];
         return FromSvr(n > 0 || Svr_GetLastError(reason, 8) == 0,
                        [&] { return std::string(std::to_string(n)); });
       },
       [](const char* p) {
         std::int32_t n = 0;
         return FromC(brellox_get_connection_count(p, &n),
                      [&] { return std::string(std::to_string(n)); });
       }},
      {"connection IDs",
       [] {
         CSmartArray<SVR_LONG> ids;
         return FromSvr(Svr_GetConnIDs(ids) > 0,
                        [&] { return std::string(Ids(ids)); });
       },
       [](const char* p) {
         std::int32_t ids[8];
         std::int32_t n = 0;
         const brellox_result r = brellox_get_connection_ids(p, ids, 8, &n);
         return FromC(r, [&] { return std::string(Ids(ids, n)); });
       }},
      {"add GDB",
       [] {
         SVC_GDB_INFO record = Gdb(0, "g3");
         const SVR_LONG id = Svr_AddGDB(record);
         return FromSvr(id > 0,
                        [&] { return std::string(std::to_string(id)); });
       },
       [](const char* p) {
         const SVC_GDB_INFO record = Gdb(0, "g3");
         std::int32_t id = 0;
         return FromC(
             brellox_add_gdb(p, reinterpret_cast<const brellox_gdb*>(&record),
                             &id),
             [&] { return std::string(std::to_string(id)); });
       }},
      {"get GDB",
       [] {
         SVC_GDB_INFO record{};
         return FromSvr(Svr_GetGDB(1, record) == 1, [&] {
           return std::string(Bytes(&record, sizeof(record)));
         });
       },
       [](const char* p) {
         brellox_gdb record{};
         return FromC(brellox_get_gdb(p, 1, &record), [&] {
           return std::string(Bytes(&record, sizeof(record)));
         });
       }},
      {"get no GDB",
       [] {
         SVC_GDB_INFO record{};
         return FromSvr(Svr_GetGDB(9, record) == 1);
       },
       [](const char* p) {
         brellox_gdb record{};
         return FromC(brellox_get_gdb(p, 9, &record));
       }},
      {"all GDBs",
       [] {
         SVC_GDB_INFO records[2]{};
         return FromSvr(Svr_GetAllGDB(records, 2) == 1, [&] {
           return std::string(Bytes(records, sizeof(records)));
         });
       },
       [](const char* p) {
         brellox_gdb records[2]{};
         std::int32_t n = 0;
         return FromC(brellox_get_gdbs(p, records, 2, &n), [&] {
           return std::string(Bytes(records, sizeof(records)));
         });
       }},
      {"update GDB",
       [] {
         SVC_GDB_INFO record = Gdb(2, "g1");
         return FromSvr(Svr_UpdateGDB(record) == 1);
       },
       [](const char* p) {
         const SVC_GDB_INFO record = Gdb(2, "g1");
         return FromC(brellox_update_gdb(
             p, reinterpret_cast<const brellox_gdb*>(&record)));
       }},
      {"delete GDB", [] { return FromSvr(Svr_DelGDB(1) == 1); },
       [](const char* p) { return FromC(brellox_delete_gdb(p, 1)); }, 1},
      {"GDB exists",
       [] {
         const SVR_LONG found = Svr_GDBIsExist(Text("g2"));
         char reason[8];
         return FromSvr(found == 1 || Svr_GetLastError(reason, 8) == 0,
                        [&] { return std::string(std::to_string(found)); });
       },
       [](const char* p) {
         std::int32_t found = 0;
         return FromC(brellox_gdb_exists(p, "g2", &found),
                      [&] { return std::string(std::to_string(found)); });
       }},
      {"GDB count",
       [] {
         const SVR_LONG n = Svr_GetGDBCount();
         return FromSvr(n >= 0, [&] { return std::string(std::to_string(n)); });
       },
       [](const char* p) {
         std::int32_t n = 0;
         return FromC(brellox_get_gdb_count(p, &n),
                      [&] { return std::string(std::to_string(n)); });
       }},
      {"GDB IDs",
       [] {
         CSmartArray<SVR_LONG> ids;
         return FromSvr(Svr_GetGDBIDs(ids) > 0,
                        [&] { return std::string(Ids(ids)); });
       },
       [](const char* p) {
         std::int32_t ids[8];
         std::int32_t n = 0;
         const brellox_result r = brellox_get_gdb_ids(p, ids, 8, &n);
         return FromC(r, [&] { return std::string(Ids(ids, n)); });
       }},
      {"GDB alias name",
       [] {
         char name[33] = {};
         return FromSvr(Svr_GetGDBAliasName(2, name, sizeof(name)) == 1,
                        [&] { return std::string(name); });
       },
       [](const char* p) {
         char name[33] = {};
         return FromC(brellox_get_gdb_alias_name(p, 2, name, sizeof(name)),
                      [&] { return std::string(name); });
       }},
      {"GDB ID",
       [] {
         SVR_LONG id = 0;
         return FromSvr(Svr_GetGDBID(Text("g2"), id) == 1,
                        [&] { return std::string(std::to_string(id)); });
       },
       [](const char* p) {
         std::int32_t id = 0;
         return FromC(brellox_get_gdb_id(p, "g2", &id),
                      [&] { return std::string(std::to_string(id)); });
       }},
      {"add option group",
       [] { return FromSvr(Svr_AddOptionInfo(Text("h"), 2, options, 2) == 1); },
       [](const char* p) {
         return FromC(brellox_add_option_group(
             p, "h", 2, reinterpret_cast<const brellox_option*>(options), 2));
       }},
      {"add an option group that exists",
       [] {
         return FromSvr(Svr_AddOptionInfo(Text("grp"), 1, options, 2) == 1);
       },
       [](const char* p) {
         return FromC(brellox_add_option_group(
             p, "grp", 1, reinterpret_cast<const brellox_option*>(options), 2));
       }},
      {"option count",
       [] {
         const SVR_LONG n = Svr_GetOptionCount(Text("grp"), 1);
         return FromSvr(n > 0, [&] { return std::string(std::to_string(n)); });
       },
       [](const char* p) {
         std::int32_t n = 0;
         return FromC(brellox_get_option_count(p, "grp", 1, &n),
                      [&] { return std::string(std::to_string(n)); });
       }},
      {"count of no group",
       [] { return FromSvr(Svr_GetOptionCount(Text("none"), 1) > 0); },
       [](const char* p) {
         std::int32_t n = 0;
         return FromC(brellox_get_option_count(p, "none", 1, &n));
       }},
      {"group's options",
       [] {
         CONFIG_OPTION found[6]{};
         return FromSvr(Svr_GetOptionInfo(Text("grp"), 1, found, 6) == 1, [&] {
           return std::string(Bytes(found, sizeof(found)));
         });
       },
       [](const char* p) {
         brellox_option found[6]{};
         return FromC(brellox_get_options(p, "grp", 1, found, 6),
                      [&] { return std::string(Bytes(found, sizeof(found))); });
       }},
      {"global option",
       [] {
         CONFIG_OPTION found[2]{};
         return FromSvr(Svr_GetOptionInfo(nullptr, 0, found, 2) == 1, [&] {
           return std::string(Bytes(found, sizeof(found)));
         });
       },
       [](const char* p) {
         brellox_option found[2]{};
         return FromC(brellox_get_options(p, nullptr, 0, found, 2),
                      [&] { return std::string(Bytes(found, sizeof(found))); });
       }},
      {"set group's options",
       [] {
         return FromSvr(Svr_SetOptionInfo(Text("grp"), 1, options, 2) == 1);
       },
       [](const char* p) {
         return FromC(brellox_set_options(
             p, "grp", 1, reinterpret_cast<const brellox_option*>(options), 2));
       }},
      {"set options of no group",
       [] {
         return FromSvr(Svr_SetOptionInfo(Text("none"), 1, options, 2) == 1);
       },
       [](const char* p) {
         return FromC(brellox_set_options(
             p, "none", 1, reinterpret_cast<const brellox_option*>(options),
             2));
       }},
      {"one option",
       [] {
         CONFIG_OPTION found{};
         return FromSvr(Svr_GetOptionInfo(Text("grp"), 1, 1, found) == 1, [&] {
           return std::string(Bytes(&found, sizeof(found)));
         });
       },
       [](const char* p) {
         brellox_option found{};
         return FromC(brellox_get_option(p, "grp", 1, 1, &found), [&] {
           return std::string(Bytes(&found, sizeof(found)));
         });
       }},
      {"set one option",
       [] {
         return FromSvr(Svr_SetOptionInfo(Text("grp"), 1, 0, options[1]) == 1);
       },
       [](const char* p) {
         return FromC(brellox_set_option(
             p, "grp", 1, 0,
             reinterpret_cast<const brellox_option*>(&options[1])));
       }},
  };
}

// The states of the file each operation runs on.
enum class FileState { kFilled, kMissing, kDamaged };

class CAndCppTest : public StoreFixture,
                    public ::testing::WithParamInterface<FileState> {
 protected:
  // A file with two users, a privilege value, two connections, two GDBs,
  // an option group and a temp dir, in the state under test.
  std::string Prepared() {
    ResetFile();
    const std::string p = path().string();
    std::int32_t id;
    EXPECT_EQ(brellox_set_temp_dir(p.c_str(), "/tmp/t"), BRELLOX_OK);
    EXPECT_EQ(brellox_add_user(p.c_str(), "alice", "pw1", &id), BRELLOX_OK);
    EXPECT_EQ(brellox_add_user(p.c_str(), "bob", "pw2", &id), BRELLOX_OK);
    EXPECT_EQ(brellox_set_user_privilege(p.c_str(), 2, 5, 40), BRELLOX_OK);
    for (const char* name : {"c1", "c2"}) {
      const SVC_GDB_CONN_INFO record = Connection(0, name);
      EXPECT_EQ(brellox_add_connection(
                    p.c_str(),
                    reinterpret_cast<const brellox_connection*>(&record), &id),
                BRELLOX_OK);
    }
    for (const char* name : {"g1", "g2"}) {
      const SVC_GDB_INFO record = Gdb(0, name);
      EXPECT_EQ(
          brellox_add_gdb(p.c_str(),
                          reinterpret_cast<const brellox_gdb*>(&record), &id),
          BRELLOX_OK);
    }
    const CONFIG_OPTION group[2] = {IntOption("x", 1), IntOption("y", 2)};
    EXPECT_EQ(brellox_add_option_group(
                  p.c_str(), "grp", 1,
                  reinterpret_cast<const brellox_option*>(group), 2),
              BRELLOX_OK);
    std::string bytes = FileBytes();
    if (GetParam() == FileState::kDamaged) {
      // A connection count far past the end of the file.
      const std::int32_t count = 0x7fffffff;
      bytes.replace(36, sizeof(count), Bytes(&count, sizeof(count)));
    }
    return bytes;
  }

  // Puts `bytes` (or no file, for kMissing) at `file`.
  void Place(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::filesystem::remove(file);
    if (GetParam() != FileState::kMissing) WriteBytes(file, bytes);
  }
};

TEST_P(CAndCppTest, EveryOperationGivesTheSameOutcomeAndBytes) {
  const std::string bytes = Prepared();
  // Both run on the same path in turn, so that reasons naming the file
  // are the same.
  const std::filesystem::path file = dir_.path() / "run" / "Svr_Config.CFG";
  std::snprintf(g_szCfgFile, sizeof(g_szCfgFile), "%s", file.string().c_str());
  for (const Operation& operation : Operations()) {
    SCOPED_TRACE(operation.name);
    // Each twice, so that a second lookup is answered as the read cache
    // answers it.
    const int rounds = operation.rounds;
    Place(file, bytes);
    std::vector<Outcome> svr;
    for (int round = 0; round < rounds; ++round) svr.push_back(operation.svr());
    const std::string svr_bytes = ReadBytes(file);
    Place(file, bytes);
    for (int round = 0; round < rounds; ++round) {
      const Outcome c = operation.c(g_szCfgFile);
      EXPECT_EQ(svr[round], c) << "round " << round;
      if (GetParam() == FileState::kFilled) {
        EXPECT_TRUE(c.ok || !c.reason.empty());
      } else {
        EXPECT_FALSE(c.ok) << c;
      }
    }
    EXPECT_EQ(svr_bytes, ReadBytes(file));
  }
}

INSTANTIATE_TEST_SUITE_P(States, CAndCppTest,
                         ::testing::Values(FileState::kFilled,
                                           FileState::kMissing,
                                           FileState::kDamaged));

}  // namespace
}  // namespace test
}  // namespace brellox
