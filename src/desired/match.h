// Pairing the records of two tables by key: by name when servers that
// added the same records in another order are compared or brought to one
// state, by ID when a file is compared with its own past.
#ifndef BRELLOX_DESIRED_MATCH_H_
#define BRELLOX_DESIRED_MATCH_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "brellox/brellox.h"
#include "src/store/format.h"

namespace brellox {
namespace desired {

// What becomes of one record in a KeyMatch.
constexpr std::int32_t kUnpaired = -1;  // the other side has no such key
constexpr std::int32_t kRepeat = -2;    // an earlier record of its side has it

// The pairs of two key lists, `have` and `want`: the first record of each
// key on one side pairs with the first of that key on the other. Linear in
// the number of records.
struct KeyMatch {
  // Per record of `have`: the index in `want` of its partner, kUnpaired or
  // kRepeat.
  std::vector<std::int32_t> want_of;
  // Per record of `want`: the index in `have` of its partner, kUnpaired or
  // kRepeat.
  std::vector<std::int32_t> have_of;
};
KeyMatch MatchKeys(const std::vector<std::string>& have,
                   const std::vector<std::string>& want);
KeyMatch MatchKeys(const std::vector<std::uint64_t>& have,
                   const std::vector<std::uint64_t>& want);

// The bytes of a fixed-width text field, up to its first NUL.
std::string FieldBytes(const char* field, std::size_t width);

// The key of a record matched by name: connections, GDBs and users by their
// name field, option groups by type and name. (Privileges pair by their
// user's name and privilege ID, as 64-bit keys the plan makes.)
std::string NameKey(const SVC_GDB_CONN_INFO& record);
std::string NameKey(const SVC_GDB_INFO& record);
std::string NameKey(const SVR_USER_REC& record);
std::string GroupKey(const SVR_OPTION_GROUP& group);

// The keys of a whole table.
template <class Record, class Key>
std::vector<std::string> KeysOf(const std::vector<Record>& records, Key key) {
  std::vector<std::string> keys;
  keys.reserve(records.size());
  for (const Record& record : records) keys.push_back(key(record));
  return keys;
}

}  // namespace desired
}  // namespace brellox

#endif  // BRELLOX_DESIRED_MATCH_H_
