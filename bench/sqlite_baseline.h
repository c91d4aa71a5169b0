// The same users kept by SQLite 3: a table users(id INTEGER PRIMARY KEY,
// name TEXT UNIQUE, password TEXT), in its default rollback journal mode
// with synchronous=FULL, so that every change is as durable as the
// library's.
#ifndef BRELLOX_BENCH_SQLITE_BASELINE_H_
#define BRELLOX_BENCH_SQLITE_BASELINE_H_

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace brellox {
namespace bench {

// Creates the database `path` holding users 1..n, named and with passwords
// as images.h names them.
void CreateSqliteUsers(const std::string& path, std::int32_t n);

// As CreateSqliteUsers, and beside the users n privilege values (user i,
// privilege 1) = i in privileges(user_id, priv_id, value, primary key
// (user_id, priv_id)) and n GDBs in gdbs(id INTEGER PRIMARY KEY, name TEXT
// UNIQUE), named as images.h names them.
void CreateSqliteServer(const std::string& path, std::int32_t n);

// One connection and its prepared statements, made on first use. A
// benchmark keeps one open across calls, or makes one per call, which then
// costs the open, the prepare and the close as well.
class SqliteUsers {
 public:
  enum class Mode {
    kRead,    // opened read-only, as a check needs
    kWrite,   // opened for reading and writing
    kCreate,  // created new with the table, its index, and no users
  };
  SqliteUsers(const std::string& path, Mode mode);
  ~SqliteUsers();
  SqliteUsers(const SqliteUsers&) = delete;
  SqliteUsers& operator=(const SqliteUsers&) = delete;

  // 1 when the user exists with this password, as Svr_CheckUser.
  int CheckUser(const char* name, const char* password);
  // 1 and the name when the user exists, as Svr_GetUser.
  int GetUser(std::int64_t id, char* name, std::size_t len);
  // The new user's ID, or 0.
  std::int64_t AddUser(const char* name, const char* password);
  // Adds a user with a given ID, to put back one deleted.
  bool AddUserWithId(std::int64_t id, const char* name, const char* password);
  // 1, whether or not the user existed.
  int DelUser(std::int64_t id);
  // Adds users first..last in one transaction.
  void AddUsers(std::int32_t first, std::int32_t last);
  // Adds the privilege and GDB tables of CreateSqliteServer.
  void AddServerTables(std::int32_t n);

  // The ID of the user or GDB named `name`, 0 when none.
  std::int64_t UserIdByName(const char* name);
  std::int64_t GdbIdByName(const char* name);
  // 1 and the value of privilege `priv` of user `user` (0 when none is set).
  int GetUserPriv(std::int64_t user, std::int64_t priv, std::int64_t* value);

 private:
  sqlite3_stmt* Prepared(sqlite3_stmt** slot, const char* sql);

  sqlite3* db_ = nullptr;
  sqlite3_stmt* check_ = nullptr;
  sqlite3_stmt* get_ = nullptr;
  sqlite3_stmt* add_ = nullptr;
  sqlite3_stmt* add_with_id_ = nullptr;
  sqlite3_stmt* del_ = nullptr;
  sqlite3_stmt* id_by_name_ = nullptr;
  sqlite3_stmt* gdb_by_name_ = nullptr;
  sqlite3_stmt* priv_ = nullptr;
};

}  // namespace bench
}  // namespace brellox

#endif  // BRELLOX_BENCH_SQLITE_BASELINE_H_
