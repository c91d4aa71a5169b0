// diff: two configurations, each a file or an export, record by record.
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <utility>

#include "tools/brellox/backup.h"
#include "tools/brellox/backup_json.h"
#include "tools/brellox/command.h"
#include "tools/brellox/input.h"
#include "tools/brellox/listing.h"
#include "tools/brellox/records.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

// One side: a configuration file, read through a session like any command,
// or an export ("-": standard input).
Snapshot LoadSide(const Context& ctx, const std::string& name) {
  if (name != "-") {
    ConfigSession session;
    const Status opened = session.Open(Store{ctx.env, name}, Access::kRead);
    const Context side{ctx.env, name, ctx.codec, ctx.out};
    if (opened.ok()) {
      Snapshot snapshot;
      ctx.Require(ReadTables(session, &snapshot));
      return snapshot;
    }
    // Not a configuration file; it may still be an export.
    if (!opened.IsCorrupt()) side.OpenFailed(opened);
  }
  const std::string text = ReadInput(ctx.env, name);
  json backup;
  std::size_t error_byte = 0;
  if (!ParseBackup(text, &backup, &error_byte)) {
    FileError(name + " is neither a configuration file nor an export");
  }
  ImportRules rules;
  rules.allow_empty_passwords = true;
  Snapshot snapshot;
  const Status parsed =
      DecodeImage(ImageFromJson(backup, *ctx.codec, rules), &snapshot);
  if (!parsed.ok()) FileError(name + ": " + parsed.message());
  snapshot.passwords_known = BackupHasPasswords(backup);
  return snapshot;
}

class Differ {
 public:
  Differ(const Context& ctx, const Snapshot& a, const Snapshot& b)
      : ctx_(ctx), a_(a), b_(b) {}

  json Run() {
    CompareHeader();
    Compare("global option", OptionToJson(a_.global_option, *ctx_.codec),
            OptionToJson(b_.global_option, *ctx_.codec));
    CompareTable(
        "connection", a_.conns, b_.conns,
        [](const SVC_GDB_CONN_INFO& r) { return std::to_string(r.id); },
        [&](const SVC_GDB_CONN_INFO& r) { return ConnToJson(r, *ctx_.codec); });
    CompareTable(
        "GDB", a_.gdbs, b_.gdbs,
        [](const SVC_GDB_INFO& r) { return std::to_string(r.id); },
        [&](const SVC_GDB_INFO& r) { return GdbToJson(r, *ctx_.codec); });
    CompareUsers();
    CompareTable(
        "privilege", a_.privs, b_.privs,
        [](const SVR_USER_PRIV& p) {
          return "(user " + std::to_string(p.userID) + ", privilege " +
                 std::to_string(p.privID) + ")";
        },
        [](const SVR_USER_PRIV& p) { return PrivToJson(p); });
    CompareTable(
        "option group", a_.groups, b_.groups,
        [&](const SVR_OPTION_GROUP& g) {
          return ShownName(ctx_, g.groupName, sizeof(g.groupName)) + " (type " +
                 std::to_string(g.groupType) + ")";
        },
        [&](const SVR_OPTION_GROUP& g) { return GroupToJson(g, *ctx_.codec); });
    return differences_;
  }

 private:
  void CompareHeader() {
    Compare("header", HeaderJson(a_, *ctx_.codec), HeaderJson(b_, *ctx_.codec));
  }

  // Field by field, nested objects and lists by path ("options[2].value").
  void Compare(const std::string& record, const json& a, const json& b,
               const std::string& path = "") {
    if (a == b) return;
    if (a.is_object() && b.is_object()) {
      std::set<std::string> keys;
      for (const auto& item : a.items()) keys.insert(item.key());
      for (const auto& item : b.items()) keys.insert(item.key());
      for (const std::string& key : keys) {
        const std::string field = path.empty() ? key : path + "." + key;
        Compare(record, a.contains(key) ? a[key] : json(),
                b.contains(key) ? b[key] : json(), field);
      }
      return;
    }
    if (a.is_array() && b.is_array() && a.size() == b.size()) {
      for (std::size_t i = 0; i < a.size(); ++i) {
        Compare(record, a[i], b[i], path + "[" + std::to_string(i) + "]");
      }
      return;
    }
    differences_.push_back({{"change", "changed"},
                            {"record", record},
                            {"field", path},
                            {"from", a},
                            {"to", b}});
  }

