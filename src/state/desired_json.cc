#include "src/state/desired_json.h"

#include <cstddef>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "src/desired/fields.h"
#include "src/state/backup_image.h"
#include "src/state/change_objects.h"
#include "src/state/json_reader.h"
#include "src/state/records_json.h"

namespace brellox {
namespace state {

using json = nlohmann::ordered_json;
using desired::Change;
using desired::ChangeKind;
using desired::DesiredState;
using desired::Part;

namespace {

Status Fail(const std::string& path, const std::string& problem) {
  return Status::Refused(path + ": " + problem);
}

// Which records of `table` carry an "id".
std::vector<bool> HasIds(const json& table) {
  std::vector<bool> has_id;
  if (!table.is_array()) return has_id;
  has_id.reserve(table.size());
  for (const json& record : table) {
    has_id.push_back(record.is_object() && record.contains("id"));
  }
  return has_id;
}

// Whether a record's "state" is "absent"; Refused at `path` (spelt out only
// then) when it is neither that nor "present".
template <class Path>
Status ReadAbsent(const json& state, const Path& path, bool* absent) {
  if (state != "absent" && state != "present") {
    return Fail(path(), "is not \"present\" or \"absent\"");
  }
  *absent = state == "absent";
  return Status::OK();
}

// Takes each record's "state" out of `table` (the state's list at `key`):
// which records are to be "absent", the others being "present".
Status TakeAbsent(json* table, const char* key, std::vector<bool>* absent) {
  if (!table->is_array()) return Status::OK();
  for (std::size_t i = 0; i < table->size(); ++i) {
    json& record = (*table)[i];
    bool gone = false;
    if (record.is_object() && record.contains("state")) {
      const Status s = ReadAbsent(record["state"], [&] {
        return std::string(key) + "[" + std::to_string(i) + "].state";
      }, &gone);
      if (!s.ok()) return s;
      record.erase("state");
    }
    absent->push_back(gone);
  }
  return Status::OK();
}

// Which fields (src/desired/fields.h) each record of `table` gives.
template <class Record>
std::vector<std::uint32_t> FieldsGiven(const json& table) {
  std::vector<std::uint32_t> given;
  if (!table.is_array()) return given;
  const desired::FieldList list =
      desired::FieldsOf(static_cast<Record*>(nullptr));
  for (const json& record : table) {
    given.push_back(desired::GivenFields(list, [&](const char* key) {
      return record.is_object() && record.contains(key);
    }));
  }
  return given;
}

// The path of privilege `i`, spelt out only for a refusal.
std::string PrivilegePath(std::size_t i) {
  return "privileges[" + std::to_string(i) + "]";
}

// Privilege `i` of the state.
Status ParsePrivilege(
    const json& item, std::size_t i, const Codec& codec,
    const std::unordered_map<std::int32_t, std::string>& named_by_id,
    DesiredState::Privilege* privilege) {
  if (!item.is_object()) return Fail(PrivilegePath(i), "is not an object");
  const json* user = nullptr;
  const json* user_id = nullptr;
  const json* priv_id = nullptr;
  const json* value = nullptr;
  const json* state = nullptr;
  for (const auto& field : item.get_ref<const json::object_t&>()) {
    const std::string& key = field.first;
    const json** slot = key == "user"     ? &user
                        : key == "userID" ? &user_id
                        : key == "privID" ? &priv_id
                        : key == "value"  ? &value
                        : key == "state"  ? &state
                                          : nullptr;
    if (slot == nullptr) {
      return Fail(PrivilegePath(i) + "." + key, "is not a known key");
    }
    *slot = &field.second;
  }
  if ((user == nullptr) == (user_id == nullptr)) {
    return Fail(PrivilegePath(i),
                "names its user by \"user\" (a name) or \"userID\", once");
  }
  if (user != nullptr) {
    if (!user->is_string()) {
      return Fail(PrivilegePath(i) + ".user", "is not a string");
    }
    if (!codec.TryFromUtf8(user->get_ref<const std::string&>(),
                           &privilege->user)) {
      return Fail(PrivilegePath(i) + ".user",
                  "cannot be written in " + codec.encoding());
    }
  } else {
    std::int32_t id = 0;
    const std::string problem = Int32Problem(*user_id, 1, kInt32Max, &id);
    if (!problem.empty()) return Fail(PrivilegePath(i) + ".userID", problem);
    const auto found = named_by_id.find(id);
    if (found == named_by_id.end()) {
      return Fail(PrivilegePath(i) + ".userID",
                  "no user of the state has ID " + std::to_string(id));
    }
    privilege->user = found->second;
  }
  if (state != nullptr) {
    const Status s = ReadAbsent(
        *state, [i] { return PrivilegePath(i) + ".state"; }, &privilege->absent);
    if (!s.ok()) return s;
  }
  if (priv_id == nullptr) return Fail(PrivilegePath(i), "has no \"privID\"");
  if (value == nullptr && !privilege->absent) {
    return Fail(PrivilegePath(i), "has no \"value\"");
  }
  const std::string problem =
      Int32Problem(*priv_id, 1, kInt32Max, &privilege->priv_id);
  if (!problem.empty()) return Fail(PrivilegePath(i) + ".privID", problem);
  privilege->value = 0;
  if (!privilege->absent) {
    const std::string value_problem =
        Int32Problem(*value, 0, kInt32Max, &privilege->value);
    if (!value_problem.empty()) {
      return Fail(PrivilegePath(i) + ".value", value_problem);
    }
  }
  return Status::OK();
}

// A user's name and a privilege ID, as seen in a privilege of the state.
using PairView = std::pair<std::string_view, std::int32_t>;
struct PairViewHash {
  std::size_t operator()(const PairView& pair) const {
    return std::hash<std::string_view>()(pair.first) * 31 +
           static_cast<std::size_t>(pair.second);
  }
};

Status ParsePrivileges(const json& list, const Codec& codec,
                       DesiredState* state) {
  if (!list.is_array()) return Fail("privileges", "is not a list");
  // The users a privilege may name by the ID the state gives them.
  std::unordered_map<std::int32_t, std::string> named_by_id;
  for (std::size_t i = 0; i < state->records.users.size(); ++i) {
    const SVR_USER_REC& user = state->records.users[i];
    if (state->user_has_id[i]) {
      named_by_id.emplace(user.id, FieldText(user.name, sizeof(user.name)));
    }
  }
  // Views of the names in state->privs, which room for every privilege
  // keeps in place.
  std::unordered_set<PairView, PairViewHash> pairs(list.size());
  state->privs.reserve(list.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    DesiredState::Privilege privilege;
    const Status s = ParsePrivilege(list[i], i, codec, named_by_id, &privilege);
    if (!s.ok()) return s;
    state->privs.push_back(std::move(privilege));
    const DesiredState::Privilege& placed = state->privs.back();
    if (!pairs.emplace(placed.user, placed.priv_id).second) {
      return Fail(PrivilegePath(i),
                  "the same user and privilege as an earlier record");
    }
  }
  return Status::OK();
}

// How one change reads in diff --by-name's terms.
class Renderer {
 public:
  Renderer(const desired::Plan& plan, const DesiredState& state,
           const FileTables& file, const Codec& codec)
      : plan_(plan),
        want_(state.records),
        state_(state),
        file_(file),
        codec_(codec) {
    for (const SVR_USER_REC& user : file.users)
      owner_of_.emplace(user.id, &user);
  }

