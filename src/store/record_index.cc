#include "src/store/record_index.h"

#include "src/store/table.h"

namespace brellox {

void IdKeys(const TableImage& table, KeyList* keys) {
  for (std::int32_t i = 0; i < table.count(); ++i) {
    keys->emplace_back(std::string_view(table.record(i), sizeof(std::int32_t)),
                       i);
  }
}

bool RecordIndexes::Find(const TableImage& table, RecordKeys keys,
                         std::string_view key, std::int32_t* index) const {
  std::lock_guard<std::mutex> hold(mutex_);
  Index* found = nullptr;
  for (Index& candidate : indexes_) {
    if (candidate.keys == keys) found = &candidate;
  }
  if (found == nullptr) {
    if (indexes_.size() < kMaxIndexesPerTable) {
      indexes_.push_back(Index{keys, false, {}});
    }
    return false;
  }
  if (!found->built) {
    KeyList listed;
    listed.reserve(static_cast<std::size_t>(table.count()));
    keys(table, &listed);
    found->first.reserve(listed.size());
    // In table order, so the first record of each key stays.
    for (const auto& [k, i] : listed) found->first.emplace(k, i);
    found->built = true;
  }
  const auto hit = found->first.find(key);
  *index = hit == found->first.end() ? -1 : hit->second;
  return true;
}

}  // namespace brellox
