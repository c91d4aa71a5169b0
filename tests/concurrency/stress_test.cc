// Several processes with several threads each make thousands of mixed calls
// on one file through the exported functions (stress_worker). Afterwards the
// file must hold exactly what the workers' logs say succeeded, in a layout
// that passes the header check and the admin tool's check.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "src/store/config_file.h"
#include "tests/concurrency/child_process.h"
#include "tests/concurrency/stress_log.h"

namespace brellox {
namespace test {
namespace {

#if defined(_WIN32)
// Under Wine every process and every call costs several times more.
constexpr int kProcesses = 2;
constexpr int kCalls = 1000;
#else
constexpr int kProcesses = 4;
constexpr int kCalls = 1500;
#endif
constexpr int kThreads = 2;

const char* const kTables[] = {"user", "conn", "gdb"};
enum Table { kUsers, kConns, kGdbs };

// One table as the logs tell it.
struct TableLog {
  // ID -> name, and the password (users) or tag its owner stored last.
  std::map<SVR_LONG, std::pair<std::string, std::string>> live;
  std::set<SVR_LONG> issued;  // the IDs successful adds returned
  std::set<SVR_LONG> deleted;
  int refused = 0;
};

// Failures of one kind, reported as how many and the first few: a damaged
// file would otherwise bury the report in thousands of lines.
class Findings {
 public:
  explicit Findings(std::string what) : what_(std::move(what)) {}
  Findings(const Findings&) = delete;
  Findings& operator=(const Findings&) = delete;
  ~Findings() {
    if (count_ > 0) ADD_FAILURE() << count_ << " " << what_ << details_;
  }
  void Add(const std::string& detail) {
    if (++count_ <= 5) details_ += "\n  " + detail;
  }

