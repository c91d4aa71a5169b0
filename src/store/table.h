// The logic shared by the four slotted tables (connections, GDBs, users,
// privileges): records in use fill slots [0, count) in the order they were
// added, free slots are zero, and a full table grows by two slots.
#ifndef BRELLOX_STORE_TABLE_H_
#define BRELLOX_STORE_TABLE_H_

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "src/store/buffer.h"
#include "src/store/config_file.h"
#include "src/store/format.h"
#include "src/store/record_index.h"

namespace brellox {

struct TableSpec {
  Section section;
  // The header's counter of issued IDs, or nullptr for a table whose records
  // carry no ID. An ID is a record's first four bytes.
  std::int32_t SVR_CFG_HEADER::*last_id;

  std::int32_t record_size() const { return RecordSize(section); }
};

extern const TableSpec kConnTable;
extern const TableSpec kGdbTable;
extern const TableSpec kUserTable;
extern const TableSpec kPrivTable;

// The records in use of one table, read in one read: a working copy, or a
// read-only view of an image the read cache keeps (Share).
class TableImage {
 public:
  TableImage() = default;
  TableImage(const TableImage&) = delete;
  TableImage& operator=(const TableImage&) = delete;

  // Reads the first min(limit, count) records of the session's table
  // (limit < 0: all of them).
  static Status Load(ConfigSession& session, const TableSpec& spec,
                     TableImage* image, std::int32_t limit = -1);

  // Makes `*image` (empty) a read-only view of the first min(limit, count)
  // records of `shared`, an image nobody changes any more, which it keeps
  // alive; its lookups use `shared`'s indexes. A view is read-only.
  static void Share(std::shared_ptr<const TableImage> shared,
                    std::int32_t limit, TableImage* image);

  std::int32_t count() const { return count_; }
  std::int32_t record_size() const { return record_size_; }
  const char* record(std::int32_t i) const {
    return records_ + i * record_size_;
  }
  // Record `i` to change, in an image Load read (never in a view).
  char* mutable_record(std::int32_t i) {
    return buffer_.data() + i * record_size_;
  }
  std::int32_t id(std::int32_t i) const {
    std::int32_t value;
    std::memcpy(&value, record(i), sizeof(value));
    return value;
  }

  // Index of the first record whose ID is `id`, or -1.
  std::int32_t FindId(std::int32_t id) const;

  // For a view of a shared image: true, with `*index` the first record that
  // `keys` files under `key` (-1 when none), once that kind of lookup is
  // indexed (RecordIndexes::Find). False otherwise: the caller scans.
  bool FindIndexed(RecordKeys keys, std::string_view key,
                   std::int32_t* index) const;

  // Removes record `index`: later records move down one place in order and
  // the freed place, still addressable as record(count()), becomes zeros.
  void Erase(std::int32_t index);

  // Removes every record for which `remove(record)` holds, in one pass: the
  // others close up in order and the freed places (still addressable past
  // count()) become zeros. Returns the index of the first removed record,
  // or count() when none was.
  std::int32_t EraseIf(const std::function<bool(const char*)>& remove);

 private:
  Buffer buffer_;
  const char* records_ = nullptr;  // buffer_'s, or the shared image's
  std::int32_t count_ = 0;
  std::int32_t record_size_ = 0;
  std::shared_ptr<const TableImage> shared_;
  RecordIndexes indexes_;  // used while this image is shared
};

// Empties `ids`, then appends the ID of every record in `image`, in order.
// Returns the number of IDs listed; 0, with `ids` empty, if the list could
// not hold them all.
SVR_LONG ListIds(const TableImage& image, CSmartArray<SVR_LONG>& ids);

// Appends `record` (record_size bytes) after the records in `in_use`, which
// must be the table's current records, growing the table when it is full.
// For a table with IDs the new record gets the next ID, which is stored in
// the header and in `*new_id`; Corrupt, with nothing written, when the
// table's ID counter is negative or not above every ID in the table, and
// Refused when it has reached the largest ID. Writes the new record, zeros
// in the free slots after it (only those not zero already), and the header;
// the session commits them.
Status AppendRecord(ConfigSession& session, const TableSpec& spec,
                    const TableImage& in_use, const void* record,
                    std::int32_t* new_id);

// How AppendRecords numbers the records it adds to a table with IDs.
enum class NewIds {
  kNext,     // each gets the next ID, as AppendRecord gives it
  kAsGiven,  // each keeps its own, which the counter then takes
};

// Appends the `n` records at `records` (n × record_size bytes) as `n`
// AppendRecord calls in a row would, with the same result to the byte (the
// table grows two slots at a time), but reading the table once and writing
// the records in one write. With NewIds::kAsGiven each record keeps the ID
// it carries: Refused, with nothing written, unless every ID is above the
// counter and above the one before it. `ids` (n entries, or nullptr)
// receives the IDs. The other refusals are AppendRecord's.
Status AppendRecords(ConfigSession& session, const TableSpec& spec,
                     const TableImage& in_use, const void* records,
                     std::int32_t n, NewIds numbering, std::int32_t* ids);

// Removes record `index` of `*in_use` (the table's current records): later
// records move down one slot in order, the freed last slot is cleared, the
// count drops by one and the header is written, when the session commits.
// `*in_use` follows suit.
// Precondition: 0 <= index < in_use->count().
Status RemoveRecord(ConfigSession& session, const TableSpec& spec,
                    TableImage* in_use, std::int32_t index);

// Removes every record of `*in_use` (the table's current records) for which
// `remove(record)` holds: the others close up in order, the freed slots are
// cleared, the count drops and the header is written, in one write from the
// first removed slot on, when the session commits. `*in_use` follows suit;
// `*removed` is how many went.
Status RemoveRecordsIf(ConfigSession& session, const TableSpec& spec,
                       TableImage* in_use,
                       const std::function<bool(const char*)>& remove,
                       std::int32_t* removed);

// Writes record `index` of `image` back to its slot.
Status WriteRecord(ConfigSession& session, const TableSpec& spec,
                   const TableImage& image, std::int32_t index);

}  // namespace brellox

#endif  // BRELLOX_STORE_TABLE_H_
