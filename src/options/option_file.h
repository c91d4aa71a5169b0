// Reading and writing the global option and the option-group table within
// one call's open file.
#ifndef BRELLOX_OPTIONS_OPTION_FILE_H_
#define BRELLOX_OPTIONS_OPTION_FILE_H_

#include <cstdint>

#include "brellox/brellox.h"
#include "src/store/config_file.h"
#include "src/store/format.h"
#include "src/store/table.h"

namespace brellox {

// Reads the global option (353 bytes at offset 428) into `*record`, which is
// left as it was on failure.
Status ReadGlobalOption(ConfigSession& session, CONFIG_OPTION* record);

// Reads the global option, takes the value of `source` into it by the stored
// type (CopyOptionValues, one record) and writes the 353 bytes back.
Status WriteGlobalOption(ConfigSession& session, const CONFIG_OPTION& source);

// Looks for the first group, from record 0 up, whose groupType is
// `groupType` and whose groupName (read within its 32 bytes) is `name`.
// On success `*index` is its position and `*group` a copy of it, or `*index`
// is -1 (and `*group` untouched) when no group matches. The table is read in
// one read.
Status FindOptionGroup(ConfigSession& session, std::int32_t groupType,
                       const char* name, std::int32_t* index,
                       SVR_OPTION_GROUP* group);

// The option-group table, for reading it whole as a TableImage (its records
// carry no ID).
extern const TableSpec kOptionGroupTable;

// As FindOptionGroup, among the records of `groups` (kOptionGroupTable).
void FindOptionGroupIn(const TableImage& groups, std::int32_t groupType,
                       const char* name, std::int32_t* index,
                       SVR_OPTION_GROUP* group);

// Writes `group` over the record at position `index` of the table.
Status WriteOptionGroup(ConfigSession& session, std::int32_t index,
                        const SVR_OPTION_GROUP& group);

// Writes `group` after the last record (the end of the file), then the
// header with one more group. Refused when the file would pass the 2 GiB
// that the format's 32-bit offsets can address.
Status AppendOptionGroup(ConfigSession& session, const SVR_OPTION_GROUP& group);

// As `n` AppendOptionGroup calls in a row, in one write.
Status AppendOptionGroups(ConfigSession& session,
                          const SVR_OPTION_GROUP* groups, std::int32_t n);

}  // namespace brellox

#endif  // BRELLOX_OPTIONS_OPTION_FILE_H_
