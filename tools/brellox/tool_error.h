// How a command ends in failure: an exception carrying the exit code and the
// one line that main() prints on stderr.
#ifndef BRELLOX_TOOLS_BRELLOX_TOOL_ERROR_H_
#define BRELLOX_TOOLS_BRELLOX_TOOL_ERROR_H_

#include <stdexcept>
#include <string>

namespace brellox {
namespace tool {

enum ExitCode : int {
  kExitDone = 0,
  kExitRefused = 1,  // the library or the tool refused the request
  kExitUsage = 2,    // the command line is wrong
  kExitFile = 3,     // the file cannot be opened or fails the check
};

// What `brellox COMMAND --help` ends with.
constexpr const char kExitCodesHelp[] =
    "Exit codes: 0 done (diff: equal), 1 refused (diff: different), 2 usage "
    "error, 3 the file cannot be opened or fails the check. Every failure "
    "is one line on stderr.";

class ToolError : public std::runtime_error {
 public:
  ToolError(ExitCode code, const std::string& message)
      : std::runtime_error(message), code_(code) {}
  ExitCode code() const { return code_; }

 private:
  ExitCode code_;
};

[[noreturn]] inline void Refuse(const std::string& message) {
  throw ToolError(kExitRefused, message);
}
[[noreturn]] inline void UsageError(const std::string& message) {
  throw ToolError(kExitUsage, message);
}
[[noreturn]] inline void FileError(const std::string& message) {
  throw ToolError(kExitFile, message);
}

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_TOOL_ERROR_H_
