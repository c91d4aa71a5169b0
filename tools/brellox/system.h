// What the admin tool needs from the operating system beyond what platform/
// offers: its arguments in UTF-8. One implementation per system
// (system_posix.cc, system_windows.cc).
#ifndef BRELLOX_TOOLS_BRELLOX_SYSTEM_H_
#define BRELLOX_TOOLS_BRELLOX_SYSTEM_H_

#include <string>
#include <vector>

namespace brellox {
namespace tool {

// The program's arguments after its name, in UTF-8 whatever code page the
// system passed them in; also makes the console show UTF-8 output. An
// argument that has no UTF-8 form is a usage ToolError.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_SYSTEM_H_
