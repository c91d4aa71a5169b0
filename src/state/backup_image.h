// A configuration file built from the JSON that `export` writes (see
// doc/export_format.md): the same IDs, ID counters, record order, table
// capacities, option types and values, with every free slot zero.
#ifndef BRELLOX_STATE_BACKUP_IMAGE_H_
#define BRELLOX_STATE_BACKUP_IMAGE_H_

#include <nlohmann/json.hpp>
#include <string>

#include "platform/status.h"
#include "src/state/codec.h"
#include "src/store/file_image.h"

namespace brellox {
namespace state {

// The version `export` writes in "formatVersion", the only one `import`
// reads.
constexpr int kExportFormatVersion = 1;

struct ImportRules {
  // Users without a "password" get an empty one instead of a refusal.
  bool allow_empty_passwords = false;
  // Connections, GDBs and users without an "id" get stand-ins (the lowest
  // IDs no record of their table carries) instead of a refusal.
  bool stand_in_ids = false;
};

// The file image for `backup`, in `*image`. Validates strictly and refuses
// (Refused), naming the first offending path ("users[2].id: ..."): unknown
// keys, values of the wrong JSON type, integers outside 32 bits or outside
// what the library stores (IDs and group types above 0, privilege values of
// 0 or more, counters from 0 up), texts longer than the library stores in
// their field, users without a password unless `rules` allow it, and
// whatever the integrity check finds an error in (repeated IDs, names or
// privilege pairs, an ID above its counter). Missing counters
// become the table's highest ID and missing capacities the count rounded up
// to an even number (at least 2). Never puts a password in a message.
Status ImageFromJson(const nlohmann::ordered_json& backup, const Codec& codec,
                     const ImportRules& rules, std::string* image);

// What ImageFromJson lays out, validated alike: the tables and the
// capacity of each table's slots.
Status TablesFromJson(const nlohmann::ordered_json& backup, const Codec& codec,
                      const ImportRules& rules, FileTables* tables,
                      SlotCapacities* capacities);

// True when every user in `backup` carries a "password".
bool BackupHasPasswords(const nlohmann::ordered_json& backup);

}  // namespace state
}  // namespace brellox

#endif  // BRELLOX_STATE_BACKUP_IMAGE_H_
