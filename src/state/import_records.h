// The records of an export's JSON (see doc/export_format.md) read back into
// the file's records: each value of its JSON type, within 32 bits and
// within what the library stores (IDs above 0, privilege values of 0 or
// more, texts that fit their field, no blank names). Every refusal is
// recorded in the node's ReadProblem, naming the first offending path
// ("users[2].id: ..."), and never a text of the JSON: it may be a password.
#ifndef BRELLOX_STATE_IMPORT_RECORDS_H_
#define BRELLOX_STATE_IMPORT_RECORDS_H_

#include <cstddef>
#include <cstring>
#include <string>

#include "src/store/format.h"
#include "src/state/codec.h"
#include "src/state/json_reader.h"

namespace brellox {
namespace state {

// A record without an "id" gets `stand_in` when it is not 0, else is
// refused.
SVC_GDB_CONN_INFO ConnFromJson(const Node& n, const Codec& codec,
                               std::int32_t stand_in);
SVC_GDB_INFO GdbFromJson(const Node& n, const Codec& codec,
                         std::int32_t stand_in);
// A user without a "password" gets an empty one when `allow_empty_password`,
// else is refused.
SVR_USER_REC UserFromJson(const Node& n, const Codec& codec,
                          bool allow_empty_password, std::int32_t stand_in);
SVR_USER_PRIV PrivFromJson(const Node& n);
// `text_limit`: the longest text value the library stores in that option.
CONFIG_OPTION OptionFromJson(const Node& n, const Codec& codec,
                             std::size_t text_limit);
SVR_OPTION_GROUP GroupFromJson(const Node& n, const Codec& codec);

// Puts `bytes` (at most N) into a text field, NUL-padded.
template <std::size_t N>
void PutText(char (&field)[N], const std::string& bytes) {
  std::memset(field, 0, N);
  std::memcpy(field, bytes.data(), bytes.size());
}

}  // namespace state
}  // namespace brellox

#endif  // BRELLOX_STATE_IMPORT_RECORDS_H_
