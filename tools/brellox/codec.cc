#include "tools/brellox/codec.h"

#include <cstring>

#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

Codec::Codec(const std::string& encoding) : state::Codec(encoding) {
  if (!status().ok()) UsageError(status().message());
}

std::string Codec::FromUtf8(const std::string& utf8,
                            const std::string& what) const {
  std::string bytes;
  if (!TryFromUtf8(utf8, &bytes)) {
    Refuse(what + " " + Quoted(utf8) + " cannot be written in " + encoding());
  }
  if (bytes.find('\0') != std::string::npos) Refuse(what + " holds a NUL byte");
  return bytes;
}

void StoreField(char* field, std::size_t width, const std::string& text,
                std::size_t limit, const std::string& what) {
  if (text.size() > limit) {
    Refuse(what + " is " + std::to_string(text.size()) +
           " bytes in the file; " + "at most " + std::to_string(limit) +
           " fit");
  }
  if (text.find('\0') != std::string::npos) Refuse(what + " holds a NUL byte");
  std::memset(field, 0, width);
  std::memcpy(field, text.data(), text.size());
}

std::string FromHex(const std::string& hex, std::size_t limit,
                    const std::string& what) {
  std::string bytes;
  const Status s = state::FromHex(hex, limit, &bytes);
  if (!s.ok()) Refuse(what + " " + s.message());
  return bytes;
}

}  // namespace tool
}  // namespace brellox
