#include "tools/brellox/check.h"

#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <utility>

#include "src/store/config_file.h"
#include "src/store/text.h"

namespace brellox {
namespace tool {
namespace {

class Checker {
 public:
  Checker(const Snapshot& snapshot, const Codec& codec)
      : snapshot_(snapshot), codec_(codec) {}

  std::vector<Finding> Run() {
    const SVR_CFG_HEADER& h = snapshot_.header;
    CheckNamedTable("connection", snapshot_.conns, h.lastConnID);
    CheckNamedTable("GDB", snapshot_.gdbs, h.lastGDBID);
    CheckNamedTable("user", snapshot_.users, h.lastUserID);
    CheckPrivileges();
    CheckGroups();
    for (Section s :
         {Section::kConns, Section::kGdbs, Section::kUsers, Section::kPrivs}) {
      CheckFreeSlots(s);
    }
    const std::int64_t end = LayoutEnd(h);
    const std::int64_t size = static_cast<std::int64_t>(snapshot_.file_size);
    if (size > end) {
      Warn(std::to_string(size - end) +
           " bytes after the last table (from offset " + std::to_string(end) +
           ")");
    }
    return std::move(findings_);
  }

 private:
  void Error(const std::string& message) {
    findings_.push_back({true, message});
  }
  void Warn(const std::string& message) {
    findings_.push_back({false, message});
  }

  std::string Named(const char* table, std::int32_t id, const char* name,
                    std::size_t width) const {
    return std::string(table) + " " + std::to_string(id) + " " +
           Quoted(codec_.Display(name, width));
  }

  template <class Record>
  void CheckNamedTable(const char* table, const std::vector<Record>& records,
                       std::int32_t last_id) {
    std::map<std::int32_t, int> ids;
    std::map<std::string, std::int32_t> names;
    const std::size_t width = sizeof(Record::name);
    for (const Record& record : records) {
      const std::string who = Named(table, record.id, record.name, width);
      if (record.id <= 0)
        Error(who + ": ID " + std::to_string(record.id) + " is not above 0");
      if (++ids[record.id] == 2) {
        Error(std::string(table) + " ID " + std::to_string(record.id) +
              " is used more than once");
      }
      if (record.id > last_id) {
        Error(who + ": ID above the last issued " + table + " ID " +
              std::to_string(last_id));
      }
      const std::string name = FieldText(record.name, width);
      auto inserted = names.emplace(name, record.id);
      if (!inserted.second) {
        Error(who + ": name already used by " + table + " " +
              std::to_string(inserted.first->second));
      }
      if (IsBlankName(name.c_str())) Warn(who + ": blank name");
    }
  }

  void CheckPrivileges() {
    std::set<std::int32_t> users;
    for (const SVR_USER_REC& user : snapshot_.users) users.insert(user.id);
    std::set<std::pair<std::int32_t, std::int32_t>> pairs;
    std::set<std::int32_t> orphans;
    for (const SVR_USER_PRIV& priv : snapshot_.privs) {
      const std::string pair = "(user " + std::to_string(priv.userID) +
                               ", privilege " + std::to_string(priv.privID) +
                               ")";
      if (!pairs.insert({priv.userID, priv.privID}).second) {
        Error("privilege " + pair + " is stored more than once");
      }
      if (users.count(priv.userID) == 0 && orphans.insert(priv.userID).second) {
        Warn("privileges of user ID " + std::to_string(priv.userID) +
             ", which no user has");
      }
    }
  }

  void CheckGroups() {
    std::set<std::pair<std::int32_t, std::string>> keys;
    for (std::size_t i = 0; i < snapshot_.groups.size(); ++i) {
      const SVR_OPTION_GROUP& group = snapshot_.groups[i];
      const std::size_t width = sizeof(group.groupName);
      const std::string name = FieldText(group.groupName, width);
      const std::string who = "option group " + std::to_string(i) + " " +
                              Quoted(codec_.Display(group.groupName, width)) +
                              " (type " + std::to_string(group.groupType) + ")";
      if (group.groupType <= 0) {
        Error(who + ": type " + std::to_string(group.groupType) +
              " is not above 0");
      }
      if (!keys.insert({group.groupType, name}).second) {
        Error(who + ": type and name already used by an earlier group");
      }
      if (name.size() == width) {
        Error(who + ": name runs to the end of its field without a NUL");
      }
      if (IsBlankName(name.c_str())) Warn(who + ": blank name");
    }
  }

