// What the admin tool needs from the operating system beyond files: where
// the library's own configuration file is, password entry without echo, and
// conversion between the terminal's UTF-8 and the file's code page. One
// implementation per system (system_posix.cc; a Windows build supplies
// system_windows.cc with the same contracts).
#ifndef BRELLOX_TOOLS_BRELLOX_SYSTEM_H_
#define BRELLOX_TOOLS_BRELLOX_SYSTEM_H_

#include <memory>
#include <string>
#include <vector>

namespace brellox {
namespace tool {

// The path of "Svr_Config.CFG" beside the loaded brellox library, which the
// library created at load if it was missing. Empty when the system cannot
// say where the library was loaded from.
std::string LibraryConfigPath();

// The program's arguments after its name, in UTF-8 whatever code page the
// system passed them in; also makes the console show UTF-8 output.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// True when standard input is an interactive terminal.
bool StdinIsTerminal();

// Prints `prompt` on the terminal and reads one line from standard input
// with echo switched off (the line end is not part of the result). Returns
// false on end of input or when echo could not be switched off.
bool ReadPasswordNoEcho(const std::string& prompt, std::string* password);

// Converts byte strings from one character encoding to another.
class TextConverter {
 public:
  virtual ~TextConverter() = default;
  // Converts all of `input`. False, with `*output` unspecified, when
  // `input` holds a sequence that is invalid or has no equivalent in the
  // target encoding.
  virtual bool Convert(const std::string& input, std::string* output) = 0;

  // A converter from `from` to `to` (names as iconv knows them: "GBK",
  // "UTF-8", ...), or nullptr when the system does not know an encoding.
  static std::unique_ptr<TextConverter> Open(const std::string& from,
                                             const std::string& to);
};

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_SYSTEM_H_
