// What the admin tool needs from the operating system beyond what platform/
// offers: its arguments in UTF-8, who it runs as, its environment, and
// conversion between the terminal's UTF-8 and the file's code page. One
// implementation per system (system_posix.cc, system_windows.cc).
#ifndef BRELLOX_TOOLS_BRELLOX_SYSTEM_H_
#define BRELLOX_TOOLS_BRELLOX_SYSTEM_H_

#include <memory>
#include <string>
#include <vector>

namespace brellox {
namespace tool {

// The program's arguments after its name, in UTF-8 whatever code page the
// system passed them in; also makes the console show UTF-8 output. An
// argument that has no UTF-8 form is a usage ToolError.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Who files name as their owner when this process made them
// (FileFacts::owner): the effective user ID in decimal on POSIX, the
// process's user SID on Windows; empty when it cannot be told.
std::string CallerIdentity();

// The value of the environment variable `name`, in UTF-8 on Windows; false
// when it is not set.
bool EnvironmentVariable(const std::string& name, std::string* value);

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
