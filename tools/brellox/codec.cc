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

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string FromHex(const std::string& hex, std::size_t limit,
                    const std::string& what) {
  if (hex.size() % 2 != 0) Refuse(what + " has an odd number of hex digits");
  if (hex.size() / 2 > limit) {
    Refuse(what + " is " + std::to_string(hex.size() / 2) + " bytes; at most " +
           std::to_string(limit) + " fit");
  }
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexValue(hex[i]);
    const int low = HexValue(hex[i + 1]);
    if (high < 0 || low < 0)
      Refuse(what + " holds a character that is not hex");
    bytes += static_cast<char>(high * 16 + low);
  }
  return bytes;
}

}  // namespace tool
}  // namespace brellox
