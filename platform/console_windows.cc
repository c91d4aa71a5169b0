#include <windows.h>
#include <io.h>

#include <cstdio>

#include "platform/console.h"

namespace brellox {

bool StdinIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

struct StdinEchoOff::Saved {
  HANDLE input;
  DWORD mode;
};

StdinEchoOff::StdinEchoOff() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(input, &mode)) return;
  if (!SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT))) {
    return;
  }
  saved_.reset(new Saved{input, mode});
}

StdinEchoOff::~StdinEchoOff() {
  if (saved_ != nullptr) SetConsoleMode(saved_->input, saved_->mode);
}

}  // namespace brellox
