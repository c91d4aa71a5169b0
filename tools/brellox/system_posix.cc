#include <dlfcn.h>
#include <iconv.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "brellox/brellox.h"
#include "src/store/format.h"
#include "tools/brellox/system.h"

namespace brellox {
namespace tool {

std::string LibraryConfigPath() {
  // The tool does not contain the exported functions itself, so the address
  // of one lies inside the loaded library and names its file.
  SVR_LONG (*exported)(char*, short) = &Svr_GetTempDir;
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(exported), &info) == 0 ||
      info.dli_fname == nullptr) {
    return std::string();
  }
  char* resolved = realpath(info.dli_fname, nullptr);
  if (resolved == nullptr) return std::string();
  std::string path(resolved);
  free(resolved);
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash + 1) + kConfigFileName;
}

// The terminal's arguments are UTF-8 already.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

namespace {

// Restores the terminal's settings when leaving scope, also on an exception.
class EchoOff {
 public:
  EchoOff() {
    if (tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (active_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;
  bool active() const { return active_; }

 private:
  termios saved_{};
  bool active_ = false;
};

class IconvConverter final : public TextConverter {
 public:
  explicit IconvConverter(iconv_t cd) : cd_(cd) {}
  ~IconvConverter() override { iconv_close(cd_); }

  bool Convert(const std::string& input, std::string* output) override {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // fresh shift state
    output->clear();
    std::string in = input;  // iconv wants a mutable input pointer
    char* in_ptr = in.empty() ? nullptr : &in[0];
    size_t in_left = in.size();
    char chunk[256];
    while (in_left > 0) {
      char* out_ptr = chunk;
      size_t out_left = sizeof(chunk);
      size_t done = iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left);
      output->append(chunk, sizeof(chunk) - out_left);
      // E2BIG only means the chunk is full; anything else is bad input.
      if (done == static_cast<size_t>(-1) && errno != E2BIG) return false;
      // glibc counts characters it could only approximate; those would not
      // convert back to the same bytes.
      if (done != static_cast<size_t>(-1) && done > 0) return false;
    }
    char* out_ptr = chunk;
    size_t out_left = sizeof(chunk);
    if (iconv(cd_, nullptr, nullptr, &out_ptr, &out_left) ==
        static_cast<size_t>(-1)) {
      return false;
    }
    output->append(chunk, sizeof(chunk) - out_left);
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

bool ReadPasswordNoEcho(const std::string& prompt, std::string* password) {
  std::cerr << prompt << std::flush;
  std::string line;
  bool got;
  {
    EchoOff echo_off;
    if (!echo_off.active()) return false;
    got = static_cast<bool>(std::getline(std::cin, line));
  }
  std::cerr << '\n';
  if (!got) return false;
  *password = line;
  return true;
}

std::unique_ptr<TextConverter> TextConverter::Open(const std::string& from,
                                                   const std::string& to) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return std::make_unique<IconvConverter>(cd);
}

}  // namespace tool
}  // namespace brellox
