#include "src/desired/plan.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "src/desired/fields.h"
#include "src/desired/match.h"
#include "src/options/copy_option_values.h"
#include "src/options/options.h"
#include "src/store/text.h"

namespace brellox {
namespace desired {

namespace {

std::string At(const char* key, std::size_t i) {
  return std::string(key) + "[" + std::to_string(i) + "]";
}

Status Refuse(const std::string& path, const std::string& problem) {
  return Status::Refused(path + ": " + problem);
}

// Whether taking the value of `want` into `have`, as the library takes a
// value into a stored option (CopyOptionValues), changes a byte of it; a
// refusal naming the field when the two differ in more than their values,
// which the library never changes in place.
Status ValueChanges(const CONFIG_OPTION& have, const CONFIG_OPTION& want,
                    const std::string& path, bool* changed) {
  const char* field = nullptr;
  if (FieldBytes(have.name, sizeof(have.name)) !=
      FieldBytes(want.name, sizeof(want.name))) {
    field = "name";
  } else if (have.type != want.type) {
    field = "type";
  } else if (FieldBytes(have.description, sizeof(have.description)) !=
             FieldBytes(want.description, sizeof(want.description))) {
    field = "description";
  }
  if (field != nullptr) {
    return Refuse(path + "." + field,
                  "differs from the file's, and only option values can be "
                  "changed in place (import replaces the whole file)");
  }
  CONFIG_OPTION taken = have;
  CopyOptionValues(&taken, &want, 1);
  *changed = std::memcmp(&taken, &have, sizeof(have)) != 0;
  return Status::OK();
}

// " 'name'": a name's bytes, in the file's code page as every message of
// the library holds them.
std::string Named(const std::string& name) { return " '" + name + "'"; }

}  // namespace

Status Plan::Make(const DesiredState& state, const FileTables& file,
                  const ApplyRules& rules, Plan* plan) {
  plan->rules_ = rules;
  plan->changes_.clear();
  plan->conns_ = state.records.conns;
  plan->gdbs_ = state.records.gdbs;
  Status s = plan->PlanTempDir(state, file);
  if (s.ok()) s = plan->PlanGlobalOption(state, file);
  if (s.ok()) {
    s = plan->PlanTwins(Part::kConn, "connections", "connection", &plan->conns_,
                        state.conn_fields, state.conn_absent, state.conn_has_id,
                        state.has_conns, file.conns, file.header.lastConnID);
  }
  if (s.ok()) {
    s = plan->PlanTwins(Part::kGdb, "gdbs", "GDB", &plan->gdbs_,
                        state.gdb_fields, state.gdb_absent, state.gdb_has_id,
                        state.has_gdbs, file.gdbs, file.header.lastGDBID);
  }
  if (s.ok()) s = plan->PlanUsers(state, file);
  if (s.ok()) s = plan->PlanPrivileges(state, file);
  if (s.ok()) s = plan->PlanGroups(state, file);
  if (!s.ok()) plan->changes_.clear();
  return s;
}

Status Plan::PlanTempDir(const DesiredState& state, const FileTables& file) {
  if (!state.has_temp_dir) return Status::OK();
  const SVR_CFG_HEADER& want = state.records.header;
  const SVR_CFG_HEADER& have = file.header;
  if (FieldBytes(want.tempDir, sizeof(want.tempDir)) !=
      FieldBytes(have.tempDir, sizeof(have.tempDir))) {
    changes_.push_back({ChangeKind::kUpdate, Part::kTempDir});
  }
  return Status::OK();
}

Status Plan::PlanGlobalOption(const DesiredState& state,
                              const FileTables& file) {
  if (!state.has_global_option) return Status::OK();
  bool changed = false;
  const Status s = ValueChanges(file.global_option, state.records.global_option,
                                "globalOption", &changed);
  if (s.ok() && changed) {
    changes_.push_back({ChangeKind::kUpdate, Part::kGlobalOption});
  }
  return s;
}

namespace {

// Orders the records to add under the state's IDs: each must carry one
// above what the file has issued; added in the order of their IDs.
template <class Record>
Status KeepIds(const char* key, const char* noun, std::int32_t last_issued,
               const std::vector<Record>& wanted,
               const std::vector<bool>& has_id,
               std::vector<std::int32_t>* added) {
  for (std::int32_t i : *added) {
    const std::string path = At(key, static_cast<std::size_t>(i));
    if (!has_id[i]) {
      return Refuse(path,
                    "has no \"id\", which --keep-ids adds the record under");
    }
    if (wanted[i].id <= last_issued) {
      return Refuse(path + ".id",
                    std::to_string(wanted[i].id) +
                        " is not above the file's "
                        "last " +
                        noun + " ID " + std::to_string(last_issued) +
                        ", so --keep-ids cannot add it under that ID; restore "
                        "the file with import instead");
    }
  }
  std::stable_sort(added->begin(), added->end(),
                   [&](std::int32_t a, std::int32_t b) {
                     return wanted[a].id < wanted[b].id;
                   });
  return Status::OK();
}

// Whether record `i` of a state is to be absent.
bool Absent(const std::vector<bool>& absent, std::int32_t i) {
  return !absent.empty() && absent[static_cast<std::size_t>(i)];
}

// The state's records no record of the file pairs with, less those to be
// absent.
std::vector<std::int32_t> Unpaired(const KeyMatch& match,
                                   const std::vector<bool>& absent) {
  std::vector<std::int32_t> unpaired;
  for (std::size_t i = 0; i < match.have_of.size(); ++i) {
    if (match.have_of[i] == kUnpaired &&
        !Absent(absent, static_cast<std::int32_t>(i))) {
      unpaired.push_back(static_cast<std::int32_t>(i));
    }
  }
  return unpaired;
}

}  // namespace

template <class Record>
Status Plan::PlanTwins(Part part, const char* key, const char* noun,
                       std::vector<Record>* wanted,
                       const std::vector<std::uint32_t>& fields,
                       const std::vector<bool>& absent,
                       const std::vector<bool>& has_id, bool given,
                       const std::vector<Record>& existing,
                       std::int32_t last_issued) {
  if (!given) return Status::OK();
  const auto name = [](const Record& r) { return NameKey(r); };
  const KeyMatch match =
      MatchKeys(KeysOf(existing, name), KeysOf(*wanted, name));
  for (std::size_t i = 0; i < existing.size(); ++i) {
    const std::int32_t have = static_cast<std::int32_t>(i);
    const std::int32_t want = match.want_of[i];
    if (want < 0 ? rules_.prune : Absent(absent, want)) {
      changes_.push_back({ChangeKind::kRemove, part, have});
    }
    if (want < 0 || Absent(absent, want)) continue;
    const Record& a = existing[i];
    Record& b = (*wanted)[want];
    if (!fields.empty()) TakeMissingFields(a, fields[want], &b);
    // The same bytes after the ID: nothing to do.
    if (std::memcmp(&a.name, &b.name,
                    sizeof(Record) - offsetof(Record, name)) != 0) {
      changes_.push_back({ChangeKind::kUpdate, part, have, want});
    }
  }
  std::vector<std::int32_t> added = Unpaired(match, absent);
  if (rules_.keep_ids) {
    const Status s = KeepIds(key, noun, last_issued, *wanted, has_id, &added);
    if (!s.ok()) return s;
  }
  for (std::int32_t want : added) {
    changes_.push_back({ChangeKind::kAdd, part, -1, want});
  }
  return Status::OK();
}

Status Plan::CheckPassword(const DesiredState& state, std::int32_t want,
                           bool added) const {
  if (rules_.allow_empty_password) return Status::OK();
  const SVR_USER_REC& user = state.records.users[want];
  const bool given = state.user_has_password[want];
  if (given && user.password[0] != '\0') return Status::OK();
  // Put in words only for a refusal: most users of a large state pass.
  const std::string path = At("users", static_cast<std::size_t>(want));
  const std::string name = Named(NameKey(user));
  const std::string how =
      std::string("give one as \"password\", or allow empty passwords (") +
      rules_.allow_empty_password_switch + ")";
  if (!given) {
    // Only an added user can get here: a stored password is kept.
    return Refuse(path, "new user" + name + " has no password; " + how);
  }
  return Refuse(path + ".password", std::string(added ? "new user" : "user") +
                                        name + " would get an empty password; " +
                                        how);
}

Status Plan::PlanUsers(const DesiredState& state, const FileTables& file) {
  if (!state.has_users) return Status::OK();
  const std::vector<SVR_USER_REC>& wanted = state.records.users;
  const auto name = [](const SVR_USER_REC& r) { return NameKey(r); };
  const KeyMatch match =
      MatchKeys(KeysOf(file.users, name), KeysOf(wanted, name));
  for (std::size_t i = 0; i < file.users.size(); ++i) {
    const std::int32_t have = static_cast<std::int32_t>(i);
    const std::int32_t want = match.want_of[i];
    if (want < 0 ? rules_.prune : Absent(state.user_absent, want)) {
      changes_.push_back({ChangeKind::kRemove, Part::kUser, have});
    }
    if (want < 0 || Absent(state.user_absent, want)) continue;
    // A password left out is left as it is.
    const SVR_USER_REC& a = file.users[i];
    const SVR_USER_REC& b = wanted[want];
    if (state.user_has_password[want] &&
        FieldBytes(a.password, sizeof(a.password)) !=
            FieldBytes(b.password, sizeof(b.password))) {
      const Status s = CheckPassword(state, want, false);
      if (!s.ok()) return s;
      changes_.push_back({ChangeKind::kUpdate, Part::kUser, have, want});
    }
  }
  std::vector<std::int32_t> added = Unpaired(match, state.user_absent);
  for (std::int32_t want : added) {
    const Status s = CheckPassword(state, want, true);
    if (!s.ok()) return s;
  }
  if (rules_.keep_ids) {
    const Status s = KeepIds("users", "user", file.header.lastUserID, wanted,
                             state.user_has_id, &added);
    if (!s.ok()) return s;
  }
  for (std::int32_t want : added) {
    changes_.push_back({ChangeKind::kAdd, Part::kUser, -1, want});
  }
  return Status::OK();
}

namespace {

// Whom privileges belong to, numbered as first met: users' names, and the
// user IDs of privileges whose ID names no user, which no name can equal.
// Names are seen in place, in the records: nothing copied.
class PrivilegeOwners {
 public:
  explicit PrivilegeOwners(std::size_t expected) : names_(expected) {}

