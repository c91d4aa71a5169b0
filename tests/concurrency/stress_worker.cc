// One process of the concurrency tests. It links the library and is run
// from a folder holding a copy of both, so that it loads that copy and every
// exported call works on that folder's Svr_Config.CFG.
//
//   stress_worker stress PROCESS THREADS CALLS
//       THREADS threads, each adding its own option group and then making
//       CALLS mixed calls, logged as stress_log.h describes. Adds draw names
//       from small pools shared by every worker, so they collide; a thread
//       updates, deletes and sets only what it added itself, so it knows
//       what every read of its own records must return.
//   stress_worker add-user NAME PASSWORD now|on-go
//       adds the user at once, or first writes "loaded-NAME" to say the
//       library is loaded and waits for a file "go".
//
// Exit status 0 when every result was as expected, 1 when one was not, 2
// for a malformed command line.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "brellox/brellox.h"
#include "tests/concurrency/stress_log.h"

namespace brellox {
namespace stress {
namespace {

// Pool sizes: small enough that adds of one name collide across workers,
// large enough that the tables keep growing during the run.
constexpr int kUserNames = 240;
constexpr int kSourceNames = 120;

// A record this thread added: its ID, name, and the password (users) or tag
// (connections, GDBs) it last stored.
struct Owned {
  SVR_LONG id;
  std::string name;
  std::string value;
};

// What this thread owns in one table, live and deleted.
struct Owner {
  std::vector<Owned> live;
  std::vector<Owned> gone;
  SVR_LONG last_id = 0;  // IDs are issued in ascending order
};

// The connection and GDB functions, side by side, so that one set of
// operations serves both twin tables.
struct Connections {
  using Record = SVC_GDB_CONN_INFO;
  static constexpr const char* kTable = "conn";
  static Record Make(const Owned& o) {
    return MakeConnection(o.id, o.name, o.value);
  }
  static SVR_LONG Add(Record& r) { return Svr_AddConn(r); }
  static SVR_LONG Get(SVR_LONG id, Record& r) { return Svr_GetConn(id, r); }
  static SVR_LONG Update(Record& r) { return Svr_UpdateConn(r); }
  static SVR_LONG Delete(SVR_LONG id) { return Svr_DelConn(id); }
  static SVR_LONG Exists(char* name) { return Svr_ConnIsExist(name); }
  static SVR_LONG Count() { return Svr_GetConnCount(); }
  static SVR_LONG Ids(CSmartArray<SVR_LONG>& ids) {
    return Svr_GetConnIDs(ids);
  }
  static SVR_LONG All(Record* r, SVR_LONG n) { return Svr_GetAllConn(r, n); }
};

struct Gdbs {
  using Record = SVC_GDB_INFO;
  static constexpr const char* kTable = "gdb";
  static Record Make(const Owned& o) { return MakeGdb(o.id, o.name, o.value); }
  static SVR_LONG Add(Record& r) { return Svr_AddGDB(r); }
  static SVR_LONG Get(SVR_LONG id, Record& r) { return Svr_GetGDB(id, r); }
  static SVR_LONG Update(Record& r) { return Svr_UpdateGDB(r); }
  static SVR_LONG Delete(SVR_LONG id) { return Svr_DelGDB(id); }
  static SVR_LONG Exists(char* name) { return Svr_GDBIsExist(name); }
  static SVR_LONG Count() { return Svr_GetGDBCount(); }
  static SVR_LONG Ids(CSmartArray<SVR_LONG>& ids) { return Svr_GetGDBIDs(ids); }
  static SVR_LONG All(Record* r, SVR_LONG n) { return Svr_GetAllGDB(r, n); }
};

class Worker {
 public:
  Worker(int process, int thread)
      : tag_(WorkerTag(process, thread)),
        group_(GroupName(process, thread)),
        random_(static_cast<unsigned>(process * 7919 + thread * 104729 + 1)) {
    log_ = std::fopen(LogName(process, thread).c_str(), "w");
  }
  ~Worker() {
    if (log_ != nullptr) std::fclose(log_);
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Makes `calls` calls after adding the group; true when all went as
  // expected.
  bool Run(int calls) {
    if (log_ == nullptr) return false;
    AddGroup();
    // Adds outweigh deletes, so the tables keep growing through the run.
    const std::vector<std::pair<int, void (Worker::*)()>> mix = {
        {14, &Worker::AddUser},
        {4, &Worker::DeleteUser},
        {5, &Worker::UpdateUser},
        {10, &Worker::CheckUser},
        {5, &Worker::GetUser},
        {4, &Worker::UserIdByName},
        {4, &Worker::ListUsers},
        {6, &Worker::SetPriv},
        {5, &Worker::GetPriv},
        {5, &Worker::SetOption},
        {4, &Worker::GetOptions},
        {9, &Worker::AddRecord<Connections>},
        {3, &Worker::DeleteRecord<Connections>},
        {4, &Worker::UpdateRecord<Connections>},
        {6, &Worker::ReadRecord<Connections>},
        {9, &Worker::AddRecord<Gdbs>},
        {3, &Worker::DeleteRecord<Gdbs>},
        {4, &Worker::UpdateRecord<Gdbs>},
        {6, &Worker::ReadRecord<Gdbs>},
        {4, &Worker::GdbLookups}};
    int total = 0;
    for (const auto& entry : mix) total += entry.first;
    const int end = calls_ + calls;
    while (calls_ < end) {
      int pick = Below(total);
      for (const auto& entry : mix) {
        if ((pick -= entry.first) < 0) {
          (this->*entry.second)();
          break;
        }
      }
    }
    return unexpected_ == 0;
  }

 private:
  int Below(int n) {
    return std::uniform_int_distribution<int>(0, n - 1)(random_);
  }
  template <class T>
  T& AnyOf(std::vector<T>& v) {
    return v[static_cast<std::size_t>(Below(static_cast<int>(v.size())))];
  }
  std::string Next(const char* prefix) {
    return prefix + tag_ + "." + std::to_string(++serial_);
  }

  void Log(const char* verb, const char* table, SVR_LONG id,
           const std::string& name, const std::string& value, SVR_LONG result,
           bool expected) {
    ++calls_;
    std::fprintf(log_, "%s %s %ld %s %s %ld%s\n", verb, table,
                 static_cast<long>(id), name.empty() ? "-" : name.c_str(),
                 value.empty() ? "-" : value.c_str(), static_cast<long>(result),
                 expected ? "" : " !");
    // The log has them all; a few on stderr say what went wrong at a glance.
    if (!expected && ++unexpected_ <= 3) {
      std::fprintf(stderr, "worker %s: unexpected: %s %s %ld %s %s %ld\n",
                   tag_.c_str(), verb, table, static_cast<long>(id),
                   name.c_str(), value.c_str(), static_cast<long>(result));
    }
  }

  // A list of IDs is ascending (records stay in the order of their IDs),
  // holds every ID this thread owns and none it deleted.
  bool ListFits(CSmartArray<SVR_LONG>& ids, SVR_LONG n, const Owner& owner) {
    if (n != ids.GetSize()) return false;
    std::vector<SVR_LONG> list;
    for (SVR_LONG i = 0; i < n; ++i) list.push_back(*ids.GetAt(i));
    return ListFits(list, owner);
  }
  static bool ListFits(const std::vector<SVR_LONG>& list, const Owner& owner) {
    if (!std::is_sorted(list.begin(), list.end()) ||
        std::adjacent_find(list.begin(), list.end()) != list.end()) {
      return false;
    }
    const auto has = [&](SVR_LONG id) {
      return std::binary_search(list.begin(), list.end(), id);
    };
    for (const Owned& o : owner.live) {
      if (!has(o.id)) return false;
    }
    for (const Owned& o : owner.gone) {
      if (has(o.id)) return false;
    }
    return true;
  }

  // Users --------------------------------------------------------------

  void AddUser() {
    std::string name = "u" + std::to_string(Below(kUserNames));
    std::string password = Next("p");
    const bool mine =
        std::any_of(users_.live.begin(), users_.live.end(),
                    [&](const Owned& o) { return o.name == name; });
    const SVR_LONG id = Svr_AddUser(&name[0], &password[0]);
    Log("add", "user", 0, name, password, id,
        mine ? id == 0 : id == 0 || id > users_.last_id);
    if (id > 0) {
      users_.last_id = id;
      users_.live.push_back({id, name, password});
    }
  }

  void DeleteUser() {
    if (users_.live.empty()) return AddUser();
    const std::size_t i =
        static_cast<std::size_t>(Below(static_cast<int>(users_.live.size())));
    const Owned user = users_.live[i];
    const SVR_LONG r = Svr_DelUser(user.id);
    Log("del", "user", user.id, user.name, "", r, r == 1);
    users_.live.erase(users_.live.begin() + static_cast<std::ptrdiff_t>(i));
    users_.gone.push_back(user);
  }

  void UpdateUser() {
    if (users_.live.empty()) return AddUser();
    Owned& user = AnyOf(users_.live);
    std::string password = Next("p");
    const SVR_LONG r = Svr_UpdateUser(user.id, &password[0]);
    Log("upd", "user", user.id, user.name, password, r, r == 1);
    user.value = password;
  }

  // Current password: 1; a wrong one, or a deleted user's: 0. Passwords are
  // unique to their thread, so no other worker's user can match.
  void CheckUser() {
    if (users_.live.empty()) return AddUser();
    const int variant = Below(4);
    const bool gone = variant == 3 && !users_.gone.empty();
    Owned user = gone ? AnyOf(users_.gone) : AnyOf(users_.live);
    std::string password = variant == 2 ? user.value + "x" : user.value;
    const SVR_LONG r = Svr_CheckUser(&user.name[0], &password[0]);
    Log("chk", "user", user.id, user.name, password, r,
        r == (gone || variant == 2 ? 0 : 1));
  }

  void GetUser() {
    const bool gone = Below(4) == 0 && !users_.gone.empty();
    if (!gone && users_.live.empty()) return AddUser();
    const Owned user = gone ? AnyOf(users_.gone) : AnyOf(users_.live);
    char name[40];
    std::memset(name, 'x', sizeof(name));
    const SVR_LONG r = Svr_GetUser(user.id, name, sizeof(name));
    const bool ok =
        gone ? r == 0 && name[0] == '\0' : r == 1 && user.name == name;
    Log("get", "user", user.id, user.name, "", r, ok);
  }

  void UserIdByName() {
    if (users_.live.empty()) return AddUser();
    Owned user = AnyOf(users_.live);
    const SVR_LONG r = Svr_GetUserIDByName(&user.name[0]);
    Log("id", "user", user.id, user.name, "", r, r == user.id);
  }

  void ListUsers() {
    if (Below(2) == 0) {
      const SVR_LONG r = Svr_GetUserCount();
      Log("cnt", "user", 0, "", "", r,
          r >= static_cast<SVR_LONG>(users_.live.size()));
      return;
    }
    CSmartArray<SVR_LONG> ids;
    const SVR_LONG n = Svr_GetUserIDs(ids);
    Log("ids", "user", 0, "", "", n, ListFits(ids, n, users_));
  }

  // Privileges, of users this thread added (deleted ones keep theirs) ----

  void SetPriv() {
    if (users_.live.empty()) return AddUser();
    const SVR_LONG user = AnyOf(users_.live).id;
    const SVR_LONG priv = 1 + Below(4);
    const SVR_LONG value = ++serial_;
    const SVR_LONG r = Svr_SetUserPriv(user, priv, value);
    Log("set", "priv", user, std::to_string(priv), std::to_string(value), r,
        r == 1);
    privs_[{user, priv}] = value;
  }

  void GetPriv() {
    if (users_.live.empty() && users_.gone.empty()) return AddUser();
    const SVR_LONG user =
        users_.gone.empty() || (Below(2) == 0 && !users_.live.empty())
            ? AnyOf(users_.live).id
            : AnyOf(users_.gone).id;
    const SVR_LONG priv = 1 + Below(4);
    const auto found = privs_.find({user, priv});
    const SVR_LONG want = found == privs_.end() ? 0 : found->second;
    SVR_LONG value = -1;
    const SVR_LONG r = Svr_GetUserPriv(user, priv, value);
    Log("get", "priv", user, std::to_string(priv), std::to_string(value), r,
        r == 1 && value == want);
  }

  // Options of this thread's own group --------------------------------

  void AddGroup() {
    CONFIG_OPTION options[6];
    for (int i = 0; i < 6; ++i) {
      options[i] = OptionWithValue(kGroupTypes[i], 0);
      std::snprintf(options[i].name, sizeof(options[i].name), "opt%d", i);
      values_[i] = OptionValueText(options[i]);
    }
    const SVR_LONG r = Svr_AddOptionInfo(&group_[0], kGroupType, options, 6);
    Log("add", "opt", 0, group_, "", r, r == 1);
  }

  void SetOption() {
    const int slot = Below(6);
    CONFIG_OPTION option = OptionWithValue(kGroupTypes[slot], ++serial_);
    const SVR_LONG r = Svr_SetOptionInfo(&group_[0], kGroupType, slot, option);
    values_[slot] = OptionValueText(option);
    Log("set", "opt", slot, group_, values_[slot], r, r == 1);
  }

  void GetOptions() {
    if (Below(3) == 0) {
      const SVR_LONG r = Svr_GetOptionCount(&group_[0], kGroupType);
      Log("cnt", "opt", 0, group_, "", r, r == 6);
      return;
    }
    CONFIG_OPTION options[6];
    const SVR_LONG r = Svr_GetOptionInfo(&group_[0], kGroupType, options, 6);
    bool ok = r == 1;
    for (int i = 0; i < 6; ++i) {
      ok = ok && options[i].type == kGroupTypes[i] &&
           OptionValueText(options[i]) == values_[i];
    }
    Log("get", "opt", 0, group_, "", r, ok);
  }

  // Connections and GDBs ----------------------------------------------

  template <class Api>
  Owner& OwnerOf() {
    return std::is_same<Api, Connections>::value ? conns_ : gdbs_;
  }

  template <class Api>
  void AddRecord() {
    Owner& owner = OwnerOf<Api>();
    Owned record{0,
                 std::string(Api::kTable).substr(0, 1) +
                     std::to_string(Below(kSourceNames)),
                 Next("t")};
    const bool mine =
        std::any_of(owner.live.begin(), owner.live.end(),
                    [&](const Owned& o) { return o.name == record.name; });
    typename Api::Record r = Api::Make(record);
    r.id = -5;  // the library issues the ID, whatever the caller gives
    const SVR_LONG id = Api::Add(r);
    Log("add", Api::kTable, 0, record.name, record.value, id,
        mine ? id == 0 : id == 0 || id > owner.last_id);
    if (id > 0) {
      owner.last_id = record.id = id;
      owner.live.push_back(record);
    }
  }

  template <class Api>
  void DeleteRecord() {
    Owner& owner = OwnerOf<Api>();
    if (owner.live.empty()) return AddRecord<Api>();
    const std::size_t i =
        static_cast<std::size_t>(Below(static_cast<int>(owner.live.size())));
    const Owned record = owner.live[i];
    const SVR_LONG r = Api::Delete(record.id);
    Log("del", Api::kTable, record.id, record.name, "", r, r == 1);
    owner.live.erase(owner.live.begin() + static_cast<std::ptrdiff_t>(i));
    owner.gone.push_back(record);
  }

  template <class Api>
  void UpdateRecord() {
    Owner& owner = OwnerOf<Api>();
    if (owner.live.empty()) return AddRecord<Api>();
    Owned& record = AnyOf(owner.live);
    record.value = Next("t");
    typename Api::Record r = Api::Make(record);
    const SVR_LONG result = Api::Update(r);
    Log("upd", Api::kTable, record.id, record.name, record.value, result,
        result == 1);
  }

  // One of: a record whole by ID (a deleted one is not found), whether its
  // name exists, the count, the ID list, or every record at once.
  template <class Api>
  void ReadRecord() {
    using Record = typename Api::Record;
    Owner& owner = OwnerOf<Api>();
    const int variant = Below(6);
    if (variant < 3) {
      const bool gone = variant == 1 && !owner.gone.empty();
      if (!gone && owner.live.empty()) return AddRecord<Api>();
      Owned record = gone ? AnyOf(owner.gone) : AnyOf(owner.live);
      if (variant == 2) {
        const SVR_LONG r = Api::Exists(&record.name[0]);
        Log("has", Api::kTable, record.id, record.name, "", r, r == 1);
        return;
      }
      Record got;
      std::memset(&got, 'x', sizeof(got));
      const SVR_LONG r = Api::Get(record.id, got);
      const Record want = gone ? Record{} : Api::Make(record);
      Log("get", Api::kTable, record.id, record.name, record.value, r,
          r == (gone ? 0 : 1) && std::memcmp(&got, &want, sizeof(got)) == 0);
    } else if (variant == 3) {
      const SVR_LONG r = Api::Count();
      Log("cnt", Api::kTable, 0, "", "", r,
          r >= static_cast<SVR_LONG>(owner.live.size()));
    } else if (variant == 4) {
      CSmartArray<SVR_LONG> ids;
      const SVR_LONG n = Api::Ids(ids);
      Log("ids", Api::kTable, 0, "", "", n, ListFits(ids, n, owner));
    } else {
      // Room for more than the pool holds: every record comes back whole.
      std::vector<Record> all(kSourceNames + 8);
      const SVR_LONG r =
          Api::All(all.data(), static_cast<SVR_LONG>(all.size()));
      std::vector<SVR_LONG> ids;
      for (const Record& rec : all) {
        if (rec.id != 0) ids.push_back(rec.id);
      }
      bool ok = r == 1 && ListFits(ids, owner);
      for (const Owned& o : owner.live) {
        const Record want = Api::Make(o);
        ok = ok && std::any_of(all.begin(), all.end(), [&](const Record& rec) {
               return std::memcmp(&rec, &want, sizeof(rec)) == 0;
             });
      }
      Log("all", Api::kTable, 0, "", "", r, ok);
    }
  }

  void GdbLookups() {
    if (gdbs_.live.empty()) return AddRecord<Gdbs>();
    Owned gdb = AnyOf(gdbs_.live);
    if (Below(2) == 0) {
      char name[40];
      const SVR_LONG r = Svr_GetGDBAliasName(gdb.id, name, sizeof(name));
      Log("alias", "gdb", gdb.id, gdb.name, "", r, r == 1 && gdb.name == name);
    } else {
      SVR_LONG id = -1;
      const SVR_LONG r = Svr_GetGDBID(&gdb.name[0], id);
      Log("gdbid", "gdb", gdb.id, gdb.name, "", r, r == 1 && id == gdb.id);
    }
  }

  const std::string tag_;
  std::string group_;
  std::mt19937 random_;
  std::FILE* log_ = nullptr;
  int calls_ = 0;
  int serial_ = 0;
  int unexpected_ = 0;
  Owner users_, conns_, gdbs_;
  std::map<std::pair<SVR_LONG, SVR_LONG>, SVR_LONG> privs_;
  std::string values_[6];
};

int RunStress(int process, int threads, int calls) {
  std::vector<char> passed(static_cast<std::size_t>(threads), 0);
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t) {
    running.emplace_back([&, t] {
      Worker worker(process, t);
      passed[static_cast<std::size_t>(t)] = worker.Run(calls);
    });
  }
  for (std::thread& t : running) t.join();
  return std::count(passed.begin(), passed.end(), 1) == threads ? 0 : 1;
}

int AddUser(std::string name, std::string password, bool on_go) {
  if (on_go) {
    std::ofstream("loaded-" + name).put('\n');
    // Bounded, so that a test that never says "go" leaves no process behind.
    for (int i = 0; i < 12000 && !std::filesystem::exists("go"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return Svr_AddUser(&name[0], &password[0]) > 0 ? 0 : 1;
}

}  // namespace
}  // namespace stress
}  // namespace brellox

int main(int argc, char** argv) {
  const std::string verb = argc > 1 ? argv[1] : "";
  if (verb == "stress" && argc == 5) {
    return brellox::stress::RunStress(std::atoi(argv[2]), std::atoi(argv[3]),
                                      std::atoi(argv[4]));
  }
  if (verb == "add-user" && argc == 5) {
    return brellox::stress::AddUser(argv[2], argv[3],
                                    std::string(argv[4]) == "on-go");
  }
  return 2;
}
