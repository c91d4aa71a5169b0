// Edits to one slotted table made on its records in memory: the table is
// read once, and its changed records go out in one write from the first
// changed slot, however many records change.
#ifndef BRELLOX_DESIRED_TABLE_EDIT_H_
#define BRELLOX_DESIRED_TABLE_EDIT_H_

#include <cstdint>
#include <vector>

#include "src/store/config_file.h"
#include "src/store/table.h"

namespace brellox {
namespace desired {

class TableEdit {
 public:
  // Reads the records in use of `spec`'s table in `session`.
  Status Load(ConfigSession& session, const TableSpec& spec);

  const TableImage& image() const { return image_; }

  // Record `index` (of the table as loaded) to change in place.
  char* Change(std::int32_t index);
  // Marks record `index` (of the table as loaded) to be removed.
  void Remove(std::int32_t index);
  // Marks every record for which `remove(record)` holds to be removed.
  template <class Predicate>
  void RemoveIf(Predicate remove) {
    for (std::int32_t i = 0; i < image_.count(); ++i) {
      if (remove(image_.record(i))) Remove(i);
    }
  }

  // Writes the changed records and closes up the removed ones (later
  // records move down in order, the freed slots become zeros), then
  // appends the `n` records at `added` (AppendRecords, with its numbering
  // and refusals; `ids` receives their IDs).
  Status Write(ConfigSession& session, const void* added, std::int32_t n,
               NewIds numbering, std::int32_t* ids);

 private:
  const TableSpec* spec_ = nullptr;
  TableImage image_;
  std::vector<bool> removed_;
  std::int32_t first_changed_ = -1;  // of the table as loaded; -1: none
};

}  // namespace desired
}  // namespace brellox

#endif  // BRELLOX_DESIRED_TABLE_EDIT_H_