  // A name's number, and whether a user of that name is there once the
  // plan is carried out.
  struct Name {
    std::uint32_t number;
    bool there;
  };
  Name& OfName(std::string_view name) {
    const auto placed = names_.try_emplace(name, Name{next_, false});
    if (placed.second) ++next_;
    return placed.first->second;
  }
  std::uint32_t OfUnownedId(std::int32_t user_id) {
    const auto placed = ids_.try_emplace(user_id, next_);
    if (placed.second) ++next_;
    return placed.first->second;
  }

 private:
  std::unordered_map<std::string_view, Name> names_;
  std::unordered_map<std::int32_t, std::uint32_t> ids_;
  std::uint32_t next_ = 0;
};

std::string_view NameOf(const SVR_USER_REC& user) {
  return FieldView(user.name, sizeof(user.name));
}

}  // namespace

Status Plan::PlanPrivileges(const DesiredState& state, const FileTables& file) {
  // Privileges pair by their user's name and their ID, as 64-bit keys.
  std::unordered_set<std::int32_t> removed;  // users, by ID
  PrivilegeOwners owners(file.users.size() + state.records.users.size());
  for (const Change& c : changes_) {
    if (c.part != Part::kUser) continue;
    if (c.kind == ChangeKind::kRemove) removed.insert(file.users[c.have].id);
    if (c.kind == ChangeKind::kAdd) {
      owners.OfName(NameOf(state.records.users[c.want])).there = true;
    }
  }
  // The number of the name that each user ID of the file stands for: that
  // of the first record with the ID.
  std::unordered_map<std::int32_t, std::uint32_t> owner_name(file.users.size());
  for (const SVR_USER_REC& user : file.users) {
    PrivilegeOwners::Name& name = owners.OfName(NameOf(user));
    owner_name.emplace(user.id, name.number);
    if (removed.count(user.id) == 0) name.there = true;
  }
  std::vector<std::uint64_t> want_keys;
  want_keys.reserve(state.privs.size());
  for (std::size_t i = 0; i < state.privs.size(); ++i) {
    const DesiredState::Privilege& p = state.privs[i];
    const PrivilegeOwners::Name& name = owners.OfName(p.user);
    if (!p.absent && !name.there) {
      return Refuse(
          At("privileges", i) + ".user",
          "no user '" + p.user + "'" +
              (rules_.prune && state.has_users ? " among the state's users"
                                               : " in the state or the file"));
    }
    want_keys.push_back(PrivilegePair(name.number, p.priv_id));
  }
  std::vector<std::uint64_t> have_keys;
  have_keys.reserve(file.privs.size());
  for (const SVR_USER_PRIV& p : file.privs) {
    const auto owner = owner_name.find(p.userID);
    have_keys.push_back(PrivilegePair(owner == owner_name.end()
                                         ? owners.OfUnownedId(p.userID)
                                         : owner->second,
                                     p.privID));
  }
  const KeyMatch match = MatchKeys(have_keys, want_keys);
  for (std::size_t i = 0; i < file.privs.size(); ++i) {
    const std::int32_t have = static_cast<std::int32_t>(i);
    const std::int32_t want = match.want_of[i];
    if (want == kRepeat) continue;
    if (removed.count(file.privs[i].userID) != 0 ||
        (want == kUnpaired && rules_.prune && state.has_privs) ||
        (want >= 0 && state.privs[want].absent)) {
      changes_.push_back({ChangeKind::kRemove, Part::kPrivilege, have});
    } else if (want >= 0 && state.privs[want].value != file.privs[i].value) {
      changes_.push_back({ChangeKind::kUpdate, Part::kPrivilege, have, want});
    }
  }
  for (std::int32_t want : Unpaired(match, std::vector<bool>())) {
    if (!state.privs[want].absent) {
      changes_.push_back({ChangeKind::kAdd, Part::kPrivilege, -1, want});
    }
  }
  return Status::OK();
}

Status Plan::PlanGroups(const DesiredState& state, const FileTables& file) {
  if (!state.has_groups) return Status::OK();
  const std::vector<SVR_OPTION_GROUP>& wanted = state.records.groups;
  const KeyMatch match =
      MatchKeys(KeysOf(file.groups, GroupKey), KeysOf(wanted, GroupKey));
  for (std::size_t i = 0; i < file.groups.size(); ++i) {
    const SVR_OPTION_GROUP& have = file.groups[i];
    const std::int32_t want = match.want_of[i];
    if (want < 0) {
      if (!rules_.prune) continue;
      return Status::Refused(
          "option group '" +
          FieldBytes(have.groupName, sizeof(have.groupName)) + "' (type " +
          std::to_string(have.groupType) +
          ") is not in the state, and option groups cannot be removed; leave "
          "out --prune, or restore the file with import");
    }
    bool changed = false;
    for (std::int32_t slot = 0; slot < kOptionGroupSlots; ++slot) {
      bool slot_changed = false;
      const Status s =
          ValueChanges(have.options[slot], wanted[want].options[slot],
                       At("optionGroups", static_cast<std::size_t>(want)) +
                           "." + At("options", static_cast<std::size_t>(slot)),
                       &slot_changed);
      if (!s.ok()) return s;
      changed = changed || slot_changed;
    }
    if (changed) {
      changes_.push_back({ChangeKind::kUpdate, Part::kOptionGroup,
                          static_cast<std::int32_t>(i), want});
    }
  }
  for (std::int32_t want : Unpaired(match, std::vector<bool>())) {
    changes_.push_back({ChangeKind::kAdd, Part::kOptionGroup, -1, want});
  }
  return Status::OK();
}

}  // namespace desired
}  // namespace brellox
