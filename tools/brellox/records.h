// The records of the file as text for people, and option values parsed by
// their stored type; their JSON forms are the library's
// (src/state/records_json.h).
#ifndef BRELLOX_TOOLS_BRELLOX_RECORDS_H_
#define BRELLOX_TOOLS_BRELLOX_RECORDS_H_

#include <string>

#include "src/state/records_json.h"
#include "src/store/format.h"
#include "tools/brellox/codec.h"

namespace brellox {
namespace tool {

using state::ConnToJson;
using state::GdbToJson;
using state::GroupToJson;
using state::OptionToJson;
using state::OptionTypeFromName;
using state::OptionTypeName;
using state::PrivToJson;
using state::TrimmedHex;
using state::UserToJson;

// The type code of a name OptionTypeName gives (or a bare number); throws a
// usage ToolError for anything else.
unsigned char ParseOptionType(const std::string& name);

// The option's value for people.
std::string OptionValueText(const CONFIG_OPTION& option, const Codec& codec);

// Puts `text`, parsed as a value of `type`, into `option->value` (the other
// bytes of the value zero). Throws a refusal ToolError naming `what` when
// it does not parse or fit, or `type` holds no value.
void ParseOptionValue(unsigned char type, const std::string& text,
                      const Codec& codec, const std::string& what,
                      CONFIG_OPTION* option);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_RECORDS_H_
