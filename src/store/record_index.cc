#include "src/store/record_index.h"

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
      indexes_.push_back(Index{keys, false, {}});
    }
    return false;
  }
  if (!found->built) BuildLocked(table, found);
  const auto hit = found->first.find(key);
  *index = hit == found->first.end() ? -1 : hit->second;
  return true;
}

std::vector<RecordKeys> RecordIndexes::Kinds() const {
  std::lock_guard<std::mutex> hold(mutex_);
  std::vector<RecordKeys> kinds;
  for (const Index& index : indexes_) kinds.push_back(index.keys);
  return kinds;
}

void RecordIndexes::Build(const TableImage& table, RecordKeys keys) const {
  std::lock_guard<std::mutex> hold(mutex_);
  for (Index& index : indexes_) {
    if (index.keys == keys) {
      if (!index.built) BuildLocked(table, &index);
      return;
    }
  }
  if (indexes_.size() >= kMaxIndexesPerTable) return;
  indexes_.push_back(Index{keys, false, {}});
  BuildLocked(table, &indexes_.back());
}

void RecordIndexes::BuildLocked(const TableImage& table, Index* index) const {
  KeyList listed;
  index->keys(table, &listed);
  index->first.reserve(listed.size());
  // In table order, so the first record of each key stays.
  for (const auto& [k, i] : listed) index->first.emplace(k, i);
  index->built = true;
}

}  // namespace brellox
