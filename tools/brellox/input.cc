#include "tools/brellox/input.h"

#include <iostream>
#include <memory>

#include "platform/console.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {
namespace {

[[noreturn]] void TooLarge(const std::string& name) {
  Refuse(name + " is larger than " + std::to_string(kInputLimit >> 20) +
         " MiB, more than any backup");
}

std::string ReadStandardInput() {
  std::string bytes;
  char chunk[1 << 16];
  while (std::cin.read(chunk, sizeof(chunk)) || std::cin.gcount() > 0) {
    bytes.append(chunk, static_cast<std::size_t>(std::cin.gcount()));
    if (bytes.size() > kInputLimit) TooLarge("standard input");
  }
  return bytes;
}

}  // namespace

std::string ReadInput(Env* env, const std::string& name) {
  if (name == "-") return ReadStandardInput();
  std::unique_ptr<RandomRWFile> file;
  // The Env opens regular files only, and never waits for a FIFO's writer.
  Status s = env->Open(name, OpenAccess::kReadOnly, &file);
  std::uint64_t size = 0;
  if (s.ok()) s = file->Size(&size);
  if (!s.ok()) FileError("cannot read " + name + ": " + s.message());
  if (size > kInputLimit) TooLarge(name);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (size > 0) s = file->Read(0, bytes.size(), &bytes[0]);
  if (!s.ok()) FileError("cannot read " + name + ": " + s.message());
  return bytes;
}

bool ReadLineNoEcho(const std::string& prompt, std::string* line) {
  std::cerr << prompt << std::flush;
  std::string typed;
  bool got;
  {
    StdinEchoOff echo_off;
    if (!echo_off.active()) return false;
    got = static_cast<bool>(std::getline(std::cin, typed));
  }
  // The typed line end was not echoed either.
  std::cerr << '\n';
  if (!got) return false;
  // A Windows console ends the line with a carriage return too.
  if (!typed.empty() && typed.back() == '\r') typed.pop_back();
  *line = typed;
  return true;
}

}  // namespace tool
}  // namespace brellox
