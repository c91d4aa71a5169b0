#include "src/store/text.h"

#include <cstring>

namespace brellox {

std::size_t FieldLength(const char* field, std::size_t width) {
  const void* nul = std::memchr(field, '\0', width);
  return nul == nullptr ? width : static_cast<const char*>(nul) - field;
}

bool FieldEqualsConstantTime(const char* field, std::size_t width,
                             const char* text) {
  const std::size_t text_length = FieldLength(text, width + 1);
  unsigned char difference = text_length > width ? 1 : 0;
  // The text, NUL-padded, a block at a time, so that every byte is compared
  // without a branch: the time depends on the text's length only.
  constexpr std::size_t kBlock = 128;
  unsigned char given[kBlock];
  // All ones while the field's text goes on, zero from its first NUL.
  unsigned char going = 0xFF;
  for (std::size_t at = 0; at < width; at += kBlock) {
    const std::size_t part = width - at < kBlock ? width - at : kBlock;
    const std::size_t left = text_length > at ? text_length - at : 0;
    const std::size_t copied = left < part ? left : part;
    if (copied > 0) std::memcpy(given, text + at, copied);
    std::memset(given + copied, 0, kBlock - copied);
    for (std::size_t i = 0; i < part; ++i) {
      const auto stored = static_cast<unsigned char>(field[at + i]);
      going &= static_cast<unsigned char>(stored == 0 ? 0 : 0xFF);
      difference |= static_cast<unsigned char>((stored & going) ^ given[i]);
    }
  }
  return difference == 0;
}

void BoundedCopy(char* destination, std::size_t n, const char* source,
                 std::size_t source_width) {
  std::size_t length = FieldLength(source, source_width < n ? source_width : n);
  std::memcpy(destination, source, length);
  std::memset(destination + length, 0, n - length);
}

bool IsBlankName(const char* name) {
  for (; *name != '\0'; ++name) {
    if (*name != ' ') return false;
  }
  return true;
}

}  // namespace brellox
