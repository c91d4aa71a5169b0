// Indexes over the records of a table image that no longer changes, built
// on demand, so that a call answered from memory looks a record up without
// scanning the table.
#ifndef BRELLOX_STORE_RECORD_INDEX_H_
#define BRELLOX_STORE_RECORD_INDEX_H_

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

namespace brellox {

class TableImage;

// Every (key, record index) pair that one kind of lookup can answer with,
// in table order; a key views the record's own bytes.
using KeyList = std::vector<std::pair<std::string_view, std::int32_t>>;

// Lists the keys of one kind of lookup over `table`, reserving room for one
// a record first (one allocation). The function itself names the kind: each
// has one index.
using RecordKeys = void (*)(const TableImage& table, KeyList* keys);

// At most this many kinds of lookup are indexed per table, each charged
// kIndexBytesPerRecord a record against the read cache's memory.
constexpr int kMaxIndexesPerTable = 2;
constexpr std::size_t kIndexBytesPerRecord = 64;

// The indexes of one table image. Thread-safe.
class RecordIndexes {
 public:
  RecordIndexes() = default;
  RecordIndexes(const RecordIndexes&) = delete;
  RecordIndexes& operator=(const RecordIndexes&) = delete;

  // Looks `key` up in the index of `keys` over `table`, the unchanging
  // image these indexes belong to: true, with `*index` the first record
  // filed under `key` (-1 when none is). False, with nothing built, the
  // first time a kind is asked for and for kinds beyond
  // kMaxIndexesPerTable: a table read for one call pays for no index, and
  // the caller scans as it would without one.
  bool Find(const TableImage& table, RecordKeys keys, std::string_view key,
            std::int32_t* index) const;

 private:
  struct Index {
    RecordKeys keys;
    bool built;
    // Every key in table order, and an open-addressing table of positions
    // in it (-1: empty) holding the first of each key: two allocations,
    // so that building and freeing cost little beside reading the table.
    KeyList listed;
    std::vector<std::int32_t> slots;
  };

  static void BuildLocked(const TableImage& table, Index* index);
  static std::int32_t Lookup(const Index& index, std::string_view key);

  mutable std::mutex mutex_;
  mutable std::vector<Index> indexes_;
};

}  // namespace brellox

#endif  // BRELLOX_STORE_RECORD_INDEX_H_
