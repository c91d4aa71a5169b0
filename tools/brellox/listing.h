// The tables of a snapshot, as text for people and as JSON arrays. Shared by
// `show` and each family's `list` command.
#ifndef BRELLOX_TOOLS_BRELLOX_LISTING_H_
#define BRELLOX_TOOLS_BRELLOX_LISTING_H_

#include <iosfwd>
#include <nlohmann/json_fwd.hpp>

#include "tools/brellox/codec.h"
#include "tools/brellox/snapshot.h"

namespace brellox {
namespace tool {

void PrintConns(std::ostream& out, const Snapshot& s, const Codec& codec);
void PrintGdbs(std::ostream& out, const Snapshot& s, const Codec& codec);
// Names only: passwords are never shown.
void PrintUsers(std::ostream& out, const Snapshot& s, const Codec& codec);
// Privileges of `user_id`, or of every user when it is 0.
void PrintPrivs(std::ostream& out, const Snapshot& s, const Codec& codec,
                std::int32_t user_id);
// The global option and then each group with its six slots.
void PrintOptions(std::ostream& out, const Snapshot& s, const Codec& codec);

nlohmann::ordered_json ConnsJson(const Snapshot& s, const Codec& codec);
nlohmann::ordered_json GdbsJson(const Snapshot& s, const Codec& codec);
nlohmann::ordered_json UsersJson(const Snapshot& s, const Codec& codec,
                                 bool with_passwords);
nlohmann::ordered_json PrivsJson(const Snapshot& s, std::int32_t user_id);
nlohmann::ordered_json GroupsJson(const Snapshot& s, const Codec& codec);

// The header's own fields: temp dir, ID counters and table capacities.
nlohmann::ordered_json HeaderJson(const Snapshot& s, const Codec& codec);

// The whole configuration: what `export` writes and `show --json` prints.
nlohmann::ordered_json ConfigJson(const Snapshot& s, const Codec& codec,
                                  bool with_passwords);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_LISTING_H_
