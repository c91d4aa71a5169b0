// How a command ends: the exit codes, and the exception that carries a
// failure's code, its kind and the one line that main() prints on stderr.
#ifndef BRELLOX_TOOLS_BRELLOX_TOOL_ERROR_H_
#define BRELLOX_TOOLS_BRELLOX_TOOL_ERROR_H_

#include <stdexcept>
#include <string>

#include "platform/status.h"
#include "src/store/result.h"

namespace brellox {
namespace tool {

enum ExitCode : int {
  kExitDone = 0,           // also: nothing needed changing
  kExitRefused = 1,        // a rule of the library or the tool refused it
  kExitUsage = 2,          // the command line is wrong
  kExitFile = 3,           // the file cannot be opened, is damaged, or
                           // fails the check
  kExitAlreadyExists = 4,  // the name is taken
  kExitNotFound = 5,       // the record named is not there
  kExitDiffers = 6,        // diff: the two differ
  kExitBusy = 7,           // the file stayed locked
  kExitChanged = 8,        // with --detailed-exitcodes: the file changed
};

// The exit code of a failure whose kind is the library's `result`; every
// failure's code but a usage error's comes from here.
inline ExitCode ExitCodeOf(brellox_result result) {
  switch (result) {
    case BRELLOX_OK:
      return kExitDone;
    case BRELLOX_REFUSED:
    case BRELLOX_INVALID_ARGUMENT:
      return kExitRefused;
    case BRELLOX_ALREADY_EXISTS:
      return kExitAlreadyExists;
    case BRELLOX_NOT_FOUND:
      return kExitNotFound;
    case BRELLOX_BUSY:
      return kExitBusy;
    case BRELLOX_FILE_MISSING:
    case BRELLOX_PERMISSION_DENIED:
    case BRELLOX_DAMAGED:
    case BRELLOX_IO_ERROR:
    case BRELLOX_NO_MEMORY:
      return kExitFile;
  }
  return kExitFile;
}

// The one table of exit codes, which `brellox COMMAND --help` ends with.
constexpr const char kExitCodesHelp[] =
    "Exit codes: 0 done (or nothing to change), 1 refused by a rule, 2 usage "
    "error, 3 the file cannot be opened or is damaged (check: it has "
    "errors), 4 already exists, 5 not found, 6 the two differ (diff), 7 "
    "busy: the file stayed locked, 8 changed (with --detailed-exitcodes). "
    "Every failure is one line on stderr (with --json, one JSON object).";

class ToolError : public std::runtime_error {
 public:
  // A failure of the library's kind `result`.
  ToolError(brellox_result result, const std::string& message)
      : std::runtime_error(message),
        code_(ExitCodeOf(result)),
        kind_(ResultName(result)) {}
  // A command line the tool cannot run.
  static ToolError Usage(const std::string& message) {
    return ToolError(kExitUsage, "usage", message);
  }

  ExitCode code() const { return code_; }
  // The kind's name, as the C interface's brellox_result_name gives it
  // ("not found"), or "usage".
  const char* kind() const { return kind_; }

 private:
  ToolError(ExitCode code, const char* kind, const std::string& message)
      : std::runtime_error(message), code_(code), kind_(kind) {}

  ExitCode code_;
  const char* kind_;
};

// Ends the command with a failure of the library's kind `result`.
[[noreturn]] inline void Fail(brellox_result result,
                              const std::string& message) {
  throw ToolError(result, message);
}
// Ends the command with the failure `status`, told as `message`.
[[noreturn]] inline void Fail(const Status& status,
                              const std::string& message) {
  Fail(ResultOf(status), message);
}
// A request that a rule of the tool refuses.
[[noreturn]] inline void Refuse(const std::string& message) {
  Fail(BRELLOX_REFUSED, message);
}
[[noreturn]] inline void UsageError(const std::string& message) {
  throw ToolError::Usage(message);
}
// A file that cannot be read or written, for a reason told only in
// `message`.
[[noreturn]] inline void FileError(const std::string& message) {
  Fail(BRELLOX_IO_ERROR, message);
}

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_TOOL_ERROR_H_
