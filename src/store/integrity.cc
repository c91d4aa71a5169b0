#include "src/store/integrity.h"

#include <cstdint>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "src/store/file_name.h"
#include "src/store/journal_file.h"
#include "src/store/text.h"

namespace brellox {
namespace {

std::string TextOf(const char* field, std::size_t width) {
  return std::string(field, FieldLength(field, width));
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

class Checker {
 public:
  Checker(const FileTables& tables, const ShowText& show)
      : tables_(tables), show_(show) {}

  std::vector<Finding> Run() {
    const SVR_CFG_HEADER& h = tables_.header;
    CheckNamedTable(Section::kConns, tables_.conns, h.lastConnID);
    CheckNamedTable(Section::kGdbs, tables_.gdbs, h.lastGDBID);
    CheckNamedTable(Section::kUsers, tables_.users, h.lastUserID);
    CheckPrivileges();
    CheckGroups();
    for (Section s :
         {Section::kConns, Section::kGdbs, Section::kUsers, Section::kPrivs}) {
      CheckFreeSlots(s);
    }
    const std::int64_t end = LayoutEnd(h);
    const std::int64_t size = static_cast<std::int64_t>(tables_.file_size);
    if (size > end) {
      Add(false, Rule::kTrailingBytes, Section::kOptionGroups, 0,
          std::to_string(size - end) +
              " bytes after the last table (from offset " +
              std::to_string(end) + ")");
    }
    return std::move(findings_);
  }

 private:
  void Add(bool error, Rule rule, Section table, std::size_t record,
           const std::string& message) {
    findings_.push_back({error, message, rule, table, record});
  }

  template <class Record>
  void CheckNamedTable(Section section, const std::vector<Record>& records,
                       std::int32_t last_id) {
    const std::string table = TableName(section);
    // Hashed, and each record's words made only for a finding: a check of a
    // large file costs about one lookup per record.
    std::unordered_map<std::int32_t, int> ids(records.size());
    std::unordered_map<std::string, std::int32_t> names(records.size());
    const std::size_t width = sizeof(Record::name);
    for (std::size_t i = 0; i < records.size(); ++i) {
      const Record& record = records[i];
      const std::string name = TextOf(record.name, width);
      const auto who = [&] {
        return table + " " + std::to_string(record.id) + " " +
               Quoted(Shown(name));
      };
      const auto error = [&](Rule rule, const std::string& message) {
        Add(true, rule, section, i, message);
      };
      if (record.id <= 0) {
        error(Rule::kIdNotAboveZero,
              who() + ": ID " + std::to_string(record.id) + " is not above 0");
      }
      if (++ids[record.id] == 2) {
        error(Rule::kIdRepeated, table + " ID " + std::to_string(record.id) +
                                     " is used more than once");
      }
      if (record.id > last_id) {
        error(Rule::kIdAboveCounter, who() + ": ID above the last issued " +
                                         table + " ID " +
                                         std::to_string(last_id));
      }
      auto inserted = names.emplace(name, record.id);
      if (!inserted.second) {
        error(Rule::kNameRepeated, who() + ": name already used by " + table +
                                       " " +
                                       std::to_string(inserted.first->second));
      }
      if (IsBlankName(name.c_str())) {
        Add(false, Rule::kBlankName, section, i, who() + ": blank name");
      }
    }
  }

  void CheckPrivileges() {
    std::unordered_set<std::int32_t> users(tables_.users.size());
    for (const SVR_USER_REC& user : tables_.users) users.insert(user.id);
    std::unordered_set<std::uint64_t> pairs(tables_.privs.size());
    std::unordered_set<std::int32_t> orphans;
    for (std::size_t i = 0; i < tables_.privs.size(); ++i) {
      const SVR_USER_PRIV& priv = tables_.privs[i];
      if (!pairs.insert(PrivilegePair(priv)).second) {
        Add(true, Rule::kPrivilegeRepeated, Section::kPrivs, i,
            "privilege (user " + std::to_string(priv.userID) + ", privilege " +
                std::to_string(priv.privID) + ") is stored more than once");
      }
      // Removing a user may keep its privileges: the format's own state.
      if (users.count(priv.userID) == 0 && orphans.insert(priv.userID).second) {
        Add(false, Rule::kPrivilegeOfNoUser, Section::kPrivs, i,
            "privileges of user ID " + std::to_string(priv.userID) +
                ", which no user has");
      }
    }
  }

  void CheckGroups() {
    std::set<std::pair<std::int32_t, std::string>> keys;
    for (std::size_t i = 0; i < tables_.groups.size(); ++i) {
      const SVR_OPTION_GROUP& group = tables_.groups[i];
      const std::size_t width = sizeof(group.groupName);
      const std::string name = TextOf(group.groupName, width);
      const std::string who = "option group " + std::to_string(i) + " " +
                              Quoted(Shown(name)) + " (type " +
                              std::to_string(group.groupType) + ")";
      const auto add = [&](bool error, Rule rule, const std::string& problem) {
        Add(error, rule, Section::kOptionGroups, i, who + ": " + problem);
      };
      if (group.groupType <= 0) {
        add(true, Rule::kGroupTypeNotAboveZero,
            "type " + std::to_string(group.groupType) + " is not above 0");
      }
      if (!keys.insert({group.groupType, name}).second) {
        add(true, Rule::kGroupRepeated,
            "type and name already used by an earlier group");
      }
      if (name.size() == width) {
        add(true, Rule::kGroupNameUnterminated,
            "name runs to the end of its field without a NUL");
      }
      if (IsBlankName(name.c_str())) add(false, Rule::kBlankName, "blank name");
    }
  }

  void CheckFreeSlots(Section s) {
    const std::string table = TableName(s);
    const DirtyFreeSlots& dirty = tables_.dirty_free_slots[static_cast<int>(s)];
    for (const std::int32_t slot : dirty.listed) {
      Add(false, Rule::kDirtyFreeSlot, s, static_cast<std::size_t>(slot),
          table + " free slot " + std::to_string(slot) +
              " is not zero (a removed record's bytes)");
    }
    const std::int64_t unlisted =
        dirty.total - static_cast<std::int64_t>(dirty.listed.size());
    if (unlisted > 0) {
      Add(false, Rule::kMoreDirtyFreeSlots, s, 0,
          std::to_string(unlisted) + " more " + table +
              " free slots are not zero");
    }
  }

  std::string Shown(const std::string& text) const {
    return show_ ? show_(text) : text;
  }

  const FileTables& tables_;
  const ShowText& show_;
  std::vector<Finding> findings_;
};

// The size of the journal entry itself (a link is not followed); 0 when
// there is none.
std::uint64_t JournalSize(Env* env, const std::string& journal) {
  FileFacts facts;
  if (!env->EntryFacts(journal, &facts).ok()) return 0;
  return facts.size;
}

}  // namespace

std::vector<Finding> CheckTables(const FileTables& tables,
                                 const ShowText& show) {
  return Checker(tables, show).Run();
}

std::vector<Finding> CheckImage(const std::string& image,
                                const ShowText& show) {
  FileTables tables;
  Status s = DecodeImage(image, &tables);
  if (!s.ok()) return {{true, "header check: " + s.message(), Rule::kHeader}};
  return CheckTables(tables, show);
}

Status OpenForCheck(const Store& store, ConfigSession* session,
                    std::vector<Finding>* findings) {
  std::string journal;
  Status s = JournalOf(store.env, store.path, &journal);
  if (!s.ok()) return s;
  for (std::string& warning : FolderWarnings(store.env, store.path)) {
    findings->push_back({false, std::move(warning), Rule::kFolderWritable});
  }
  const bool had_journal = JournalSize(store.env, journal) > 0;
  const Status opened = session->Open(store, Access::kRead);
  if (!opened.ok() && !opened.IsCorrupt()) return opened;
  const std::uint64_t journal_left = JournalSize(store.env, journal);
  if (journal_left > 0) {
    // Every call fails until the journal fits the file or is removed.
    findings->push_back({true,
                         "journal " + journal + " (" +
                             std::to_string(journal_left) +
                             " bytes) is present: " + opened.message(),
                         Rule::kJournalLeft});
    return Status::OK();
  }
  if (had_journal) {
    findings->push_back({false,
                         "journal " + journal +
                             " of an interrupted change was resolved: the "
                             "file was rolled back, or the journal discarded "
                             "if it never reached the file",
                         Rule::kJournalResolved});
  }
  if (!opened.ok()) {
    findings->push_back(
        {true, "header check: " + opened.message(), Rule::kHeader});
  }
  return Status::OK();
}

Status CheckSession(ConfigSession& session, const ShowText& show,
                    std::vector<Finding>* findings) {
  FileTables tables;
  Status s = ReadTables(session, &tables);
  if (s.ok()) s = ScanFreeSlots(session, &tables);
  if (!s.ok()) return s;
  for (Finding& f : CheckTables(tables, show))
    findings->push_back(std::move(f));
  return s;
}

}  // namespace brellox