 private:
  std::string what_;
  std::string details_;
  int count_ = 0;
};

struct StressLog {
  Findings unexpected{"results a worker did not expect (\"!\" in its log):"};
  Findings reissued{"IDs that two successful adds returned:"};
  TableLog tables[3];
  std::map<std::pair<SVR_LONG, SVR_LONG>, SVR_LONG> privs;
  std::map<std::string, std::array<std::string, 6>> groups;
  int calls = 0;
};

// Replays the changes of every log in its order: a thread's records change
// only through its own calls, so that is the order of their changes.
void ReadLog(const std::filesystem::path& file, StressLog* log) {
  std::ifstream in(file);
  ASSERT_TRUE(in.good()) << file;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string verb, table, name, value, mark;
    long id = 0, result = 0;
    ASSERT_TRUE(fields >> verb >> table >> id >> name >> value >> result)
        << line;
    ++log->calls;
    if (fields >> mark)
      log->unexpected.Add(file.filename().string() + ": " + line);
    int t = 0;
    while (t < 3 && table != kTables[t]) ++t;
    if (t < 3) {
      TableLog& tl = log->tables[t];
      if (verb == "add" && result > 0) {
        if (!tl.issued.insert(result).second) log->reissued.Add(line);
        tl.live[result] = {name, value};
      } else if (verb == "add") {
        ++tl.refused;
      } else if (verb == "upd" && result == 1) {
        tl.live[id].second = value;
      } else if (verb == "del" && result == 1) {
        tl.live.erase(id);
        tl.deleted.insert(id);
      }
    } else if (table == "priv" && verb == "set" && result == 1) {
      log->privs[{id, std::stol(name)}] = std::stol(value);
    } else if (table == "opt" && verb == "add" && result == 1) {
      for (int i = 0; i < 6; ++i) {
        log->groups[name][i] = stress::OptionValueText(
            stress::OptionWithValue(stress::kGroupTypes[i], 0));
      }
    } else if (table == "opt" && verb == "set" && result == 1) {
      log->groups[name].at(static_cast<std::size_t>(id)) = value;
    }
  }
}

template <class Record>
std::vector<Record> Records(const std::string& bytes, std::int32_t offset,
                            std::int32_t count) {
  std::vector<Record> records(static_cast<std::size_t>(count));
  if (count > 0)
    std::memcpy(records.data(), &bytes[offset], count * sizeof(Record));
  return records;
}

std::map<SVR_LONG, bool> IdsFromTo(SVR_LONG first, SVR_LONG last) {
  std::map<SVR_LONG, bool> ids;
  for (SVR_LONG id = first; id <= last; ++id) ids[id] = true;
  return ids;
}
std::map<SVR_LONG, bool> AsMap(const std::set<SVR_LONG>& ids) {
  std::map<SVR_LONG, bool> map;
  for (SVR_LONG id : ids) map[id] = true;
  return map;
}

std::string Str(SVR_LONG id) { return std::to_string(id); }
std::string Str(const std::string& text) { return text; }
std::string Str(const std::pair<SVR_LONG, SVR_LONG>& pair) {
  return Str(pair.first) + "," + Str(pair.second);
}

// `got` holds exactly the keys of `want`, each with its value.
template <class Map>
void ExpectSame(const Map& got, const Map& want, const std::string& what) {
  Findings missing(what + " missing or different:");
  Findings extra(what + " not expected:");
  for (const auto& entry : want) {
    const auto found = got.find(entry.first);
    if (found == got.end() || !(found->second == entry.second)) {
      missing.Add(Str(entry.first));
    }
  }
  for (const auto& entry : got) {
    if (want.count(entry.first) == 0) extra.Add(Str(entry.first));
  }
}

// The records of a table hold unique names and ascending IDs, none above
// the table's counter; the IDs the logs saw issued are exactly those the
// counter covers; and the records are exactly the ones added and not
// deleted, each as its owner stored it last (`same` compares the rest).
template <class Record, class Same>
void ExpectTable(const char* table, const std::vector<Record>& records,
                 SVR_LONG first_id, SVR_LONG last_id, const TableLog& log,
                 Same same) {
  SCOPED_TRACE(table);
  Findings order("IDs out of order, repeated, or above the counter:");
  Findings twice("names stored twice:");
  Findings changed("records not as their owner last stored them:");
  std::set<std::string> names;
  std::map<SVR_LONG, std::string> ids;
  SVR_LONG previous = 0;
  for (const Record& r : records) {
    const std::string name = stress::FieldText(r.name);
    if (r.id <= previous || r.id > last_id)
      order.Add(std::to_string(r.id) + " " + name);
    previous = r.id;
    if (!names.insert(name).second) twice.Add(name);
    ids[r.id] = name;
    const auto found = log.live.find(r.id);
    if (found != log.live.end() && !same(r, found->second)) {
      changed.Add(std::to_string(r.id) + " " + name);
    }
  }
  std::map<SVR_LONG, std::string> want;
  for (const auto& entry : log.live) want[entry.first] = entry.second.first;
  ExpectSame(ids, want, "records added and not deleted:");
  ExpectSame(AsMap(log.issued), IdsFromTo(first_id, last_id),
             "IDs up to the counter that adds returned:");
}

void ExpectFileHoldsTheLog(const std::string& bytes, const StressLog& log) {
  SVR_CFG_HEADER h;
  ASSERT_GE(bytes.size(), sizeof(h));
  std::memcpy(&h, bytes.data(), sizeof(h));
  const Status header_check = ValidateHeader(h, bytes.size());
  ASSERT_TRUE(header_check.ok()) << header_check.ToString();
  EXPECT_EQ(bytes.size(), static_cast<std::size_t>(LayoutEnd(h)));

  ExpectTable(
      "users", Records<SVR_USER_REC>(bytes, h.users.offset, h.users.count), 1,
      h.lastUserID, log.tables[kUsers],
      [](const SVR_USER_REC& r, const std::pair<std::string, std::string>& w) {
        return stress::FieldText(r.password) == w.second;
      });
  TableLog conns = log.tables[kConns];
  conns.live[1] = {"KelmirLocal", ""};  // the default file's, never touched
  ExpectTable("connections",
              Records<SVC_GDB_CONN_INFO>(bytes, h.conns.offset, h.conns.count),
              2, h.lastConnID, conns,
              [](const SVC_GDB_CONN_INFO& r,
                 const std::pair<std::string, std::string>& w) {
                const SVC_GDB_CONN_INFO want =
                    stress::MakeConnection(r.id, w.first, w.second);
                return std::memcmp(&r, &want, sizeof(r)) == 0;
              });
  ExpectTable(
      "GDBs", Records<SVC_GDB_INFO>(bytes, h.gdbs.offset, h.gdbs.count), 1,
      h.lastGDBID, log.tables[kGdbs],
      [](const SVC_GDB_INFO& r, const std::pair<std::string, std::string>& w) {
        const SVC_GDB_INFO want = stress::MakeGdb(r.id, w.first, w.second);
        return std::memcmp(&r, &want, sizeof(r)) == 0;
      });

  std::map<std::pair<SVR_LONG, SVR_LONG>, SVR_LONG> privs;
  Findings pairs("privilege pairs stored twice:");
  for (const SVR_USER_PRIV& p :
       Records<SVR_USER_PRIV>(bytes, h.privs.offset, h.privs.count)) {
    if (!privs.emplace(std::make_pair(p.userID, p.privID), p.value).second) {
      pairs.Add(std::to_string(p.userID) + "," + std::to_string(p.privID));
    }
  }
  ExpectSame(privs, log.privs, "privilege values set:");

  std::map<std::string, std::array<std::string, 6>> groups;
  for (const SVR_OPTION_GROUP& g : Records<SVR_OPTION_GROUP>(
           bytes, h.optionGroupsOffset, h.optionGroupsCount)) {
    EXPECT_EQ(g.groupType, stress::kGroupType);
    std::array<std::string, 6>& values = groups[stress::FieldText(g.groupName)];
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ(g.options[i].type, stress::kGroupTypes[i]);
      values[i] = stress::OptionValueText(g.options[i]);
    }
  }
  EXPECT_EQ(h.optionGroupsCount, kProcesses * kThreads);
  ExpectSame(groups, log.groups, "option values set:");

