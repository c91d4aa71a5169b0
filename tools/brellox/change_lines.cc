#include "tools/brellox/change_lines.h"

#include <ostream>

namespace brellox {
namespace tool {

void PrintChangeLines(std::ostream& out, const ChangeList& changes) {
  for (const state::ChangeObject& change : changes) {
    out << ChangeLine(change) << "\n";
  }
}

}  // namespace tool
}  // namespace brellox