  void CheckFreeSlots(Section s) {
    static const char* const kTables[] = {"connection", "GDB", "user",
                                          "privilege"};
    const std::string table = kTables[static_cast<int>(s)];
    const DirtyFreeSlots& dirty =
        snapshot_.dirty_free_slots[static_cast<int>(s)];
    for (const std::int32_t slot : dirty.listed) {
      Warn(table + " free slot " + std::to_string(slot) +
           " is not zero (a removed record's bytes)");
    }
    const std::int64_t unlisted =
        dirty.total - static_cast<std::int64_t>(dirty.listed.size());
    if (unlisted > 0) {
      Warn(std::to_string(unlisted) + " more " + table +
           " free slots are not zero");
    }
  }

  const Snapshot& snapshot_;
  const Codec& codec_;
  std::vector<Finding> findings_;
};

// Looks at texts in file order and remembers the first that does not
// decode.
class TextScan {
 public:
  explicit TextScan(const Codec& codec) : codec_(codec) {}

  template <std::size_t N>
  void Field(const std::string& record, const char* name,
             const char (&field)[N], bool secret = false) {
    Bytes(record, name, field, N, secret);
  }

  void Bytes(const std::string& record, const char* name, const char* field,
             std::size_t width, bool secret) {
    if (!found_.empty()) return;
    const std::string text = FieldText(field, width);
    std::string utf8;
    if (codec_.TryToUtf8(text, &utf8)) return;
    found_ = record + ", field " + name;
    if (!secret) found_ += " (" + Quoted(codec_.Shown(text)) + ")";
  }

  void Option(const std::string& record, const CONFIG_OPTION& option) {
    Field(record, "name", option.name);
    Field(record, "description", option.description);
    if (option.type == SVR_OPTION_TEXT) {
      Bytes(record, "value", reinterpret_cast<const char*>(option.value),
            sizeof(option.value), false);
    }
  }

  const std::string& found() const { return found_; }

 private:
  const Codec& codec_;
  std::string found_;
};

}  // namespace

std::string FirstUndecodedText(const Snapshot& s, const Codec& codec) {
  TextScan scan(codec);
  scan.Field("the header", "tempDir", s.header.tempDir);
  scan.Option("the global option", s.global_option);
  for (const SVC_GDB_CONN_INFO& c : s.conns) {
    const std::string who = "connection ID " + std::to_string(c.id);
    scan.Field(who, "name", c.name);
    scan.Field(who, "info1", c.info1);
    scan.Field(who, "info2", c.info2);
    scan.Field(who, "info3", c.info3);
    scan.Field(who, "info4", c.info4);
  }
  for (const SVC_GDB_INFO& g : s.gdbs) {
    scan.Field("GDB ID " + std::to_string(g.id), "name", g.name);
  }
  for (const SVR_USER_REC& u : s.users) {
    const std::string who = "user ID " + std::to_string(u.id);
    scan.Field(who, "name", u.name);
    scan.Field(who, "password", u.password, true);
  }
  for (std::size_t i = 0; i < s.groups.size(); ++i) {
    const SVR_OPTION_GROUP& g = s.groups[i];
    const std::string who = "option group " + std::to_string(i) + " (type " +
                            std::to_string(g.groupType) + ")";
    scan.Field(who, "groupName", g.groupName);
    for (std::size_t slot = 0; slot < std::size(g.options); ++slot) {
      scan.Option(who + ", option " + std::to_string(slot), g.options[slot]);
    }
  }
  return scan.found();
}

std::vector<Finding> CheckSnapshot(const Snapshot& snapshot,
                                   const Codec& codec) {
  return Checker(snapshot, codec).Run();
}

std::vector<Finding> CheckImage(const std::string& image, const Codec& codec) {
  Snapshot snapshot;
  Status s = ParseSnapshot(image, &snapshot);
  if (!s.ok()) return {{true, "header check: " + s.message()}};
  return CheckSnapshot(snapshot, codec);
}

}  // namespace tool
}  // namespace brellox
