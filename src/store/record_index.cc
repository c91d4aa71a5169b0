#include "src/store/record_index.h"

#include <functional>

namespace brellox {

bool RecordIndexes::Find(const TableImage& table, RecordKeys keys,
                         std::string_view key, std::int32_t* index) const {
  std::lock_guard<std::mutex> hold(mutex_);
  Index* found = nullptr;
  for (Index& candidate : indexes_) {
    if (candidate.keys == keys) found = &candidate;
  }
  if (found == nullptr) {
    if (indexes_.size() < kMaxIndexesPerTable) {
      indexes_.push_back(Index{keys, false, {}, {}});
    }
    return false;
  }
  if (!found->built) BuildLocked(table, found);
  *index = Lookup(*found, key);
  return true;
}

void RecordIndexes::BuildLocked(const TableImage& table, Index* index) {
  KeyList& listed = index->listed;
  index->keys(table, &listed);
  std::size_t size = 16;
  while (size < 2 * listed.size()) size *= 2;
  index->slots.assign(size, -1);
  const std::size_t mask = size - 1;
  // In table order, so the first record of each key stays.
  for (std::size_t at = 0; at < listed.size(); ++at) {
    std::size_t slot = std::hash<std::string_view>()(listed[at].first) & mask;
    while (index->slots[slot] >= 0 &&
           listed[static_cast<std::size_t>(index->slots[slot])].first !=
               listed[at].first) {
      slot = (slot + 1) & mask;
    }
    if (index->slots[slot] < 0) {
      index->slots[slot] = static_cast<std::int32_t>(at);
    }
  }
  index->built = true;
}

std::int32_t RecordIndexes::Lookup(const Index& index, std::string_view key) {
  const std::size_t mask = index.slots.size() - 1;
  for (std::size_t slot = std::hash<std::string_view>()(key) & mask;;
       slot = (slot + 1) & mask) {
    const std::int32_t at = index.slots[slot];
    if (at < 0) return -1;
    const auto& listed = index.listed[static_cast<std::size_t>(at)];
    if (listed.first == key) return listed.second;
  }
}

}  // namespace brellox
