// The connection table and the GDB table are twins: fixed-size records that
// start with an ID issued from a header counter, followed by a 32-byte name
// that is unique in the table. TwinTable<Description> holds their shared
// operations once; a description names the record type, the table's
// TableSpec and the count's failure result.
//
// Each operation has two forms. The Status form works inside a session the
// caller opened (and commits), says why it refused or failed, and changes
// nothing then. The SVR_LONG form opens the file once (ConfigSession), runs
// the Status form and gives the exported function's result; its failure
// results are 0 unless stated otherwise. Records always travel whole, every
// byte as the caller gave it.
#ifndef BRELLOX_SOURCES_TWIN_TABLE_H_
#define BRELLOX_SOURCES_TWIN_TABLE_H_

#include "brellox/brellox.h"
#include "src/store/store.h"
#include "src/store/table.h"

namespace brellox {

struct ConnTableDescription {
  using Record = SVC_GDB_CONN_INFO;
  static const TableSpec& spec() { return kConnTable; }
  static constexpr SVR_LONG kCountFailure = 0;
  static constexpr const char* kNoun = TableName(Section::kConns);
};

struct GdbTableDescription {
  using Record = SVC_GDB_INFO;
  static const TableSpec& spec() { return kGdbTable; }
  static constexpr SVR_LONG kCountFailure = -1;
  static constexpr const char* kNoun = TableName(Section::kGdbs);
};

// Width of the name field that follows the ID in both record types.
constexpr std::size_t kTwinNameWidth = 32;

template <class Description>
class TwinTable {
 public:
  using Record = typename Description::Record;

  // Appends a copy of `record` under the next ID (the caller's ID is
  // ignored), stored in `*id`, growing the table when it is full.
  // InvalidArgument: "name is blank"; AlreadyExists: "NOUN 'NAME' already
  // exists"; the ID counter's refusals (AppendRecord) pass through.
  static Status Add(ConfigSession& session, const Record& record,
                    std::int32_t* id);

  // Replaces the record whose ID is `record.id`, whole. NotFound: "no NOUN
  // with ID N"; AlreadyExists: another record has that name.
  static Status Update(ConfigSession& session, const Record& record);

  // Removes the first record with this ID; later records move down one slot
  // in order and the freed slot is cleared. InvalidArgument: an ID <= 0;
  // NotFound: no record has it.
  static Status Remove(ConfigSession& session, std::int32_t id);

  // The first record with ID `id`, or the first named `name`: NotFound
  // "no NOUN with ID N" / "no NOUN 'NAME'".
  static Status Find(ConfigSession& session, std::int32_t id, Record* record);
  static Status FindByName(ConfigSession& session, const char* name,
                           Record* record);

  // The lookups of calls that only read, on `store`, answered from the
  // read cache when it holds the table (ReadTable): the Status forms behind
  // the exported lookups and their C forms. They fail as the session forms
  // above and as ReadTable.
  static Status Find(const Store& store, std::int32_t id, Record* record);
  static Status FindByName(const Store& store, const char* name,
                           Record* record);

  // The number of records in use, read as the lookups read the table
  // (CountRecords); Description::kCountFailure when the file cannot be
  // opened, its header is inconsistent or the table cannot be read.
  static SVR_LONG Count(const Store& store);

  // `id` <= 0: 0, `record` untouched. Otherwise `record` is zeroed first and
  // receives the first record with this ID: 1 when found, else 0.
  static SVR_LONG Get(const Store& store, SVR_LONG id, Record& record);

  // NULL `records` or `count` <= 0: 0, nothing touched. Otherwise `count`
  // records are zeroed first and the first min(count, records in use) are
  // copied in: 1 (also for an empty table), 0 when the table can't be read.
  static SVR_LONG GetAll(const Store& store, Record* records, SVR_LONG count);

  // Empties `ids` first, then lists every record's ID in table order.
  // Returns the number listed (0 with `ids` empty when the table can't be
  // read).
  static SVR_LONG GetIds(const Store& store, CSmartArray<SVR_LONG>& ids);

  // 1 when a record in use has exactly the name `name` (NUL-terminated);
  // 0 for NULL or no such record.
  static SVR_LONG Exists(const Store& store, const char* name);

  // The Status forms above in one session each: Add returns the new ID,
  // Update 1, Remove 1 also when no record has the ID; each 0 when refused
  // or failed, with the file unchanged.
  static SVR_LONG Add(const Store& store, const Record& record);
  static SVR_LONG Update(const Store& store, const Record& record);
  static SVR_LONG Remove(const Store& store, SVR_LONG id);
};

extern template class TwinTable<ConnTableDescription>;
extern template class TwinTable<GdbTableDescription>;

using ConnTable = TwinTable<ConnTableDescription>;
using GdbTable = TwinTable<GdbTableDescription>;

// The name field of a twin record (`record` + 4): its text runs to the first
// NUL or fills all 32 bytes.
inline const char* TwinName(const char* record) { return record + 4; }

// Index of the first record of `image` (a twin table) named exactly `name`,
// or -1.
std::int32_t FindTwinName(const TableImage& image, const char* name);

}  // namespace brellox

#endif  // BRELLOX_SOURCES_TWIN_TABLE_H_
