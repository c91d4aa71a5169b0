#include "tools/brellox/config_diff.h"

#include <algorithm>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "src/desired/match.h"
#include "tools/brellox/change_lines.h"
#include "tools/brellox/listing.h"
#include "tools/brellox/records.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

// How one table's records are matched, named and compared.
template <class Record>
struct TableRules {
  std::function<std::string(const Snapshot&, const Record&)> key;
  // The record's name after the table's noun: "3 'bob'", "'bob'".
  std::function<std::string(const Snapshot&, const Record&)> label;
  std::function<json(const Record&)> to_json;
};

class Differ {
 public:
  Differ(const Snapshot& a, const Snapshot& b, const Codec& codec,
         Matching matching)
      : a_(a), b_(b), codec_(codec), by_name_(matching == Matching::kByName) {
    if (by_name_) {
      IndexUsers(a_, &a_users_);
      IndexUsers(b_, &b_users_);
    }
  }

  ChangeList Run() {
    AddFieldChanges("header", Header(a_), Header(b_), &changes_);
    AddFieldChanges("global option", OptionToJson(a_.global_option, codec_),
                    OptionToJson(b_.global_option, codec_), &changes_);
    CompareTable<SVC_GDB_CONN_INFO>("connection", &Snapshot::conns,
                                    NamedRules<SVC_GDB_CONN_INFO>(ConnToJson));
    CompareTable<SVC_GDB_INFO>("GDB", &Snapshot::gdbs,
                               NamedRules<SVC_GDB_INFO>(GdbToJson));
    CompareTable<SVR_USER_REC>(
        "user", &Snapshot::users,
        NamedRules<SVR_USER_REC>([](const SVR_USER_REC& r, const Codec& codec) {
          return UserToJson(r, codec, false);
        }));
    CompareTable<SVR_USER_PRIV>("privilege", &Snapshot::privs, PrivRules());
    TableRules<SVR_OPTION_GROUP> groups;
    groups.key = [](const Snapshot&, const SVR_OPTION_GROUP& g) {
      return std::to_string(g.groupType) + " " +
             FieldText(g.groupName, sizeof(g.groupName));
    };
    groups.label = [this](const Snapshot&, const SVR_OPTION_GROUP& g) {
      return GroupName(g, codec_);
    };
    groups.to_json = [this](const SVR_OPTION_GROUP& g) {
      return GroupToJson(g, codec_);
    };
    CompareTable<SVR_OPTION_GROUP>("option group", &Snapshot::groups, groups);
    return std::move(changes_);
  }

 private:
  json Header(const Snapshot& s) const {
    json header = HeaderJson(s, codec_);
    if (!by_name_) return header;
    return json{{"tempDir", header["tempDir"]}};
  }

  // Connections, GDBs and users: by ID, or by the name that follows it.
  template <class Record, class ToJson>
  TableRules<Record> NamedRules(ToJson to_json) const {
    TableRules<Record> rules;
    if (by_name_) {
      rules.key = [](const Snapshot&, const Record& r) {
        return FieldText(r.name, sizeof(r.name));
      };
      rules.label = [this](const Snapshot&, const Record& r) {
        return Quoted(codec_.Display(r.name, sizeof(r.name)));
      };
      rules.to_json = [this, to_json](const Record& r) {
        return WithoutId(to_json(r, codec_));
      };
      return rules;
    }
    rules.key = [](const Snapshot&, const Record& r) {
      return std::to_string(r.id);
    };
    rules.label = [this, to_json](const Snapshot&, const Record& r) {
      const json record = to_json(r, codec_);
      std::string label = std::to_string(r.id);
      if (record["name"].is_string()) {
        label += " " + Quoted(record["name"].get<std::string>());
      }
      return label;
    };
    rules.to_json = [this, to_json](const Record& r) {
      return to_json(r, codec_);
    };
    return rules;
  }

