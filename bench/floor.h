// Floors: each benchmarked call done with only the system calls a safe call
// cannot avoid, and the least work between them.
//
//   read:   open, lock, journal check, read the header, read the table into
//           a buffer reused from call to call, scan it (one pass over each
//           name), close;
//   change: the same, opened for writing and locked exclusively, then the
//           journal (written and synced), the changed records and the
//           header (one write where they touch), a sync of the file, and
//           the journal truncated and synced (fdatasync each time).
//
// A change writes exactly what the file format makes it change: the new
// record, the header, and for a full table the two new slots and every
// table behind it moved. No size query: the header's layout gives the size.
#ifndef BRELLOX_BENCH_FLOOR_H_
#define BRELLOX_BENCH_FLOOR_H_

#include <cstdint>
#include <string>
#include <vector>

#include "bench/floor_io.h"
#include "brellox/brellox.h"

namespace brellox {
namespace bench {

class Floor {
 public:
  explicit Floor(std::string path, Guards guards = {});

  // The results of the library's functions of the same names.
  SVR_LONG CheckUser(const char* name, const char* password);
  SVR_LONG GetUser(std::int32_t id, char* name, std::size_t len);
  SVR_LONG GetConn(std::int32_t id, SVC_GDB_CONN_INFO* info);
  SVR_LONG GetGDBID(const char* name, std::int32_t* id);
  SVR_LONG AddUser(const char* name, const char* password);
  SVR_LONG AddGDB(const SVC_GDB_INFO& info);
  SVR_LONG DelUser(std::int32_t id);
  // Sets option `index` of the group (type, name), by its stored type.
  SVR_LONG SetOptionInfo(const char* name, std::int32_t type, int index,
                         const CONFIG_OPTION& option);

  const FloorCounts& counts() const { return counts_; }
  void ResetCounts() { counts_ = FloorCounts{}; }

 private:
  bool Open(bool write, FloorFile* file);
  // Reads `slots` records of table `section` into table_.
  bool ReadTable(FloorFile& file, Section section, std::int32_t slots);
  // The index of the first record in table_ whose name field (at byte 4,
  // `width` bytes) is `name`, or -1.
  std::int32_t FindName(Section section, std::int32_t count, std::size_t width,
                        const char* name) const;
  std::int32_t FindId(Section section, std::int32_t count,
                      std::int32_t id) const;
  SVR_LONG Append(Section section, std::int32_t SVR_CFG_HEADER::*last_id,
                  const char* record, std::size_t name_width);

  const std::string path_;
  const std::string journal_path_;
  const std::string file_name_;
  const Guards guards_;
  FloorCounts counts_;
  // Reused from call to call, as a per-thread buffer would be.
  std::vector<char> table_;
  std::vector<char> moved_;
  std::string journal_;
  std::vector<Span> writes_;
};

}  // namespace bench
}  // namespace brellox

#endif  // BRELLOX_BENCH_FLOOR_H_
