#include "tools/brellox/listing.h"

#include <nlohmann/json.hpp>
#include <ostream>
#include <unordered_map>

#include "tools/brellox/backup.h"
#include "tools/brellox/records.h"
#include "tools/brellox/text_table.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

// Each user's listed name by ID, built once per listing so that a listing
// of privileges stays linear in the records.
std::unordered_map<std::int32_t, std::string> UserNames(const Snapshot& s,
                                                        const Codec& codec) {
  std::unordered_map<std::int32_t, std::string> names;
  names.reserve(s.users.size());
  for (const SVR_USER_REC& user : s.users) {
    // The first of two users with one ID, as a lookup in table order finds.
    names.emplace(user.id, codec.Listed(user.name, sizeof(user.name)));
  }
  return names;
}

void AddOptionRow(TextTable* table, const std::string& slot,
                  const CONFIG_OPTION& option, const Codec& codec) {
  table->AddRow(
      {slot, codec.Display(option.name, sizeof(option.name)),
       OptionTypeName(option.type), OptionValueText(option, codec),
       codec.Display(option.description, sizeof(option.description))});
}

}  // namespace

void PrintConns(std::ostream& out, const Snapshot& s, const Codec& codec) {
  TextTable table({"ID", "NAME", "INFO1", "INFO2", "INFO3", "INFO4"});
  for (const SVC_GDB_CONN_INFO& c : s.conns) {
    table.AddRow({std::to_string(c.id), codec.Listed(c.name, sizeof(c.name)),
                  codec.Display(c.info1, sizeof(c.info1)),
                  codec.Display(c.info2, sizeof(c.info2)),
                  codec.Display(c.info3, sizeof(c.info3)),
                  codec.Display(c.info4, sizeof(c.info4))});
  }
  table.Print(out);
}

void PrintGdbs(std::ostream& out, const Snapshot& s, const Codec& codec) {
  TextTable table({"ID", "ALIAS", "DETAILS (hex)"});
  for (const SVC_GDB_INFO& g : s.gdbs) {
    table.AddRow({std::to_string(g.id), codec.Listed(g.name, sizeof(g.name)),
                  TrimmedHex(g.details, sizeof(g.details))});
  }
  table.Print(out);
}

void PrintUsers(std::ostream& out, const Snapshot& s, const Codec& codec) {
  TextTable table({"ID", "NAME"});
  for (const SVR_USER_REC& u : s.users) {
    table.AddRow({std::to_string(u.id), codec.Listed(u.name, sizeof(u.name))});
  }
  table.Print(out);
}

void PrintPrivs(std::ostream& out, const Snapshot& s, const Codec& codec,
                std::int32_t user_id) {
  TextTable table({"USER ID", "USER", "PRIVILEGE", "VALUE"});
  const auto names = UserNames(s, codec);
  for (const SVR_USER_PRIV& p : s.privs) {
    if (user_id != 0 && p.userID != user_id) continue;
    const auto name = names.find(p.userID);
    table.AddRow({std::to_string(p.userID),
                  name == names.end() ? "(no such user)" : name->second,
                  std::to_string(p.privID), std::to_string(p.value)});
  }
  table.Print(out);
}

void PrintOptions(std::ostream& out, const Snapshot& s, const Codec& codec) {
  out << "Global option\n";
  TextTable global({"SLOT", "NAME", "TYPE", "VALUE", "DESCRIPTION"});
  AddOptionRow(&global, "0", s.global_option, codec);
  global.Print(out);
  out << "\nOption groups (" << s.groups.size() << ")\n";
  if (s.groups.empty()) out << "(none)\n";
  for (const SVR_OPTION_GROUP& g : s.groups) {
    out << "\ngroup " << Quoted(codec.Display(g.groupName, sizeof(g.groupName)))
        << " (type " << g.groupType << ")\n";
    TextTable table({"SLOT", "NAME", "TYPE", "VALUE", "DESCRIPTION"});
    for (int i = 0; i < 6; ++i) {
      AddOptionRow(&table, std::to_string(i), g.options[i], codec);
    }
    table.Print(out);
  }
}

json ConnsJson(const Snapshot& s, const Codec& codec) {
  json out = json::array();
  for (const SVC_GDB_CONN_INFO& c : s.conns)
    out.push_back(ConnToJson(c, codec));
  return out;
}

json GdbsJson(const Snapshot& s, const Codec& codec) {
  json out = json::array();
  for (const SVC_GDB_INFO& g : s.gdbs) out.push_back(GdbToJson(g, codec));
  return out;
}

json UsersJson(const Snapshot& s, const Codec& codec, bool with_passwords) {
  json out = json::array();
  for (const SVR_USER_REC& u : s.users) {
    out.push_back(UserToJson(u, codec, with_passwords));
  }
  return out;
}

json PrivsJson(const Snapshot& s, std::int32_t user_id) {
  json out = json::array();
  for (const SVR_USER_PRIV& p : s.privs) {
    if (user_id == 0 || p.userID == user_id) out.push_back(PrivToJson(p));
  }
  return out;
}

json GroupsJson(const Snapshot& s, const Codec& codec) {
  json out = json::array();
  for (const SVR_OPTION_GROUP& g : s.groups)
    out.push_back(GroupToJson(g, codec));
  return out;
}

json HeaderJson(const Snapshot& s, const Codec& codec) {
  const SVR_CFG_HEADER& h = s.header;
  return json{{"tempDir", codec.ToJson(h.tempDir, sizeof(h.tempDir))},
              {"lastConnID", h.lastConnID},
              {"lastGDBID", h.lastGDBID},
              {"lastUserID", h.lastUserID},
              {"capacity",
               {{"connections", h.conns.capacity},
                {"gdbs", h.gdbs.capacity},
                {"users", h.users.capacity},
                {"privileges", h.privs.capacity}}}};
}

json ConfigJson(const Snapshot& s, const Codec& codec, bool with_passwords) {
  json out{{"formatVersion", kExportFormatVersion},
           {"encoding", codec.encoding()}};
  out.update(HeaderJson(s, codec));
  out["globalOption"] = OptionToJson(s.global_option, codec);
  out["connections"] = ConnsJson(s, codec);
  out["gdbs"] = GdbsJson(s, codec);
  out["users"] = UsersJson(s, codec, with_passwords);
  out["privileges"] = PrivsJson(s, 0);
  out["optionGroups"] = GroupsJson(s, codec);
  return out;
}

}  // namespace tool
}  // namespace brellox
