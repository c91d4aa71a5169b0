// Reading what the administrator gives as input: a regular file, or "-"
// for standard input, never more than a limit; and a line typed on the
// terminal without echo.
#ifndef BRELLOX_TOOLS_BRELLOX_INPUT_H_
#define BRELLOX_TOOLS_BRELLOX_INPUT_H_

#include <cstddef>
#include <string>

#include "platform/env.h"

namespace brellox {
namespace tool {

// The most an input may hold: far more than any backup of a real
// configuration, far less than would exhaust memory.
constexpr std::size_t kInputLimit = 256u << 20;

// The bytes of `name`: standard input for "-", else the regular file of
// that name (a FIFO, device or directory is refused with a file ToolError,
// without waiting on it). Refused beyond kInputLimit.
std::string ReadInput(Env* env, const std::string& name);

// Prints `prompt` on stderr and reads one line from standard input's
// terminal with echo switched off; the line end (and a carriage return
// before it) is not part of `*line`. False on end of input or when echo
// could not be switched off (no terminal).
bool ReadLineNoEcho(const std::string& prompt, std::string* line);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_INPUT_H_
