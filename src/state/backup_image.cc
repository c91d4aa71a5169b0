#include "src/state/backup_image.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_set>
#include <utility>
#include <vector>

#include "src/store/default_file.h"
#include "src/store/file_image.h"
#include "src/store/integrity.h"
#include "src/state/import_records.h"
#include "src/state/json_reader.h"

namespace brellox {
namespace state {

using json = nlohmann::ordered_json;

namespace {

constexpr std::int64_t kMaxCapacity = 1000000;

// Where the backup holds each table, in file order, and the ID counters of
// the named ones.
constexpr const char* kTableKeys[kSectionCount] = {
    "connections", "gdbs", "users", "privileges", "optionGroups"};
constexpr const char* kCounterKeys[3] = {"lastConnID", "lastGDBID",
                                         "lastUserID"};

// The IDs that records without an "id" get when `rules` allow them: the
// lowest that no record of the table carries, in record order; 0 for a
// record that carries one. Empty when they must all carry one.
std::vector<std::int32_t> StandInIds(const Node& table,
                                     const ImportRules& rules) {
  std::vector<std::int32_t> ids;
  const json& list = table.value();
  if (!rules.stand_in_ids || !list.is_array()) return ids;
  std::unordered_set<std::int64_t> used;
  for (const json& record : list) {
    if (!record.is_object()) continue;
    const auto id = record.find("id");
    if (id != record.end() && id->is_number_integer()) {
      used.insert(id->get<std::int64_t>());
    }
  }
  std::int32_t next = 1;
  ids.reserve(list.size());
  for (const json& record : list) {
    if (record.is_object() && record.contains("id")) {
      ids.push_back(0);
      continue;
    }
    while (used.count(next) != 0) ++next;
    ids.push_back(next++);
  }
  return ids;
}

// The records of `section`'s table, each read by `from(node, stand_in)`.
template <class Record, class FromJson>
std::vector<Record> Table(const Node& backup, Section section,
                          const ImportRules& rules, FromJson from) {
  std::vector<Record> records;
  const char* key = kTableKeys[static_cast<int>(section)];
  if (!backup.Has(key)) return records;
  const Node table = backup.Child(key);
  const std::vector<std::int32_t> stand_ins = StandInIds(table, rules);
  const std::vector<Node> items = table.Items();
  records.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].failed()) break;
    records.push_back(from(items[i], stand_ins.empty() ? 0 : stand_ins[i]));
  }
  return records;
}

template <class Record>
std::int32_t HighestId(const std::vector<Record>& records) {
  std::int32_t highest = 0;
  for (const Record& r : records)
    highest = std::max<std::int32_t>(highest, r.id);
  return highest;
}

// The counter the backup gives, or, when it gives none, the table's
// highest ID.
template <class Record>
std::int32_t Counter(const Node& backup, Section section,
                     const std::vector<Record>& records) {
  const char* key = kCounterKeys[static_cast<int>(section)];
  if (backup.Has(key)) return backup.Child(key).Int32(0, kInt32Max);
  return HighestId(records);
}

std::int32_t Capacity(const Node& backup, Section section, std::size_t count) {
  const char* key = kTableKeys[static_cast<int>(section)];
  const std::int32_t in_use = static_cast<std::int32_t>(count);
  if (backup.Has("capacity") && backup.Child("capacity").Has(key)) {
    return backup.Child("capacity").Child(key).Int32(in_use, kMaxCapacity);
  }
  return std::max(2, in_use + in_use % 2);
}

void CheckHeaderKeys(const Node& root, const Codec& codec) {
  if (!root.ExpectObject({"formatVersion", "encoding", "tempDir", "lastConnID",
                     "lastGDBID", "lastUserID", "capacity", "globalOption",
                     "connections", "gdbs", "users", "privileges",
                     "optionGroups"})) {
    return;
  }
  const Node version = root.Child("formatVersion");
  if (!version.value().is_number_integer() ||
      version.value() != json(kExportFormatVersion)) {
    version.Fail("is not " + std::to_string(kExportFormatVersion) +
                 ", the version this tool reads");
    return;
  }
  // Texts were converted from the file's code page on export; converting
  // them into another one would not give the same bytes back.
  if (root.Has("encoding")) {
    const Node encoding = root.Child("encoding");
    if (encoding.value() != json(codec.encoding())) {
      encoding.Fail("the texts are in " + encoding.value().dump() +
                    "; import with --encoding " + encoding.value().dump());
      return;
    }
  }
  if (root.Has("capacity")) {
    root.Child("capacity")
        .ExpectObject({"connections", "gdbs", "users", "privileges"});
  }
}

