#include "tools/brellox/system.h"

namespace brellox {
namespace tool {

// The terminal's arguments are UTF-8 already.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace tool
}  // namespace brellox
