#include "tools/brellox/apply_plan.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "src/options/options.h"
#include "src/sources/twin_table.h"
#include "src/store/temp_dir.h"
#include "src/users/users.h"
#include "tools/brellox/backup.h"
#include "tools/brellox/backup_json.h"
#include "tools/brellox/change_lines.h"
#include "tools/brellox/config_diff.h"
#include "tools/brellox/listing.h"
#include "tools/brellox/records.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

[[noreturn]] void Fail(const std::string& path, const std::string& problem) {
  Refuse(path + ": " + problem);
}

std::int32_t Int32At(const json& value, const std::string& path,
                     std::int64_t min) {
  if (!value.is_number_integer()) Fail(path, "is not an integer");
  const bool huge =
      value.is_number_unsigned() &&
      value.get<std::uint64_t>() > static_cast<std::uint64_t>(kInt32Max);
  const std::int64_t number = huge ? kInt32Max + 1 : value.get<std::int64_t>();
  if (number < min || number > kInt32Max) {
    Fail(path, value.dump() + " is outside " + std::to_string(min) + " to " +
                   std::to_string(kInt32Max));
  }
  return static_cast<std::int32_t>(number);
}

// Gives the records of a table that carry no "id" stand-in IDs that no
// record of the state carries, so that import's validation can read them.
// Returns which records carried one.
std::vector<bool> FillInIds(json* table) {
  std::vector<bool> has_id;
  if (!table->is_array()) return has_id;
  std::set<std::int64_t> used;
  for (const json& record : *table) {
    const bool given = record.is_object() && record.contains("id");
    has_id.push_back(given);
    if (given && record["id"].is_number_integer()) {
      used.insert(record["id"].get<std::int64_t>());
    }
  }
  std::int64_t next = 1;
  for (json& record : *table) {
    if (!record.is_object() || record.contains("id")) continue;
    while (used.count(next) != 0) ++next;
    // Known to be new: appended without the search operator[] makes.
    record.get_ref<json::object_t&>().emplace_back("id", next++);
  }
  return has_id;
}

std::vector<DesiredState::Privilege> ParsePrivileges(const json& list,
                                                     const DesiredState& state,
                                                     const Codec& codec) {
  if (!list.is_array()) Fail("privileges", "is not a list");
  // The users a privilege may name by the ID the state gives them.
  std::unordered_map<std::int32_t, std::string> named_by_id;
  for (std::size_t i = 0; i < state.records.users.size(); ++i) {
    const SVR_USER_REC& user = state.records.users[i];
    if (state.user_has_id[i]) {
      named_by_id.emplace(user.id, FieldText(user.name, sizeof(user.name)));
    }
  }
  std::vector<DesiredState::Privilege> privileges;
  std::set<std::pair<std::string, std::int32_t>> pairs;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string path = "privileges[" + std::to_string(i) + "]";
    const json& item = list[i];
    if (!item.is_object()) Fail(path, "is not an object");
    for (const auto& field : item.items()) {
      const std::string& key = field.key();
      if (key != "user" && key != "userID" && key != "privID" &&
          key != "value") {
        Fail(path + "." + key, "is not a known key");
      }
    }
    if (item.contains("user") == item.contains("userID")) {
      Fail(path, "names its user by \"user\" (a name) or \"userID\", once");
    }
    DesiredState::Privilege privilege;
    if (item.contains("user")) {
      const json& user = item["user"];
      if (!user.is_string()) Fail(path + ".user", "is not a string");
      if (!codec.TryFromUtf8(user.get<std::string>(), &privilege.user)) {
        Fail(path + ".user", "cannot be written in " + codec.encoding());
      }
    } else {
      const std::int32_t id = Int32At(item["userID"], path + ".userID", 1);
      const auto found = named_by_id.find(id);
      if (found == named_by_id.end()) {
        Fail(path + ".userID",
             "no user of the state has ID " + std::to_string(id));
      }
      privilege.user = found->second;
    }
    if (!item.contains("privID")) Fail(path, "has no \"privID\"");
    if (!item.contains("value")) Fail(path, "has no \"value\"");
    privilege.priv_id = Int32At(item["privID"], path + ".privID", 1);
    privilege.value = Int32At(item["value"], path + ".value", 0);
    if (!pairs.insert({privilege.user, privilege.priv_id}).second) {
      Fail(path, "the same user and privilege as an earlier record");
    }
    privileges.push_back(std::move(privilege));
  }
  return privileges;
}