// Records the first error the integrity check finds in the tables read
// from the backup, naming where the backup holds it, in the order it is
// read: each named table's repeated IDs and names, then its counter, then
// privileges and option groups stored twice.
void RefuseErrors(const Node& root, const FileTables& tables,
                  const std::vector<Finding>& findings) {
  const SVR_CFG_HEADER& h = tables.header;
  const std::int32_t counters[3] = {h.lastConnID, h.lastGDBID, h.lastUserID};
  const std::int32_t highest[3] = {
      HighestId(tables.conns), HighestId(tables.gdbs), HighestId(tables.users)};
  const auto item = [&root](const Finding& f) {
    return root.Child(kTableKeys[static_cast<int>(f.table)]).Item(f.record);
  };
  const auto first = [&findings](Section table,
                                 std::initializer_list<Rule> rules) {
    for (const Finding& f : findings) {
      if (f.table != table) continue;
      for (Rule rule : rules) {
        if (f.rule == rule) return &f;
      }
    }
    return static_cast<const Finding*>(nullptr);
  };
  for (Section t : {Section::kConns, Section::kGdbs, Section::kUsers}) {
    const int i = static_cast<int>(t);
    if (const Finding* f = first(t, {Rule::kIdRepeated, Rule::kNameRepeated})) {
      if (f->rule == Rule::kIdRepeated) {
        const Node id = item(*f).Child("id");
        id.Fail("ID " + std::to_string(id.value().get<std::int32_t>()) +
                " is used by an earlier record");
        return;
      }
      item(*f).Child("name").Fail("is the name of an earlier record");
      return;
    }
    if (first(t, {Rule::kIdAboveCounter}) != nullptr) {
      root.Child(kCounterKeys[i])
          .Fail(std::to_string(counters[i]) + " is below ID " +
                std::to_string(highest[i]) + " of a record");
      return;
    }
  }
  if (const Finding* f = first(Section::kPrivs, {Rule::kPrivilegeRepeated})) {
    item(*f).Fail("the same user and privilege as an earlier record");
    return;
  }
  if (const Finding* f =
          first(Section::kOptionGroups, {Rule::kGroupRepeated})) {
    item(*f).Fail("the same type and name as an earlier group");
    return;
  }
  // The records are read to leave nothing else for the check to find.
  for (const Finding& f : findings) {
    if (f.error) {
      root.problem()->Set(Status::Refused(
          "the backup would give a damaged file: " + f.message));
      return;
    }
  }
}

}  // namespace

bool BackupHasPasswords(const json& backup) {
  if (!backup.is_object() || !backup.contains("users") ||
      !backup["users"].is_array()) {
    return true;
  }
  for (const json& user : backup["users"]) {
    if (!user.is_object() || !user.contains("password")) return false;
  }
  return true;
}

Status TablesFromJson(const json& backup, const Codec& codec,
                      const ImportRules& rules, FileTables* out,
                      SlotCapacities* capacities) {
  ReadProblem problem;
  const Node root(backup, "", &problem);
  CheckHeaderKeys(root, codec);
  if (problem.failed()) return problem.status();
  FileTables tables;
  tables.conns = Table<SVC_GDB_CONN_INFO>(
      root, Section::kConns, rules, [&](const Node& n, std::int32_t id) {
        return ConnFromJson(n, codec, id);
      });
  tables.gdbs = Table<SVC_GDB_INFO>(
      root, Section::kGdbs, rules,
      [&](const Node& n, std::int32_t id) { return GdbFromJson(n, codec, id); });
  tables.users = Table<SVR_USER_REC>(
      root, Section::kUsers, rules, [&](const Node& n, std::int32_t id) {
        return UserFromJson(n, codec, rules.allow_empty_passwords, id);
      });
  tables.privs = Table<SVR_USER_PRIV>(
      root, Section::kPrivs, rules,
      [](const Node& n, std::int32_t) { return PrivFromJson(n); });
  tables.groups = Table<SVR_OPTION_GROUP>(
      root, Section::kOptionGroups, rules,
      [&](const Node& n, std::int32_t) { return GroupFromJson(n, codec); });
  // The global option's value is only ever set, never added: a text keeps
  // room for its NUL.
  if (problem.failed()) return problem.status();
  tables.global_option = OptionFromJson(root.Child("globalOption"), codec,
                                        sizeof(CONFIG_OPTION::value) - 1);

  // The default image's header carries the magic and format tag.
  const std::string base = DefaultConfigImage();
  SVR_CFG_HEADER& header = tables.header;
  std::memcpy(&header, base.data(), sizeof(header));
  header.lastConnID = Counter(root, Section::kConns, tables.conns);
  header.lastGDBID = Counter(root, Section::kGdbs, tables.gdbs);
  header.lastUserID = Counter(root, Section::kUsers, tables.users);
  if (problem.failed()) return problem.status();
  RefuseErrors(root, tables,
               CheckTables(tables, [&codec](const std::string& bytes) {
                 return codec.Shown(bytes);
               }));
  if (problem.failed()) return problem.status();
  if (root.Has("tempDir")) {
    PutText(header.tempDir,
            root.Child("tempDir").Text(codec, sizeof(header.tempDir) - 1));
  }
  (*capacities)[0] = Capacity(root, Section::kConns, tables.conns.size());
  (*capacities)[1] = Capacity(root, Section::kGdbs, tables.gdbs.size());
  (*capacities)[2] = Capacity(root, Section::kUsers, tables.users.size());
  (*capacities)[3] = Capacity(root, Section::kPrivs, tables.privs.size());
  if (problem.failed()) return problem.status();
  *out = std::move(tables);
  return Status::OK();
}

Status ImageFromJson(const json& backup, const Codec& codec,
                     const ImportRules& rules, std::string* image) {
  FileTables tables;
  SlotCapacities capacities;
  const Status s = TablesFromJson(backup, codec, rules, &tables, &capacities);
  if (s.ok()) *image = LayoutImage(tables, capacities);
  return s;
}

}  // namespace state
}  // namespace brellox
