// The command line's mistakes in the tool's own words: one line each,
// naming the word that is wrong and what was expected, never echoing what
// might be a password.
#ifndef BRELLOX_TOOLS_BRELLOX_USAGE_H_
#define BRELLOX_TOOLS_BRELLOX_USAGE_H_

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace brellox {
namespace tool {

// The command words of `args` ("user add"), as far as they name commands
// of `app`. Throws a usage ToolError for a password given as an option, an
// unknown command (suggesting the nearest one) or a missing one.
std::string CheckCommandWords(const CLI::App& app,
                              const std::vector<std::string>& args);

// The usage message for a parse error of the command `command`.
std::string DescribeParseError(const CLI::ParseError& error,
                               const std::string& command);

// Ends every command's help with the global options and the exit codes.
void AddHelpFooters(CLI::App* app, const std::string& footer);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_USAGE_H_
