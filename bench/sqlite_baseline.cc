#include "bench/sqlite_baseline.h"

#include <sqlite3.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "bench/images.h"

namespace brellox {
namespace bench {
namespace {

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error != nullptr ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error(std::string(sql) + ": " + message);
  }
}

// Resets on every path, so that a kept statement lets go of its lock
// between calls, as a connection closed after each call would.
class ResetOnExit {
 public:
  explicit ResetOnExit(sqlite3_stmt* statement) : statement_(statement) {}
  ~ResetOnExit() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  ResetOnExit(const ResetOnExit&) = delete;
  ResetOnExit& operator=(const ResetOnExit&) = delete;

 private:
  sqlite3_stmt* const statement_;
};

}  // namespace

void CreateSqliteUsers(const std::string& path, std::int32_t n) {
  SqliteUsers(path, SqliteUsers::Mode::kCreate).AddUsers(1, n);
}

void CreateSqliteServer(const std::string& path, std::int32_t n) {
  SqliteUsers db(path, SqliteUsers::Mode::kCreate);
  db.AddUsers(1, n);
  db.AddServerTables(n);
}

SqliteUsers::SqliteUsers(const std::string& path, Mode mode) {
  const int flags = mode == Mode::kRead ? SQLITE_OPEN_READONLY
                    : mode == Mode::kWrite
                        ? SQLITE_OPEN_READWRITE
                        : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : "?";
    sqlite3_close(db_);
    throw std::runtime_error(path + ": " + message);
  }
  // FULL is the default of a rollback journal; said here so that it holds
  // whatever the build's defaults.
  if (mode != Mode::kRead) Exec(db_, "PRAGMA synchronous=FULL");
  if (mode == Mode::kCreate) {
    Exec(db_,
         "CREATE TABLE users(id INTEGER PRIMARY KEY, name TEXT NOT NULL "
         "UNIQUE, password TEXT NOT NULL)");
  }
}

SqliteUsers::~SqliteUsers() {
  for (sqlite3_stmt* s : {check_, get_, add_, add_with_id_, del_, id_by_name_,
                          gdb_by_name_, priv_}) {
    sqlite3_finalize(s);
  }
  sqlite3_close(db_);
}

sqlite3_stmt* SqliteUsers::Prepared(sqlite3_stmt** slot, const char* sql) {
  if (*slot == nullptr &&
      sqlite3_prepare_v2(db_, sql, -1, slot, nullptr) != SQLITE_OK) {
    throw std::runtime_error(std::string(sql) + ": " + sqlite3_errmsg(db_));
  }
  return *slot;
}

int SqliteUsers::CheckUser(const char* name, const char* password) {
  sqlite3_stmt* s =
      Prepared(&check_, "SELECT password FROM users WHERE name = ?1");
  ResetOnExit reset(s);
  sqlite3_bind_text(s, 1, name, -1, SQLITE_STATIC);
  if (sqlite3_step(s) != SQLITE_ROW) return 0;
  const char* stored = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
  return stored != nullptr && std::strcmp(stored, password) == 0 ? 1 : 0;
}

int SqliteUsers::GetUser(std::int64_t id, char* name, std::size_t len) {
  sqlite3_stmt* s = Prepared(&get_, "SELECT name FROM users WHERE id = ?1");
  ResetOnExit reset(s);
  sqlite3_bind_int64(s, 1, id);
  if (sqlite3_step(s) != SQLITE_ROW) return 0;
  const char* stored = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
  std::strncpy(name, stored != nullptr ? stored : "", len);
  return 1;
}

std::int64_t SqliteUsers::AddUser(const char* name, const char* password) {
  sqlite3_stmt* s =
      Prepared(&add_, "INSERT INTO users(name, password) VALUES(?1, ?2)");
  ResetOnExit reset(s);
  sqlite3_bind_text(s, 1, name, -1, SQLITE_STATIC);
  sqlite3_bind_text(s, 2, password, -1, SQLITE_STATIC);
  if (sqlite3_step(s) != SQLITE_DONE) return 0;
  return sqlite3_last_insert_rowid(db_);
}

bool SqliteUsers::AddUserWithId(std::int64_t id, const char* name,
                                const char* password) {
  sqlite3_stmt* s =
      Prepared(&add_with_id_,
               "INSERT INTO users(id, name, password) VALUES(?1, ?2, ?3)");
  ResetOnExit reset(s);
  sqlite3_bind_int64(s, 1, id);
  sqlite3_bind_text(s, 2, name, -1, SQLITE_STATIC);
  sqlite3_bind_text(s, 3, password, -1, SQLITE_STATIC);
  return sqlite3_step(s) == SQLITE_DONE;
}

int SqliteUsers::DelUser(std::int64_t id) {
  sqlite3_stmt* s = Prepared(&del_, "DELETE FROM users WHERE id = ?1");
  ResetOnExit reset(s);
  sqlite3_bind_int64(s, 1, id);
  return sqlite3_step(s) == SQLITE_DONE ? 1 : 0;
}

void SqliteUsers::AddUsers(std::int32_t first, std::int32_t last) {
  Exec(db_, "BEGIN");
  for (std::int32_t i = first; i <= last; ++i) {
    const std::string name = UserName(i), password = UserPassword(i);
    if (!AddUserWithId(i, name.c_str(), password.c_str())) {
      throw std::runtime_error("cannot add " + name);
    }
  }
  Exec(db_, "COMMIT");
}

void SqliteUsers::AddServerTables(std::int32_t n) {
  const std::string rows =
      "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL "
      "SELECT i + 1 FROM c WHERE i < " +
      std::to_string(n) + ") ";
  Exec(db_,
       "CREATE TABLE privileges(user_id INTEGER NOT NULL, priv_id INTEGER "
       "NOT NULL, value INTEGER NOT NULL, PRIMARY KEY(user_id, priv_id))");
  Exec(db_,
       "CREATE TABLE gdbs(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE)");
  Exec(db_, (rows + "INSERT INTO privileges SELECT i, 1, i FROM c").c_str());
  Exec(db_, (rows + "INSERT INTO gdbs SELECT i, 'gdb' || i FROM c").c_str());
}

namespace {

std::int64_t IdByName(sqlite3_stmt* s, const char* name) {
  ResetOnExit reset(s);
  sqlite3_bind_text(s, 1, name, -1, SQLITE_STATIC);
  return sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : 0;
}

}  // namespace

std::int64_t SqliteUsers::UserIdByName(const char* name) {
  return IdByName(
      Prepared(&id_by_name_, "SELECT id FROM users WHERE name = ?1"), name);
}

std::int64_t SqliteUsers::GdbIdByName(const char* name) {
  return IdByName(
      Prepared(&gdb_by_name_, "SELECT id FROM gdbs WHERE name = ?1"), name);
}

int SqliteUsers::GetUserPriv(std::int64_t user, std::int64_t priv,
                             std::int64_t* value) {
  sqlite3_stmt* s = Prepared(
      &priv_,
      "SELECT value FROM privileges WHERE user_id = ?1 AND priv_id = ?2");
  ResetOnExit reset(s);
  sqlite3_bind_int64(s, 1, user);
  sqlite3_bind_int64(s, 2, priv);
  const int step = sqlite3_step(s);
  if (step != SQLITE_ROW && step != SQLITE_DONE) return 0;
  *value = step == SQLITE_ROW ? sqlite3_column_int64(s, 0) : 0;
  return 1;
}

}  // namespace bench
}  // namespace brellox
