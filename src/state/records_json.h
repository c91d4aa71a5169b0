// The records of the file as JSON: the forms of `export` (see
// doc/export_format.md), which `import` reads back to the same bytes (texts
// up to their NUL; fixed binary fields as hex with trailing zero bytes left
// out), and in which apply and diff describe changes.
#ifndef BRELLOX_STATE_RECORDS_JSON_H_
#define BRELLOX_STATE_RECORDS_JSON_H_

#include <nlohmann/json_fwd.hpp>
#include <string>

#include "src/state/codec.h"
#include "src/store/format.h"

namespace brellox {
namespace state {

nlohmann::ordered_json ConnToJson(const SVC_GDB_CONN_INFO& conn,
                                  const Codec& codec);
nlohmann::ordered_json GdbToJson(const SVC_GDB_INFO& gdb, const Codec& codec);
nlohmann::ordered_json UserToJson(const SVR_USER_REC& user, const Codec& codec,
                                  bool with_password);
nlohmann::ordered_json PrivToJson(const SVR_USER_PRIV& priv);
nlohmann::ordered_json OptionToJson(const CONFIG_OPTION& option,
                                    const Codec& codec);
nlohmann::ordered_json GroupToJson(const SVR_OPTION_GROUP& group,
                                   const Codec& codec);

// "text", "integer", "double", "block", or "type N" for a code that holds
// no value.
std::string OptionTypeName(unsigned char type);
// The type code of a name OptionTypeName gives; false for other names.
bool OptionTypeFromName(const std::string& name, unsigned char* type);

// Hex of the bytes up to the last non-zero one.
std::string TrimmedHex(const void* data, std::size_t size);

}  // namespace state
}  // namespace brellox

#endif  // BRELLOX_STATE_RECORDS_JSON_H_