  void Add(const Change& c, ChangeList* changes) const {
    switch (c.part) {
      case Part::kTempDir:
        AddFieldChanges(
            "header",
            {{"tempDir", codec_.ToJson(file_.header.tempDir,
                                       sizeof(file_.header.tempDir))}},
            {{"tempDir", codec_.ToJson(want_.header.tempDir,
                                       sizeof(want_.header.tempDir))}},
            changes);
        return;
      case Part::kGlobalOption:
        AddFieldChanges("global option",
                        OptionToJson(file_.global_option, codec_),
                        OptionToJson(want_.global_option, codec_), changes);
        return;
      case Part::kConn:
        return Twin(c, "connection", file_.conns, plan_.conns(), ConnToJson,
                    changes);
      case Part::kGdb:
        return Twin(c, "GDB", file_.gdbs, plan_.gdbs(), GdbToJson, changes);
      case Part::kUser:
        return User(c, changes);
      case Part::kPrivilege:
        return Privilege(c, changes);
      case Part::kOptionGroup:
        if (c.kind == ChangeKind::kAdd) {
          changes->push_back(
              AddedChange(GroupRecord(want_.groups[c.want], codec_)));
          return;
        }
        AddFieldChanges(GroupRecord(file_.groups[c.have], codec_),
                        GroupToJson(file_.groups[c.have], codec_),
                        GroupToJson(want_.groups[c.want], codec_), changes);
        return;
    }
  }

 private:
  template <class Record, class ToJson>
  void Twin(const Change& c, const char* noun, const std::vector<Record>& have,
            const std::vector<Record>& want, ToJson to_json,
            ChangeList* changes) const {
    const Record& record =
        c.kind == ChangeKind::kAdd ? want[c.want] : have[c.have];
    std::string label =
        NamedRecord(noun, record.name, sizeof(record.name), codec_);
    if (c.kind == ChangeKind::kAdd) {
      changes->push_back(AddedChange(std::move(label)));
    } else if (c.kind == ChangeKind::kRemove) {
      changes->push_back(RemovedChange(std::move(label)));
    } else {
      AddFieldChanges(label, WithoutId(to_json(record, codec_)),
                      WithoutId(to_json(want[c.want], codec_)), changes);
    }
  }

