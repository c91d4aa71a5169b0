#include <windows.h>
#include <shellapi.h>

#include "platform/utf16.h"
#include "tools/brellox/system.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

// argv holds the arguments in the ANSI code page, which cannot hold every
// name; the wide command line can.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  SetConsoleOutputCP(CP_UTF8);
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> args(
      static_cast<std::size_t>(count > 1 ? count - 1 : 0));
  bool converted = true;
  for (int i = 1; i < count && converted; ++i) {
    converted = Utf16ToUtf8(wide[i], &args[static_cast<std::size_t>(i - 1)]);
  }
  LocalFree(wide);
  if (!converted) UsageError("an argument is not valid Unicode");
  return args;
}

}  // namespace tool
}  // namespace brellox
