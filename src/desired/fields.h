// The fields after the ID of the records a state may give in part, by the
// key that names each in a state's JSON.
#ifndef BRELLOX_DESIRED_FIELDS_H_
#define BRELLOX_DESIRED_FIELDS_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "src/store/format.h"

namespace brellox {
namespace desired {

struct Field {
  const char* key;
  std::size_t offset;
  std::size_t width;
};

struct FieldList {
  const Field* fields;
  std::size_t count;
};

// Connections: name, info1, info2, info3, info4, fill. GDBs: name, details.
FieldList FieldsOf(const SVC_GDB_CONN_INFO*);
FieldList FieldsOf(const SVC_GDB_INFO*);

// Bit i of the result set when `given(fields[i].key)`.
template <class Given>
std::uint32_t GivenFields(FieldList list, Given given) {
  std::uint32_t bits = 0;
  for (std::size_t i = 0; i < list.count; ++i) {
    if (given(list.fields[i].key)) bits |= 1u << i;
  }
  return bits;
}

// Copies into `*want` each field of `have` whose bit `given` lacks.
template <class Record>
void TakeMissingFields(const Record& have, std::uint32_t given, Record* want) {
  const FieldList list = FieldsOf(static_cast<const Record*>(nullptr));
  for (std::size_t i = 0; i < list.count; ++i) {
    if ((given & (1u << i)) != 0) continue;
    const Field& f = list.fields[i];
    std::memcpy(reinterpret_cast<char*>(want) + f.offset,
                reinterpret_cast<const char*>(&have) + f.offset, f.width);
  }
}

}  // namespace desired
}  // namespace brellox

#endif  // BRELLOX_DESIRED_FIELDS_H_
