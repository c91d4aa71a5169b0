#include <termios.h>
#include <unistd.h>

#include "platform/console.h"

namespace brellox {

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

struct StdinEchoOff::Saved {
  termios settings;
};

StdinEchoOff::StdinEchoOff() {
  termios settings;
  if (tcgetattr(STDIN_FILENO, &settings) != 0) return;
  termios quiet = settings;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0) return;
  saved_.reset(new Saved{settings});
}

StdinEchoOff::~StdinEchoOff() {
  if (saved_ != nullptr) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_->settings);
}

}  // namespace brellox