json RecordJson(const SVC_GDB_CONN_INFO& conn, const Codec& codec) {
  return WithoutId(ConnToJson(conn, codec));
}
json RecordJson(const SVC_GDB_INFO& gdb, const Codec& codec) {
  return WithoutId(GdbToJson(gdb, codec));
}

Status AddRecord(ConfigSession& session, const SVC_GDB_CONN_INFO& conn) {
  std::int32_t id = 0;
  return ConnTable::Add(session, conn, &id);
}
Status AddRecord(ConfigSession& session, const SVC_GDB_INFO& gdb) {
  std::int32_t id = 0;
  return GdbTable::Add(session, gdb, &id);
}
Status UpdateRecord(ConfigSession& session, const SVC_GDB_CONN_INFO& conn) {
  return ConnTable::Update(session, conn);
}
Status UpdateRecord(ConfigSession& session, const SVC_GDB_INFO& gdb) {
  return GdbTable::Update(session, gdb);
}
Status RemoveRecord(ConfigSession& session, const SVC_GDB_CONN_INFO*,
                    std::int32_t id) {
  return ConnTable::Remove(session, id);
}
Status RemoveRecord(ConfigSession& session, const SVC_GDB_INFO*,
                    std::int32_t id) {
  return GdbTable::Remove(session, id);
}
std::int32_t SVR_CFG_HEADER::*CounterOf(const SVC_GDB_CONN_INFO*) {
  return &SVR_CFG_HEADER::lastConnID;
}
std::int32_t SVR_CFG_HEADER::*CounterOf(const SVC_GDB_INFO*) {
  return &SVR_CFG_HEADER::lastGDBID;
}

template <class Record>
Status CarryTwins(ConfigSession& session, const std::vector<std::int32_t>& ids,
                  const std::vector<Record>& updated,
                  const std::vector<Record>& added, bool keep_ids) {
  Status s;
  for (std::int32_t id : ids) {
    if (s.ok())
      s = RemoveRecord(session, static_cast<const Record*>(nullptr), id);
  }
  for (const Record& record : updated) {
    if (s.ok()) s = UpdateRecord(session, record);
  }
  for (const Record& record : added) {
    // The table issues the next ID; raising its counter to just below the
    // record's own (which is above it, as planned) makes that the record's.
    if (s.ok() && keep_ids) {
      session.header().*CounterOf(&record) = record.id - 1;
    }
    if (s.ok()) s = AddRecord(session, record);
  }
  return s;
}

// Records to add under the state's IDs: each must carry one above what the
// file has issued; added in the order of their IDs.
template <class Record>
void KeepIds(const char* key, const char* noun, std::int32_t last_issued,
             std::vector<std::pair<std::size_t, Record>>* added,
             const std::vector<bool>& has_id) {
  for (const auto& entry : *added) {
    const std::string path =
        std::string(key) + "[" + std::to_string(entry.first) + "]";
    if (!has_id[entry.first]) {
      Fail(path, "has no \"id\", which --keep-ids adds the record under");
    }
    if (entry.second.id <= last_issued) {
      Fail(path + ".id",
           std::to_string(entry.second.id) + " is not above the file's last " +
               noun + " ID " + std::to_string(last_issued) +
               ", so --keep-ids cannot add it under that ID; restore the "
               "file with import instead");
    }
  }
  std::stable_sort(
      added->begin(), added->end(),
      [](const auto& a, const auto& b) { return a.second.id < b.second.id; });
}

// Refuses the first change in `changes` from `first` on that is not to an
// option's value ("value", or in a group "options[N].value"): the library
// changes only values in place.
void RequireValueChanges(const json& changes, std::size_t first, bool in_group,
                         const std::string& path) {
  for (std::size_t i = first; i < changes.size(); ++i) {
    const std::string field = changes[i]["field"].get<std::string>();
    std::size_t at = 0;
    if (in_group) {
      const std::size_t slot_end = field.find("].");
      at = field.rfind("options[", 0) == 0 && slot_end != std::string::npos
               ? slot_end + 2
               : field.size();
    }
    if (field.compare(at, 5, "value") == 0) continue;
    Fail(path + "." + field,
         "differs from the file's, and only option values can be changed in "
         "place (import replaces the whole file)");
  }
}

}  // namespace

