// The terminal behind standard input, for reading a secret without showing
// it.
#ifndef BRELLOX_PLATFORM_CONSOLE_H_
#define BRELLOX_PLATFORM_CONSOLE_H_

#include <memory>

namespace brellox {

// True when standard input is an interactive terminal (a console).
bool StdinIsTerminal();

// Switches off the echo of what is typed on standard input's terminal while
// it lives, and restores the terminal's settings when destroyed.
class StdinEchoOff {
 public:
  StdinEchoOff();
  ~StdinEchoOff();
  StdinEchoOff(const StdinEchoOff&) = delete;
  StdinEchoOff& operator=(const StdinEchoOff&) = delete;

  // False when echo could not be switched off (no terminal): then nothing
  // was changed.
  bool active() const { return saved_ != nullptr; }

 private:
  struct Saved;  // the terminal's settings before, one form per system
  std::unique_ptr<Saved> saved_;
};

}  // namespace brellox

#endif  // BRELLOX_PLATFORM_CONSOLE_H_
