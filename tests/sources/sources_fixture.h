// SourcesFixture: a default configuration file plus ways to fill the
// connection and GDB tables and to fill the tables behind them with
// recognisable records, so tests can see that those records survive.
#ifndef BRELLOX_TESTS_SOURCES_SOURCES_FIXTURE_H_
#define BRELLOX_TESTS_SOURCES_SOURCES_FIXTURE_H_

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "src/sources/sources.h"
#include "src/sources/twin_table.h"
#include "src/store/format.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {

// What the tests expect of each twin table, stated apart from the table's
// own description: where it lies and what a count of a missing file gives.
template <class Table>
struct Expected;
template <>
struct Expected<ConnTable> {
  static constexpr Section kSection = Section::kConns;
  static constexpr SVR_LONG kMissingFileCount = 0;
};
template <>
struct Expected<GdbTable> {
  static constexpr Section kSection = Section::kGdbs;
  static constexpr SVR_LONG kMissingFileCount = -1;
};

// The bytes of a record, for comparing whole records.
template <class Record>
std::string Bytes(const Record& record) {
  return std::string(reinterpret_cast<const char*>(&record), sizeof(record));
}

// A record named `name` (bounded to the field) whose other bytes, the ID
// included, are all `fill`.
template <class Record>
Record MakeRecord(const std::string& name, char fill) {
  Record record;
  std::memset(&record, fill, sizeof(record));
  std::memset(record.name, 0, sizeof(record.name));
  std::memcpy(record.name, name.data(),
              std::min(name.size(), sizeof(record.name)));
  return record;
}

class SourcesFixture : public StoreFixture {
 protected:
  // Adds `n` records named prefix + number, each filled with its own byte;
  // returns their IDs (0 for a refused add).
  template <class Table>
  std::vector<SVR_LONG> AddRecords(int n, const std::string& prefix) {
    std::vector<SVR_LONG> ids;
    for (int i = 0; i < n; ++i) {
      const auto record = MakeRecord<typename Table::Record>(
          prefix + std::to_string(serial_),
          static_cast<char>('A' + serial_ % 50));
      ++serial_;
      ids.push_back(Table::Add(store(), record));
    }
    return ids;
  }
  std::vector<SVR_LONG> AddConns(int n) {
    return AddRecords<ConnTable>(n, "conn");
  }
  std::vector<SVR_LONG> AddGdbs(int n) {
    return AddRecords<GdbTable>(n, "gdb");
  }

  // Puts three users, three privilege values and two option groups of
  // recognisable bytes into the tables behind the GDB table.
  void FillLaterTables();

  // The records in use of the user, privilege and option-group tables.
  std::string LaterTablesBytes() const;

  // The slots of `s`: all `capacity` of them.
  std::string TableSlots(Section s) const;
  // The records in use of `s`.
  std::string RecordsInUse(Section s) const;

 private:
  int serial_ = 0;
};

}  // namespace test
}  // namespace brellox

#endif  // BRELLOX_TESTS_SOURCES_SOURCES_FIXTURE_H_
