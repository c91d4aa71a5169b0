#include "tools/brellox/change_lines.h"

#include <ostream>
#include <string>

namespace brellox {
namespace tool {

void PrintChangeLines(std::ostream& out, const ChangeList& changes) {
  // Put together a block at a time: a large apply prints a line for each
  // of tens of thousands of records.
  constexpr std::size_t kBlockBytes = 64 * 1024;
  std::string block;
  for (const state::ChangeObject& change : changes) {
    state::AppendChangeLine(change, &block);
    block += '\n';
    if (block.size() >= kBlockBytes) {
      out << block;
      block.clear();
    }
  }
  out << block;
}

}  // namespace tool
}  // namespace brellox