DesiredState ParseDesiredState(json state, const Codec& codec) {
  if (!state.is_object()) Fail("the state", "is not an object");
  DesiredState desired;
  // What import's validation reads: the state less each file's own
  // bookkeeping, which an export also holds, and the privileges, which
  // name their users differently. Moved, not copied.
  json backup = json::object();
  json privileges;
  for (auto& item : state.get_ref<json::object_t&>()) {
    const std::string& key = item.first;
    if (key == "privileges") {
      desired.has_privs = true;
      privileges = std::move(item.second);
    }
    if (key == "lastConnID" || key == "lastGDBID" || key == "lastUserID" ||
        key == "capacity" || key == "privileges") {
      continue;
    }
    backup.get_ref<json::object_t&>().emplace_back(key, std::move(item.second));
  }
  if (!backup.contains("formatVersion")) {
    backup["formatVersion"] = kExportFormatVersion;
  }
  desired.has_temp_dir = backup.contains("tempDir");
  desired.has_global_option = backup.contains("globalOption");
  if (!desired.has_global_option) {
    backup["globalOption"] = {{"type", "integer"}, {"value", 0}};
  }
  desired.has_conns = backup.contains("connections");
  desired.has_gdbs = backup.contains("gdbs");
  desired.has_users = backup.contains("users");
  desired.has_groups = backup.contains("optionGroups");
  if (desired.has_conns)
    desired.conn_has_id = FillInIds(&backup["connections"]);
  if (desired.has_gdbs) desired.gdb_has_id = FillInIds(&backup["gdbs"]);
  if (desired.has_users) {
    desired.user_has_id = FillInIds(&backup["users"]);
    if (backup["users"].is_array()) {
      for (const json& user : backup["users"]) {
        desired.user_has_password.push_back(user.is_object() &&
                                            user.contains("password"));
      }
    }
  }
  ImportRules rules;
  rules.allow_empty_passwords = true;
  const Status parsed =
      DecodeImage(ImageFromJson(backup, codec, rules), &desired.records);
  if (!parsed.ok()) Refuse("the state: " + parsed.message());
  if (desired.has_privs) {
    desired.privs = ParsePrivileges(privileges, desired, codec);
  }
  return desired;
}

ApplyPlan::ApplyPlan(const DesiredState& state, const Snapshot& file,
                     const Codec& codec, const ApplyRules& rules)
    : codec_(codec), rules_(rules) {
  // In the order diff lists changes.
  PlanTempDir(state, file);
  PlanGlobalOption(state, file);
  PlanTwins("connection", "connections", state.records.conns, state.conn_has_id,
            state.has_conns, file.conns, file.header.lastConnID, &conns_);
  PlanTwins("GDB", "gdbs", state.records.gdbs, state.gdb_has_id, state.has_gdbs,
            file.gdbs, file.header.lastGDBID, &gdbs_);
  PlanUsers(state, file);
  PlanPrivileges(state, file);
  PlanGroups(state, file);
}

void ApplyPlan::PlanTempDir(const DesiredState& state, const Snapshot& file) {
  if (!state.has_temp_dir) return;
  const SVR_CFG_HEADER& want = state.records.header;
  const SVR_CFG_HEADER& have = file.header;
  const std::size_t before = changes_.size();
  AddFieldChanges(
      "header",
      {{"tempDir", codec_.ToJson(have.tempDir, sizeof(have.tempDir))}},
      {{"tempDir", codec_.ToJson(want.tempDir, sizeof(want.tempDir))}},
      &changes_);
  if (changes_.size() > before) {
    temp_dir_ = FieldText(want.tempDir, sizeof(want.tempDir));
  }
}

void ApplyPlan::PlanGlobalOption(const DesiredState& state,
                                 const Snapshot& file) {
  if (!state.has_global_option) return;
  const std::size_t before = changes_.size();
  AddFieldChanges("global option", OptionToJson(file.global_option, codec_),
                  OptionToJson(state.records.global_option, codec_), &changes_);
  RequireValueChanges(changes_, before, false, "globalOption");
  if (changes_.size() > before) {
    option_sets_.push_back(
        {true, std::string(), 0, 0, state.records.global_option});
  }
}

