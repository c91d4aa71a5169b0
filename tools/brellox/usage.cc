#include "tools/brellox/usage.h"

#include <algorithm>

#include "tools/brellox/codec.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {
namespace {

// Options of the whole tool that take a value.
bool TakesValue(const std::string& arg) {
  return arg == "--config" || arg == "--encoding";
}

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

std::string Names(const CLI::App& app) {
  std::string names;
  for (const CLI::App* sub : app.get_subcommands({})) {
    names += (names.empty() ? "" : ", ") + sub->get_name();
  }
  return names;
}

[[noreturn]] void UnknownCommand(const CLI::App& app, const std::string& word,
                                 const std::string& family) {
  std::string nearest;
  std::size_t best = 3;  // farther than two edits is no suggestion
  for (const CLI::App* sub : app.get_subcommands({})) {
    const std::size_t distance = EditDistance(word, sub->get_name());
    if (distance < best) {
      best = distance;
      nearest = sub->get_name();
    }
  }
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
  bool done = false;
  for (std::size_t i = 0; i < args.size() && !done; ++i) {
    const std::string& arg = args[i];
    if (TakesValue(arg)) {
      ++i;
      continue;
    }
    if (arg == "--help" || arg == "-h" || arg == "--version") return command;
    if (!arg.empty() && arg[0] == '-') continue;
    if (current->get_subcommands({}).empty()) break;
    const CLI::App* sub = nullptr;
    for (const CLI::App* candidate : current->get_subcommands({})) {
      if (candidate->get_name() == arg) sub = candidate;
    }
    if (sub == nullptr) {
      UnknownCommand(*current, arg, command.empty() ? "" : command + " ");
    }
    command += (command.empty() ? "" : " ") + arg;
    current = sub;
    done = current->get_subcommands({}).empty();
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
  app->footer(footer);
  for (CLI::App* sub : app->get_subcommands({})) AddHelpFooters(sub, footer);
}

}  // namespace tool
}  // namespace brellox