  TableRules<SVR_USER_PRIV> PrivRules() const {
    TableRules<SVR_USER_PRIV> rules;
    rules.to_json = [this](const SVR_USER_PRIV& p) {
      json record = PrivToJson(p);
      if (by_name_) record.erase("userID");
      return record;
    };
    // By name, a privilege whose user is not in the file keeps its user ID.
    rules.key = [this](const Snapshot& s, const SVR_USER_PRIV& p) {
      const SVR_USER_REC* user = by_name_ ? UserOf(s, p.userID) : nullptr;
      return (user == nullptr ? "#" + std::to_string(p.userID)
                              : FieldText(user->name, sizeof(user->name))) +
             " " + std::to_string(p.privID);
    };
    rules.label = [this](const Snapshot& s, const SVR_USER_PRIV& p) {
      const SVR_USER_REC* user = by_name_ ? UserOf(s, p.userID) : nullptr;
      const std::string owner =
          user == nullptr
              ? "user " + std::to_string(p.userID)
              : NamedRecord("user", user->name, sizeof(user->name), codec_);
      return PrivilegeName(owner, p.privID);
    };
    return rules;
  }

  using UserIndex = std::unordered_map<std::int32_t, const SVR_USER_REC*>;

  // The user a privilege belongs to: the first record with its ID.
  static void IndexUsers(const Snapshot& s, UserIndex* index) {
    for (const SVR_USER_REC& user : s.users) index->emplace(user.id, &user);
  }
  const SVR_USER_REC* UserOf(const Snapshot& s, std::int32_t id) const {
    const UserIndex& index = &s == &a_ ? a_users_ : b_users_;
    const auto found = index.find(id);
    return found == index.end() ? nullptr : found->second;
  }

  template <class Record>
  void CompareTable(const std::string& noun,
                    std::vector<Record> Snapshot::*table,
                    const TableRules<Record>& rules) {
    const std::vector<Record>& a = a_.*table;
    const std::vector<Record>& b = b_.*table;
    const desired::KeyMatch match = desired::MatchKeys(
        desired::KeysOf(a, [&](const Record& r) { return rules.key(a_, r); }),
        desired::KeysOf(b, [&](const Record& r) { return rules.key(b_, r); }));
    for (std::size_t i = 0; i < a.size(); ++i) {
      const std::int32_t other = match.want_of[i];
      if (other == desired::kRepeat) continue;
      const std::string record = noun + " " + rules.label(a_, a[i]);
      if (other == desired::kUnpaired) {
        changes_.push_back(RemovedChange(record));
        continue;
      }
      AddFieldChanges(record, rules.to_json(a[i]), rules.to_json(b[other]),
                      &changes_);
      ComparePasswords(a[i], b[other], record);
    }
    for (std::size_t i = 0; i < b.size(); ++i) {
      if (match.have_of[i] == desired::kUnpaired) {
        changes_.push_back(AddedChange(noun + " " + rules.label(b_, b[i])));
      }
    }
  }

  template <class Record>
  void ComparePasswords(const Record&, const Record&, const std::string&) {}
  void ComparePasswords(const SVR_USER_REC& a, const SVR_USER_REC& b,
                        const std::string& record) {
    if (!a_.passwords_known || !b_.passwords_known) return;
    if (FieldText(a.password, sizeof(a.password)) !=
        FieldText(b.password, sizeof(b.password))) {
      changes_.push_back(PasswordChange(record));
    }
  }

  const Snapshot& a_;
  const Snapshot& b_;
  const Codec& codec_;
  const bool by_name_;
  UserIndex a_users_;
  UserIndex b_users_;
  ChangeList changes_;
};

}  // namespace

ChangeList ConfigChanges(const Snapshot& a, const Snapshot& b,
                         const Codec& codec, Matching matching) {
  return Differ(a, b, codec, matching).Run();
}

}  // namespace tool
}  // namespace brellox
