// The JSON of an export (see doc/export_format.md) read back, as the
// library reads it (src/state/json_reader.h, src/state/backup_image.h),
// with its refusals thrown as the tool's.
#ifndef BRELLOX_TOOLS_BRELLOX_BACKUP_H_
#define BRELLOX_TOOLS_BRELLOX_BACKUP_H_

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>

#include "src/state/backup_image.h"
#include "tools/brellox/codec.h"

namespace brellox {
namespace tool {

using state::BackupHasPasswords;
using state::ImportRules;
using state::kExportFormatVersion;

// Parses `text` strictly (state::ParseStrictJson). False, with
// `*error_byte` where it stops, when it is not JSON at all; throws a
// refusal ToolError for the JSON an export never writes.
bool ParseBackup(const std::string& text, nlohmann::ordered_json* backup,
                 std::size_t* error_byte);

// state::ImageFromJson, its refusal thrown as a ToolError.
std::string ImageFromJson(const nlohmann::ordered_json& backup,
                          const Codec& codec, const ImportRules& rules);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_BACKUP_H_
