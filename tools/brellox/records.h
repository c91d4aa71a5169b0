// The records of the file as JSON and as text for people, and option values
// parsed by their stored type. The JSON forms are those of `export` (see
// doc/export_format.md), and `import` reads them back to the same bytes
// (texts up to their NUL; fixed binary fields as hex with trailing zero
// bytes left out).
#ifndef BRELLOX_TOOLS_BRELLOX_RECORDS_H_
#define BRELLOX_TOOLS_BRELLOX_RECORDS_H_

#include <nlohmann/json_fwd.hpp>
#include <string>

#include "src/store/format.h"
#include "tools/brellox/codec.h"

namespace brellox {
namespace tool {

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
// The type code of a name OptionTypeName gives (or a bare number); throws a
// usage ToolError for anything else.
unsigned char ParseOptionType(const std::string& name);
// The type code of a name OptionTypeName gives; false for other names.
bool OptionTypeFromName(const std::string& name, unsigned char* type);

// The option's value for people.
std::string OptionValueText(const CONFIG_OPTION& option, const Codec& codec);

// Puts `text`, parsed as a value of `type`, into `option->value` (the other
// bytes of the value zero). Throws a refusal ToolError naming `what` when
// it does not parse or fit, or `type` holds no value.
void ParseOptionValue(unsigned char type, const std::string& text,
                      const Codec& codec, const std::string& what,
                      CONFIG_OPTION* option);

// Hex of the bytes up to the last non-zero one.
std::string TrimmedHex(const void* data, std::size_t size);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_RECORDS_H_
