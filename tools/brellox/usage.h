// The command line's mistakes in the tool's own words: one line each,
// naming the word that is wrong and what was expected, never echoing what
// might be a password.
#ifndef BRELLOX_TOOLS_BRELLOX_USAGE_H_
#define BRELLOX_TOOLS_BRELLOX_USAGE_H_

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "platform/env.h"

namespace brellox {
namespace tool {

// `brellox help COMMAND...` as `brellox COMMAND... --help`; other
// arguments as they are.
std::vector<std::string> HelpCommandAsFlag(std::vector<std::string> args);

// The command words of `args` ("user add"), as far as they name commands
// of `app`. Throws a usage ToolError for a password given as an option, an
// unknown command or option (suggesting the nearest one) or a missing
// command.
std::string CheckCommandWords(const CLI::App& app,
                              const std::vector<std::string>& args);

// The usage message for a parse error of the command `command`.
std::string DescribeParseError(const CLI::ParseError& error,
                               const std::string& command);

// Ends every command's help with the global options and the exit codes,
// and says where the rest is: `brellox help COMMAND`, the manual page and
// the installed documents.
void AddHelpFooters(CLI::App* app, const std::string& footer);

// The one line that says why the configuration file at `path` could not be
// opened (`opened`): a missing file with how to create it, an export given
// in its place, a busy or damaged file.
std::string OpenFailureMessage(Env* env, const std::string& path,
                               const Status& opened);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_USAGE_H_