template <class Record>
void ApplyPlan::PlanTwins(const char* noun, const char* key,
                          const std::vector<Record>& wanted,
                          const std::vector<bool>& has_id, bool given,
                          const std::vector<Record>& existing,
                          std::int32_t last_issued,
                          TableChanges<Record>* plan) {
  if (!given) return;
  std::unordered_map<std::string, std::size_t> by_name;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    by_name.emplace(FieldText(wanted[i].name, sizeof(wanted[i].name)), i);
  }
  std::vector<bool> matched(wanted.size(), false);
  for (const Record& record : existing) {
    const auto label = [&] {
      return NamedRecord(noun, record.name, sizeof(record.name), codec_);
    };
    const auto found =
        by_name.find(FieldText(record.name, sizeof(record.name)));
    if (found == by_name.end() || matched[found->second]) {
      if (rules_.prune) {
        plan->removed.push_back(record.id);
        changes_.push_back(RemovedChange(label()));
      }
      continue;
    }
    matched[found->second] = true;
    const Record& want = wanted[found->second];
    if (std::memcmp(&record.name, &want.name,
                    sizeof(Record) - offsetof(Record, name)) == 0) {
      continue;  // the same bytes after the ID
    }
    const std::size_t before = changes_.size();
    AddFieldChanges(label(), RecordJson(record, codec_),
                    RecordJson(want, codec_), &changes_);
    if (changes_.size() > before) {
      plan->updated.push_back(want);
      plan->updated.back().id = record.id;
    }
  }
  std::vector<std::pair<std::size_t, Record>> added;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    if (!matched[i]) added.emplace_back(i, wanted[i]);
  }
  if (rules_.keep_ids) KeepIds(key, noun, last_issued, &added, has_id);
  for (const auto& entry : added) {
    const Record& record = entry.second;
    changes_.push_back(AddedChange(
        NamedRecord(noun, record.name, sizeof(record.name), codec_)));
    plan->added.push_back(record);
  }
}

void ApplyPlan::PlanUsers(const DesiredState& state, const Snapshot& file) {
  if (!state.has_users) return;
  const std::vector<SVR_USER_REC>& wanted = state.records.users;
  std::unordered_map<std::string, std::size_t> by_name;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    by_name.emplace(FieldText(wanted[i].name, sizeof(wanted[i].name)), i);
  }
  std::vector<bool> matched(wanted.size(), false);
  for (const SVR_USER_REC& user : file.users) {
    // Named only when changed: converting every name costs as much as the
    // rest of a run that changes nothing.
    const auto label = [&] {
      return NamedRecord("user", user.name, sizeof(user.name), codec_);
    };
    const auto found = by_name.find(FieldText(user.name, sizeof(user.name)));
    if (found == by_name.end() || matched[found->second]) {
      if (rules_.prune) {
        users_.removed.push_back(user.id);
        changes_.push_back(RemovedChange(label()));
      }
      continue;
    }
    matched[found->second] = true;
    const SVR_USER_REC& want = wanted[found->second];
    // A password left out is left as it is.
    if (state.user_has_password[found->second] &&
        FieldText(want.password, sizeof(want.password)) !=
            FieldText(user.password, sizeof(user.password))) {
      users_.updated.push_back(want);
      users_.updated.back().id = user.id;
      changes_.push_back(PasswordChange(label()));
    }
  }
  std::vector<std::pair<std::size_t, SVR_USER_REC>> added;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    if (!matched[i]) added.emplace_back(i, wanted[i]);
  }
  if (rules_.keep_ids) {
    KeepIds("users", "user", file.header.lastUserID, &added, state.user_has_id);
  }
  for (const auto& entry : added) {
    changes_.push_back(AddedChange(NamedRecord(
        "user", entry.second.name, sizeof(entry.second.name), codec_)));
    users_.added.push_back(entry.second);
  }
}

