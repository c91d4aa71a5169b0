// Plan::Carry: each table is loaded once, when its turn comes (an earlier
// table's growth moves the later ones), changed in memory and written back
// in one write, then appended to in one more.
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "src/desired/match.h"
#include "src/desired/plan.h"
#include "src/desired/table_edit.h"
#include "src/options/copy_option_values.h"
#include "src/options/option_file.h"
#include "src/options/options.h"
#include "src/store/temp_dir.h"
#include "src/store/text.h"
#include "src/users/users.h"

namespace brellox {
namespace desired {

namespace {

// The changes of one part, split by kind.
struct PartChanges {
  std::vector<const Change*> removed, updated, added;
};

PartChanges ChangesOf(const std::vector<Change>& changes, Part part) {
  PartChanges of;
  for (const Change& c : changes) {
    if (c.part != part) continue;
    (c.kind == ChangeKind::kRemove   ? of.removed
     : c.kind == ChangeKind::kUpdate ? of.updated
                                     : of.added)
        .push_back(&c);
  }
  return of;
}

// Connections and GDBs: an update takes every byte after the ID.
template <class Record>
Status CarryTwins(ConfigSession& session, const TableSpec& spec,
                  const PartChanges& of, const std::vector<Record>& wanted,
                  bool keep_ids) {
  if (of.removed.empty() && of.updated.empty() && of.added.empty()) {
    return Status::OK();
  }
  TableEdit edit;
  Status s = edit.Load(session, spec);
  if (!s.ok()) return s;
  for (const Change* c : of.removed) edit.Remove(c->have);
  for (const Change* c : of.updated) {
    const std::size_t id_bytes = offsetof(Record, name);
    std::memcpy(edit.Change(c->have) + id_bytes,
                reinterpret_cast<const char*>(&wanted[c->want]) + id_bytes,
                sizeof(Record) - id_bytes);
  }
  std::vector<Record> added;
  added.reserve(of.added.size());
  for (const Change* c : of.added) added.push_back(wanted[c->want]);
  return edit.Write(session, added.data(),
                    static_cast<std::int32_t>(added.size()),
                    keep_ids ? NewIds::kAsGiven : NewIds::kNext, nullptr);
}

}  // namespace

Status Plan::Carry(ConfigSession& session, const DesiredState& state,
                   const FileTables& file) const {
  const FileTables& want = state.records;
  Status s;
  for (const Change& c : changes_) {
    if (!s.ok()) break;
    if (c.part == Part::kTempDir) {
      s = SetTempDir(
          session,
          FieldBytes(want.header.tempDir, sizeof(want.header.tempDir)).c_str());
    } else if (c.part == Part::kGlobalOption) {
      s = WriteGlobalOption(session, want.global_option);
    }
  }
  if (s.ok()) {
    s = CarryTwins(session, kConnTable, ChangesOf(changes_, Part::kConn),
                   conns_, rules_.keep_ids);
  }
  if (s.ok()) {
    s = CarryTwins(session, kGdbTable, ChangesOf(changes_, Part::kGdb), gdbs_,
                   rules_.keep_ids);
  }

  // Users: removals and new passwords in one write, then the added users.
  const PartChanges users = ChangesOf(changes_, Part::kUser);
  std::unordered_set<std::int32_t> removed_users(users.removed.size());
  if (s.ok() && !(users.removed.empty() && users.updated.empty())) {
    TableEdit edit;
    s = edit.Load(session, kUserTable);
    if (!s.ok()) return s;
    for (const Change* c : users.removed) {
      edit.Remove(c->have);
      removed_users.insert(file.users[c->have].id);
    }
    for (const Change* c : users.updated) {
      SVR_USER_REC* user =
          reinterpret_cast<SVR_USER_REC*>(edit.Change(c->have));
      const SVR_USER_REC& from = want.users[c->want];
      std::memcpy(user->password, from.password, sizeof(user->password));
    }
    if (s.ok()) s = edit.Write(session, nullptr, 0, NewIds::kNext, nullptr);
  }
  std::vector<SVR_USER_REC> added_users;
  added_users.reserve(users.added.size());
  for (const Change* c : users.added)
    added_users.push_back(want.users[c->want]);
  std::vector<std::int32_t> added_ids(added_users.size());
  if (s.ok() && !added_users.empty()) {
    s = AddUsers(session, added_users.data(),
                 static_cast<std::int32_t>(added_users.size()),
                 rules_.keep_ids ? NewIds::kAsGiven : NewIds::kNext,
                 added_ids.data());
  }

  // Privileges: those of removed users and those pruned go, changed values
  // are set in place, new pairs are appended.
  const PartChanges privs = ChangesOf(changes_, Part::kPrivilege);
  if (s.ok() && !(privs.removed.empty() && privs.updated.empty() &&
                  privs.added.empty() && removed_users.empty())) {
    // By name, seen in the records, which stay where they are meanwhile.
    const auto name_of = [](const SVR_USER_REC& user) {
      return FieldView(user.name, sizeof(user.name));
    };
    std::unordered_map<std::string_view, std::int32_t> id_of(
        file.users.size() + added_users.size());
    for (const SVR_USER_REC& user : file.users) {
      if (removed_users.count(user.id) == 0) id_of.emplace(name_of(user), user.id);
    }
    for (std::size_t i = 0; i < added_users.size(); ++i) {
      id_of.emplace(name_of(added_users[i]), added_ids[i]);
    }
    TableEdit edit;
    s = edit.Load(session, kPrivTable);
    if (!s.ok()) return s;
    // A pair's repeats go with it.
    std::unordered_set<std::uint64_t> removed_pairs(privs.removed.size());
    for (const Change* c : privs.removed) {
      removed_pairs.insert(PrivilegePair(file.privs[c->have]));
    }
    edit.RemoveIf([&](const char* record) {
      SVR_USER_PRIV p;
      std::memcpy(&p, record, sizeof(p));
      return removed_users.count(p.userID) != 0 ||
             removed_pairs.count(PrivilegePair(p)) != 0;
    });
    for (const Change* c : privs.updated) {
      const std::int32_t value = state.privs[c->want].value;
      std::memcpy(edit.Change(c->have) + offsetof(SVR_USER_PRIV, value), &value,
                  sizeof(value));
    }
    std::vector<SVR_USER_PRIV> added;
    added.reserve(privs.added.size());
    for (const Change* c : privs.added) {
      const DesiredState::Privilege& p = state.privs[c->want];
      added.push_back({id_of.at(p.user), p.priv_id, p.value});
    }
    if (s.ok()) {
      s = edit.Write(session, added.data(),
                     static_cast<std::int32_t>(added.size()), NewIds::kNext,
                     nullptr);
    }
  }

  // Option groups: values taken in place, new groups after the last.
  const PartChanges groups = ChangesOf(changes_, Part::kOptionGroup);
  if (s.ok() && !groups.updated.empty()) {
    TableEdit edit;
    s = edit.Load(session, kOptionGroupTable);
    if (!s.ok()) return s;
    for (const Change* c : groups.updated) {
      SVR_OPTION_GROUP* group =
          reinterpret_cast<SVR_OPTION_GROUP*>(edit.Change(c->have));
      CopyOptionValues(group->options, want.groups[c->want].options,
                       kOptionGroupSlots);
    }
    if (s.ok()) s = edit.Write(session, nullptr, 0, NewIds::kNext, nullptr);
  }
  if (s.ok() && !groups.added.empty()) {
    std::vector<SVR_OPTION_GROUP> added;
    for (const Change* c : groups.added) added.push_back(want.groups[c->want]);
    s = AppendOptionGroups(session, added.data(),
                           static_cast<std::int32_t>(added.size()));
  }
  return s;
}

}  // namespace desired
}  // namespace brellox