  // The run is meant to grow every table while others read and write.
  EXPECT_GT(h.users.capacity, 20);
  EXPECT_GT(h.conns.capacity, 20);
  EXPECT_GT(h.gdbs.capacity, 20);
  EXPECT_GT(h.privs.capacity, 20);
  std::printf(
      "final: %d users (capacity %d), %d connections (%d), %d GDBs (%d), "
      "%d privileges (%d), %d option groups; %zu bytes\n",
      h.users.count, h.users.capacity, h.conns.count, h.conns.capacity,
      h.gdbs.count, h.gdbs.capacity, h.privs.count, h.privs.capacity,
      h.optionGroupsCount, bytes.size());
}

#if defined(BRELLOX_TOOL_PATH)
// The admin tool's check finds no error; its only warnings are for the
// privileges that deleted users leave behind, as deleting a user does.
void ExpectToolCheckClean(LibraryFolder& folder, const StressLog& log) {
  const std::filesystem::path output = folder.path() / "check.txt";
  ChildProcess tool = folder.Start(
      BRELLOX_TOOL_PATH, {"--config", folder.ConfigPath().string(), "check"},
      {{}, output, {}});
  EXPECT_EQ(tool.Wait(), 0);
  std::set<std::string> want;
  for (const auto& entry : log.privs) {
    if (log.tables[kUsers].deleted.count(entry.first.first) != 0) {
      want.insert("warning: privileges of user ID " +
                  std::to_string(entry.first.first) + ", which no user has");
    }
  }
  std::set<std::string> findings;
  std::string summary;
  std::ifstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("warning: ", 0) == 0 || line.rfind("error: ", 0) == 0) {
      findings.insert(line);
    } else {
      summary = line;
    }
  }
  EXPECT_EQ(findings, want);
  EXPECT_NE(summary.find(": 0 error(s), " + std::to_string(want.size()) +
                         " warning(s)"),
            std::string::npos)
      << summary;
}
#endif

// Each change syncs the file and its journal. On a disk those syncs, not
// the calls under test, would set the length of the run, so the file lives
// in memory where the system has a place for it (Wine sees the same path).
std::filesystem::path FolderParent() {
  std::error_code error;
  if (std::filesystem::is_directory("/dev/shm", error)) {
    return std::filesystem::absolute("/dev/shm");
  }
  return std::filesystem::temp_directory_path();
}

TEST(Stress, ProcessesAndThreadsMixingCallsLeaveExactlyTheirChanges) {
  LibraryFolder folder(FolderParent());
  const auto start = std::chrono::steady_clock::now();
  std::vector<ChildProcess> workers;
  for (int p = 0; p < kProcesses; ++p) {
    workers.push_back(
        folder.Start(BRELLOX_WORKER_PATH,
                     {"stress", std::to_string(p), std::to_string(kThreads),
                      std::to_string(kCalls)}));
  }
  for (ChildProcess& worker : workers) EXPECT_EQ(worker.Wait(), 0);
  const std::chrono::duration<double> elapsed =
      std::chrono::steady_clock::now() - start;

  StressLog log;
  for (int p = 0; p < kProcesses; ++p) {
    for (int t = 0; t < kThreads; ++t) {
      ReadLog(folder.path() / stress::LogName(p, t), &log);
    }
  }
  EXPECT_EQ(log.calls, kProcesses * kThreads * (kCalls + 1));
  std::printf("%d processes x %d threads: %d calls in %.2f s\n", kProcesses,
              kThreads, log.calls, elapsed.count());
  for (int t = 0; t < 3; ++t) {
    std::printf("%s: %zu added, %d refused, %zu deleted\n", kTables[t],
                log.tables[t].issued.size(), log.tables[t].refused,
                log.tables[t].deleted.size());
  }

  ExpectFileHoldsTheLog(ReadBytes(folder.ConfigPath()), log);
#if defined(BRELLOX_TOOL_PATH)
  ExpectToolCheckClean(folder, log);
#endif
}

}  // namespace
}  // namespace test
}  // namespace brellox