void ApplyPlan::PlanPrivileges(const DesiredState& state,
                               const Snapshot& file) {
  // Who each privilege's user ID names in the file (the first record with
  // it), and which of those users stay.
  std::unordered_map<std::int32_t, const SVR_USER_REC*> owner_of;
  for (const SVR_USER_REC& user : file.users) owner_of.emplace(user.id, &user);
  const std::unordered_set<std::int32_t> removed(users_.removed.begin(),
                                                 users_.removed.end());
  std::unordered_map<std::string, std::int32_t> existing;  // name -> ID
  for (const SVR_USER_REC& user : file.users) {
    if (removed.count(user.id) == 0) {
      existing.emplace(FieldText(user.name, sizeof(user.name)), user.id);
    }
  }
  std::unordered_map<std::string, std::int32_t> added;  // name -> place
  for (std::size_t i = 0; i < users_.added.size(); ++i) {
    const SVR_USER_REC& user = users_.added[i];
    added.emplace(FieldText(user.name, sizeof(user.name)),
                  static_cast<std::int32_t>(i));
  }
  std::map<std::pair<std::string, std::int32_t>, std::size_t> wanted;
  for (std::size_t i = 0; i < state.privs.size(); ++i) {
    const DesiredState::Privilege& p = state.privs[i];
    if (existing.count(p.user) == 0 && added.count(p.user) == 0) {
      Fail("privileges[" + std::to_string(i) + "].user",
           "no " + NamedRecord("user", p.user, codec_) +
               (rules_.prune && state.has_users ? " among the state's users"
                                                : " in the state or the file"));
    }
    wanted.emplace(std::make_pair(p.user, p.priv_id), i);
  }

  // First what becomes of the file's privileges, in table order.
  struct Kept {
    std::int32_t user_id;
    std::int32_t priv_id;
    std::int32_t value;
    bool changed;
  };
  std::vector<Kept> kept;
  std::set<std::int32_t> cleared;  // users whose privileges are rewritten
  std::vector<bool> matched(state.privs.size(), false);
  std::set<std::pair<std::int32_t, std::int32_t>> seen;
  for (const SVR_USER_PRIV& p : file.privs) {
    if (!seen.insert({p.userID, p.privID}).second) continue;
    const auto owner = owner_of.find(p.userID);
    const SVR_USER_REC* user =
        owner == owner_of.end() ? nullptr : owner->second;
    const auto label = [&] {
      return PrivilegeRecord(
          user == nullptr
              ? "user " + std::to_string(p.userID)
              : NamedRecord("user", user->name, sizeof(user->name), codec_),
          p.privID);
    };
    if (removed.count(p.userID) != 0) {
      cleared.insert(p.userID);
      changes_.push_back(RemovedChange(label()));
      continue;
    }
    const auto found =
        user == nullptr
            ? wanted.end()
            : wanted.find(
                  {FieldText(user->name, sizeof(user->name)), p.privID});
    if (found == wanted.end()) {
      if (rules_.prune && state.has_privs) {
        cleared.insert(p.userID);
        changes_.push_back(RemovedChange(label()));
      } else {
        kept.push_back({p.userID, p.privID, p.value, false});
      }
      continue;
    }
    matched[found->second] = true;
    const std::int32_t value = state.privs[found->second].value;
    if (value != p.value) {
      AddFieldChanges(label(), {{"privID", p.privID}, {"value", p.value}},
                      {{"privID", p.privID}, {"value", value}}, &changes_);
    }
    kept.push_back({p.userID, p.privID, value, value != p.value});
  }
  // A user some of whose privileges go loses them all, and gets back the
  // ones that stay: the library removes privileges a user at a time.
  cleared_privileges_.assign(cleared.begin(), cleared.end());
  for (const Kept& k : kept) {
    if (k.changed || cleared.count(k.user_id) != 0) {
      privileges_.push_back({k.user_id, -1, k.priv_id, k.value});
    }
  }
  for (std::size_t i = 0; i < state.privs.size(); ++i) {
    if (matched[i]) continue;
    const DesiredState::Privilege& p = state.privs[i];
    const auto in_file = existing.find(p.user);
    const std::string label =
        PrivilegeRecord("user " + Quoted(codec_.Shown(p.user)), p.priv_id);
    changes_.push_back(AddedChange(label));
    if (in_file != existing.end()) {
      privileges_.push_back({in_file->second, -1, p.priv_id, p.value});
    } else {
      privileges_.push_back({0, added.at(p.user), p.priv_id, p.value});
    }
  }
}

