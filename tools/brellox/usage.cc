#include "tools/brellox/usage.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "tools/brellox/codec.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {
namespace {

constexpr const char kMoreHelp[] =
    "brellox help COMMAND (or brellox COMMAND --help) shows a command's "
    "options; man brellox is the manual; the export format and its JSON "
    "Schema are in " BRELLOX_DOC_DIR ".";

bool IsPasswordOption(const std::string& arg) {
  return arg == "--password" || arg.rfind("--password=", 0) == 0 ||
         arg == "-p" || arg == "--pass" || arg == "--pw";
}

std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                         diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The candidate nearest to `word`, if one is within two edits.
std::string Nearest(const std::string& word,
                    const std::vector<std::string>& candidates) {
  std::string nearest;
  std::size_t best = 3;
  for (const std::string& candidate : candidates) {
    const std::size_t distance = EditDistance(word, candidate);
    if (distance < best) {
      best = distance;
      nearest = candidate;
    }
  }
  return nearest;
}

// A word the parser would take for an option: not "-" (standard input)
// nor a negative number.
bool LooksLikeOption(const std::string& arg) {
  return arg.size() > 1 && arg[0] == '-' &&
         std::isdigit(static_cast<unsigned char>(arg[1])) == 0;
}

// The name an option word gives: "--name" of "--name=value", "-o" of
// "-ofile".
std::string OptionName(const std::string& arg) {
  if (arg.rfind("--", 0) == 0) return arg.substr(0, arg.find('='));
  return arg.substr(0, 2);
}

// The option `name` of `app` or of a command above it (an option of the
// whole tool may follow the command), or nullptr.
const CLI::Option* FindOption(const CLI::App* app, const std::string& name) {
  for (; app != nullptr; app = app->get_parent()) {
    for (const CLI::Option* option : app->get_options()) {
      if (!option->get_positional() && option->check_name(name)) {
        return option;
      }
    }
  }
  return nullptr;
}

// Whether the word after `arg`, the option `option`, is its value.
bool ValueFollows(const CLI::Option& option, const std::string& arg) {
  if (option.get_expected_max() == 0) return false;  // a flag
  if (arg.rfind("--", 0) == 0) return arg.find('=') == std::string::npos;
  return arg.size() == 2;  // "-o FILE", not "-oFILE"
}

[[noreturn]] void UnknownOption(const CLI::App& app, const std::string& name,
                                const std::string& command) {
  std::vector<std::string> known;
  std::string own;
  for (const CLI::App* at = &app; at != nullptr; at = at->get_parent()) {
    for (const CLI::Option* option : at->get_options()) {
      for (const std::string& lname : option->get_lnames()) {
        known.push_back("--" + lname);
        if (at == &app && lname != "help") {
          own += (own.empty() ? "" : ", ") + known.back();
        }
      }
    }
  }
  const std::string nearest = Nearest(name, known);
  std::string message = "unknown option " +
                        Quoted(HasControlCharacter(name) ? "?" : name) +
                        " for " + (command.empty() ? "brellox" : command);
  if (!nearest.empty()) {
    message += "; did you mean " + Quoted(nearest) + "?";
  } else if (!own.empty()) {
    message += "; its options are " + own;
  }
  UsageError(message);
}

std::string Names(const CLI::App& app) {
  std::string names;
  for (const CLI::App* sub : app.get_subcommands({})) {
    names += (names.empty() ? "" : ", ") + sub->get_name();
  }
  return names;
}

[[noreturn]] void UnknownCommand(const CLI::App& app, const std::string& word,
                                 const std::string& family) {
  std::vector<std::string> commands;
  for (const CLI::App* sub : app.get_subcommands({})) {
    commands.push_back(sub->get_name());
  }
  const std::string nearest = Nearest(word, commands);
  std::string message = "unknown " + family + "command " +
                        Quoted(HasControlCharacter(word) ? "?" : word);
  message += nearest.empty() ? "; the commands are " + Names(app)
                             : "; did you mean " + Quoted(nearest) + "?";
  UsageError(message);
}

std::string Before(const std::string& text, const std::string& marker) {
  const std::string::size_type at = text.find(marker);
  return at == std::string::npos ? std::string() : text.substr(0, at);
}

}  // namespace

