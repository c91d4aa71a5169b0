// The one-line form in which diff, import --dry-run and apply print the
// library's change objects (src/state/change_objects.h).
#ifndef BRELLOX_TOOLS_BRELLOX_CHANGE_LINES_H_
#define BRELLOX_TOOLS_BRELLOX_CHANGE_LINES_H_

#include <iosfwd>
#include <nlohmann/json.hpp>

#include "src/state/change_objects.h"

namespace brellox {
namespace tool {

using state::AddedChange;
using state::AddFieldChanges;
using state::ChangeLine;
using state::ChangeList;
using state::ChangesToJson;
using state::PasswordChange;
using state::RemovedChange;

// One line per change.
void PrintChangeLines(std::ostream& out, const ChangeList& changes);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_CHANGE_LINES_H_