void ApplyPlan::PlanGroups(const DesiredState& state, const Snapshot& file) {
  if (!state.has_groups) return;
  const std::vector<SVR_OPTION_GROUP>& wanted = state.records.groups;
  std::map<std::pair<std::int32_t, std::string>, std::size_t> by_key;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    by_key.emplace(std::make_pair(wanted[i].groupType,
                                  FieldText(wanted[i].groupName,
                                            sizeof(wanted[i].groupName))),
                   i);
  }
  std::vector<bool> matched(wanted.size(), false);
  for (const SVR_OPTION_GROUP& group : file.groups) {
    const std::string label = GroupRecord(group, codec_);
    const auto found = by_key.find(
        {group.groupType, FieldText(group.groupName, sizeof(group.groupName))});
    if (found == by_key.end() || matched[found->second]) {
      if (rules_.prune) {
        Refuse(label +
               " is not in the state, and option groups cannot be removed; "
               "leave out --prune, or restore the file with import");
      }
      continue;
    }
    matched[found->second] = true;
    const SVR_OPTION_GROUP& want = wanted[found->second];
    const std::size_t before = changes_.size();
    AddFieldChanges(label, GroupToJson(group, codec_),
                    GroupToJson(want, codec_), &changes_);
    const std::string path =
        "optionGroups[" + std::to_string(found->second) + "]";
    for (std::int32_t slot = 0; slot < kOptionGroupSlots; ++slot) {
      const std::string prefix = "options[" + std::to_string(slot) + "].";
      bool changed = false;
      for (std::size_t i = before; i < changes_.size(); ++i) {
        const std::string field = changes_[i]["field"].get<std::string>();
        changed = changed || field.rfind(prefix, 0) == 0;
      }
      if (!changed) continue;
      option_sets_.push_back(
          {false, FieldText(group.groupName, sizeof(group.groupName)),
           group.groupType, slot, want.options[slot]});
    }
    RequireValueChanges(changes_, before, true, path);
  }
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    if (matched[i]) continue;
    changes_.push_back(AddedChange(GroupRecord(wanted[i], codec_)));
    added_groups_.push_back(wanted[i]);
  }
}

Status ApplyPlan::Carry(ConfigSession& session) const {
  Status s;
  if (temp_dir_) s = SetTempDir(session, temp_dir_->c_str());
  if (s.ok()) {
    s = CarryTwins(session, conns_.removed, conns_.updated, conns_.added,
                   rules_.keep_ids);
  }
  if (s.ok()) {
    s = CarryTwins(session, gdbs_.removed, gdbs_.updated, gdbs_.added,
                   rules_.keep_ids);
  }
  for (std::int32_t id : users_.removed) {
    if (s.ok()) s = DelUser(session, id);
  }
  for (const SVR_USER_REC& user : users_.updated) {
    if (s.ok()) {
      const std::string password =
          FieldText(user.password, sizeof(user.password));
      s = UpdateUser(session, user.id, password.c_str());
    }
  }
  std::vector<std::int32_t> added_ids(users_.added.size());
  if (s.ok() && !users_.added.empty()) {
    s = AddUsers(session, users_.added.data(),
                 static_cast<std::int32_t>(users_.added.size()),
                 rules_.keep_ids ? NewIds::kAsGiven : NewIds::kNext,
                 added_ids.data());
  }
  for (std::int32_t id : cleared_privileges_) {
    std::int32_t removed = 0;
    if (s.ok()) s = RemoveUserPrivileges(session, id, &removed);
  }
  for (const PrivilegeSet& p : privileges_) {
    const std::int32_t user =
        p.added_user < 0 ? p.user_id
                         : added_ids[static_cast<std::size_t>(p.added_user)];
    if (s.ok()) s = SetUserPriv(session, user, p.priv_id, p.value);
  }
  for (const SVR_OPTION_GROUP& group : added_groups_) {
    if (s.ok()) {
      s = AddOptionGroup(session, group.groupName, group.groupType,
                         group.options, kOptionGroupSlots);
    }
  }
  for (const OptionSet& set : option_sets_) {
    if (s.ok()) {
      s = SetOption(session, set.global ? nullptr : set.group.c_str(), set.type,
                    set.index, set.option);
    }
  }
  return s;
}

}  // namespace tool
}  // namespace brellox