  void User(const Change& c, ChangeList* changes) const {
    const SVR_USER_REC& user =
        c.kind == ChangeKind::kAdd ? want_.users[c.want] : file_.users[c.have];
    std::string label =
        NamedRecord("user", user.name, sizeof(user.name), codec_);
    changes->push_back(c.kind == ChangeKind::kAdd
                           ? AddedChange(std::move(label))
                       : c.kind == ChangeKind::kRemove
                           ? RemovedChange(std::move(label))
                           : PasswordChange(std::move(label)));
  }

  void Privilege(const Change& c, ChangeList* changes) const {
    if (c.kind == ChangeKind::kAdd) {
      const DesiredState::Privilege& p = state_.privs[c.want];
      changes->push_back(AddedChange(
          PrivilegeRecord(NamedRecord("user", p.user, codec_), p.priv_id)));
      return;
    }
    const SVR_USER_PRIV& p = file_.privs[c.have];
    const auto owner = owner_of_.find(p.userID);
    const std::string label =
        PrivilegeRecord(owner == owner_of_.end()
                            ? "user " + std::to_string(p.userID)
                            : NamedRecord("user", owner->second->name,
                                          sizeof(owner->second->name), codec_),
                        p.privID);
    if (c.kind == ChangeKind::kRemove) {
      changes->push_back(RemovedChange(label));
      return;
    }
    AddFieldChanges(
        label, {{"privID", p.privID}, {"value", p.value}},
        {{"privID", p.privID}, {"value", state_.privs[c.want].value}}, changes);
  }

  const desired::Plan& plan_;
  const FileTables& want_;
  const DesiredState& state_;
  const FileTables& file_;
  const Codec& codec_;
  std::unordered_map<std::int32_t, const SVR_USER_REC*> owner_of_;
};

}  // namespace

Status ParseDesiredState(json state, const Codec& codec,
                         DesiredState* parsed) {
  if (!state.is_object()) return Fail("the state", "is not an object");
  DesiredState desired;
  Status s;
  // What import's validation reads: the state less each file's own
  // bookkeeping, which an export also holds, and the privileges, which
  // name their users differently. Moved, not copied.
  json backup = json::object();
  // Room for every key and the two filled in below: grown, the object
  // would copy what it holds (its keys are const and cannot be moved).
  backup.get_ref<json::object_t&>().reserve(state.size() + 2);
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
  if (desired.has_conns) {
    s = TakeAbsent(&backup["connections"], "connections", &desired.conn_absent);
    if (!s.ok()) return s;
    desired.conn_has_id = HasIds(backup["connections"]);
    desired.conn_fields = FieldsGiven<SVC_GDB_CONN_INFO>(backup["connections"]);
  }
  if (desired.has_gdbs) {
    s = TakeAbsent(&backup["gdbs"], "gdbs", &desired.gdb_absent);
    if (!s.ok()) return s;
    desired.gdb_has_id = HasIds(backup["gdbs"]);
    desired.gdb_fields = FieldsGiven<SVC_GDB_INFO>(backup["gdbs"]);
  }
  if (desired.has_groups) {
    std::vector<bool> absent;
    s = TakeAbsent(&backup["optionGroups"], "optionGroups", &absent);
    if (!s.ok()) return s;
    for (std::size_t i = 0; i < absent.size(); ++i) {
      if (absent[i]) {
        return Fail("optionGroups[" + std::to_string(i) + "].state",
                    "option groups cannot be removed (import replaces the "
                    "whole file)");
      }
    }
  }
  if (desired.has_users) {
    s = TakeAbsent(&backup["users"], "users", &desired.user_absent);
    if (!s.ok()) return s;
    desired.user_has_id = HasIds(backup["users"]);
    if (backup["users"].is_array()) {
      for (const json& user : backup["users"]) {
        desired.user_has_password.push_back(user.is_object() &&
                                            user.contains("password"));
      }
    }
  }
  ImportRules rules;
  rules.allow_empty_passwords = true;
  rules.stand_in_ids = true;
  SlotCapacities capacities;  // each file's own: read past
  s = TablesFromJson(backup, codec, rules, &desired.records, &capacities);
  if (!s.ok()) return s;
  if (desired.has_privs) {
    s = ParsePrivileges(privileges, codec, &desired);
    if (!s.ok()) return s;
  }
  *parsed = std::move(desired);
  return Status::OK();
}

ChangeList PlanChanges(const desired::Plan& plan, const DesiredState& state,
                       const FileTables& file, const Codec& codec) {
  const Renderer renderer(plan, state, file, codec);
  ChangeList changes;
  changes.reserve(plan.changes().size());
  for (const Change& c : plan.changes()) renderer.Add(c, &changes);
  return changes;
}

}  // namespace state
}  // namespace brellox
