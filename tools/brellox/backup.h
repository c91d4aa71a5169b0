// A configuration file built from the JSON that `export` writes: the same
// IDs, ID counters, record order, table capacities, option types and values,
// with every free slot zero.
#ifndef BRELLOX_TOOLS_BRELLOX_BACKUP_H_
#define BRELLOX_TOOLS_BRELLOX_BACKUP_H_

#include <string>

#include <nlohmann/json.hpp>

#include "tools/brellox/codec.h"

namespace brellox {
namespace tool {

// The file image for `backup`. Missing counters become the table's highest
// ID and missing capacities the count rounded up to an even number (at
// least 2). Throws a refusal ToolError for a backup that is malformed or
// would give a file with errors under `check` (repeated IDs or names, IDs
// above their counters, names without room for a NUL, ...).
std::string ImageFromJson(const nlohmann::ordered_json& backup, const Codec& codec);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_BACKUP_H_
