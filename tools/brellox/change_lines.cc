#include "tools/brellox/change_lines.h"

#include <ostream>

namespace brellox {
namespace tool {

void PrintChangeLines(std::ostream& out, const nlohmann::ordered_json& changes) {
  for (const nlohmann::ordered_json& change : changes) {
    out << ChangeLine(change) << "\n";
  }
}

}  // namespace tool
}  // namespace brellox