  template <class Record, class KeyOf, class ToJson>
  void CompareTable(const std::string& table, const std::vector<Record>& a,
                    const std::vector<Record>& b, KeyOf key_of,
                    ToJson to_json) {
    std::map<std::string, const Record*> in_b;
    for (const Record& r : b) in_b.emplace(key_of(r), &r);
    std::set<std::string> seen;
    for (const Record& r : a) {
      const std::string key = key_of(r);
      if (!seen.insert(key).second) continue;
      const auto other = in_b.find(key);
      if (other == in_b.end()) {
        differences_.push_back(
            {{"change", "removed"}, {"record", Name(table, key, to_json(r))}});
        continue;
      }
      const json from = to_json(r);
      Compare(Name(table, key, from), from, to_json(*other->second));
      Extra(r, *other->second, Name(table, key, from));
    }
    for (const Record& r : b) {
      const std::string key = key_of(r);
      if (seen.insert(key).second) {
        differences_.push_back(
            {{"change", "added"}, {"record", Name(table, key, to_json(r))}});
      }
    }
  }

  // Users: everything but the password as other records, the password
  // compared only when both sides know it, and never shown.
  void CompareUsers() {
    CompareTable(
        "user", a_.users, b_.users,
        [](const SVR_USER_REC& r) { return std::to_string(r.id); },
        [&](const SVR_USER_REC& r) {
          return UserToJson(r, *ctx_.codec, false);
        });
  }

  template <class Record>
  void Extra(const Record&, const Record&, const std::string&) {}
  void Extra(const SVR_USER_REC& a, const SVR_USER_REC& b,
             const std::string& record) {
    if (!a_.passwords_known || !b_.passwords_known) return;
    if (FieldText(a.password, sizeof(a.password)) !=
        FieldText(b.password, sizeof(b.password))) {
      differences_.push_back(
          {{"change", "changed"}, {"record", record}, {"field", "password"}});
    }
  }

  // "user 3 'bob'": the key, and the record's name when it has one.
  std::string Name(const std::string& table, const std::string& key,
                   const json& record) const {
    std::string name = table + " " + key;
    if (record.contains("name") && record["name"].is_string()) {
      name += " " + Quoted(record["name"].get<std::string>());
    }
    return name;
  }

  const Context& ctx_;
  const Snapshot& a_;
  const Snapshot& b_;
  json differences_ = json::array();
};

std::string Shown(const json& value) {
  return value.is_null() ? "(none)" : value.dump();
}

struct DiffOptions {
  std::string a;
  std::string b;
  bool as_json = false;
};

void Diff(Context& ctx, const DiffOptions& o) {
  if (o.a == "-" && o.b == "-") UsageError("only one side can be -");
  const Snapshot a = LoadSide(ctx, o.a);
  const Snapshot b = LoadSide(ctx, o.b);
  const json differences = Differ(ctx, a, b).Run();
  ctx.result = differences.empty() ? kExitDone : kExitDiffers;
  if (o.as_json) {
    ctx.PrintJson(
        {{"equal", differences.empty()}, {"differences", differences}});
    return;
  }
  for (const json& d : differences) {
    *ctx.out << d["change"].get<std::string>() << " "
             << d["record"].get<std::string>();
    if (d.contains("from")) {
      *ctx.out << ": " << d["field"].get<std::string>() << " "
               << Shown(d["from"]) << " -> " << Shown(d["to"]);
    } else if (d.contains("field")) {
      *ctx.out << ": " << d["field"].get<std::string>() << " differs";
    }
    *ctx.out << "\n";
  }
  *ctx.out << (differences.empty()
                   ? "no differences"
                   : std::to_string(differences.size()) + " difference(s)")
           << "\n";
}

}  // namespace

std::vector<std::string> RecordsOnlyIn(const Context& ctx, const Snapshot& a,
                                       const Snapshot& b) {
  std::vector<std::string> records;
  for (const json& d : Differ(ctx, a, b).Run()) {
    if (d["change"] == "removed") {
      records.push_back(d["record"].get<std::string>());
    }
  }
  return records;
}

void AddDiffCommand(CLI::App& app, Registry& registry) {
  auto options = std::make_shared<DiffOptions>();
  CLI::App* diff = app.add_subcommand(
      "diff",
      "compare two configurations, each a file or an export, record "
      "by record (exit 0 when equal, 1 when not; passwords are "
      "compared, never shown)");
  diff->add_option("A", options->a, "configuration file or export")->required();
  diff->add_option("B", options->b,
                   "configuration file or export, - for "
                   "standard input")
      ->required();
  AddJsonFlag(diff, &options->as_json);
  registry.Add(diff, [options](Context& ctx) { Diff(ctx, *options); });
}

}  // namespace tool
}  // namespace brellox