std::vector<std::string> HelpCommandAsFlag(std::vector<std::string> args) {
  // Options of the whole tool may come first: --config F help user add.
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--config" || args[i] == "--encoding" ||
        args[i] == "--wait") {
      ++i;
      continue;
    }
    if (LooksLikeOption(args[i])) continue;
    if (args[i] == "help") {
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
      args.push_back("--help");
    }
    break;
  }
  return args;
}

std::string CheckCommandWords(const CLI::App& app,
                              const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (IsPasswordOption(arg)) {
      UsageError(
          "passwords are never taken on the command line, where "
          "other users can see them: pipe one line to "
          "--password-stdin, or answer the prompt");
    }
  }
  const CLI::App* current = &app;
  std::string command;
  bool leaf = app.get_subcommands({}).empty();
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") break;  // only arguments follow
    if (LooksLikeOption(arg)) {
      const std::string name = OptionName(arg);
      if (name == "--help" || name == "-h" || name == "--version") {
        return command;
      }
      const CLI::Option* option = FindOption(current, name);
      if (option == nullptr) UnknownOption(*current, name, command);
      if (ValueFollows(*option, arg)) ++i;
      continue;
    }
    if (leaf) continue;  // an argument of the command
    const CLI::App* sub = nullptr;
    for (const CLI::App* candidate : current->get_subcommands({})) {
      if (candidate->get_name() == arg) sub = candidate;
    }
    if (sub == nullptr) {
      UnknownCommand(*current, arg, command.empty() ? "" : command + " ");
    }
    command += (command.empty() ? "" : " ") + arg;
    current = sub;
    leaf = current->get_subcommands({}).empty();
  }
  if (!current->get_subcommands({}).empty()) {
    UsageError((command.empty() ? std::string("name a command")
                                : command + " needs a command") +
               ": " + Names(*current));
  }
  return command;
}

std::string DescribeParseError(const CLI::ParseError& error,
                               const std::string& command) {
  const std::string what = error.what();
  const std::string where = command.empty() ? "brellox" : command;
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
    // The extra words are not repeated: one may be a password typed where
    // it does not belong.
    return where + " got more arguments than it takes";
  }
  if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
    const std::string missing = Before(what, " is required");
    if (!missing.empty()) return where + " needs " + missing;
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
    const std::string option = Before(what, ":");
    if (!option.empty()) return option + " is given more than once";
  }
  return where + ": " + what;
}

void AddHelpFooters(CLI::App* app, const std::string& footer) {
  app->footer(footer + "\n" + kMoreHelp);
  for (CLI::App* sub : app->get_subcommands({})) AddHelpFooters(sub, footer);
}

std::string OpenFailureMessage(Env* env, const std::string& path,
                               const Status& opened) {
  if (opened.IsFileMissing() && !env->EntryExists(path)) {
    return path + " does not exist; create it with `brellox init`";
  }
  if (opened.IsCorrupt()) {
    // An export starts with its object; a configuration file never does
    // (its magic does).
    std::unique_ptr<RandomRWFile> file;
    char first = '\0';
    if (env->Open(path, OpenAccess::kReadOnly, &file).ok() &&
        file->Read(0, 1, &first).ok() && first == '{') {
      return path +
             " is an export, not a configuration file; restore it with "
             "`brellox --config FILE import " +
             path + "`";
    }
    return path + " fails the header check: " + opened.message();
  }
  if (opened.IsBusy()) return path + " is busy: " + opened.message();
  return "cannot open " + path + ": " + opened.message();
}

}  // namespace tool
}  // namespace brellox
