#include "src/store/text.h"

#include <cstring>

namespace brellox {

std::size_t FieldLength(const char* field, std::size_t width) {
  const void* nul = std::memchr(field, '\0', width);
  return nul == nullptr ? width : static_cast<const char*>(nul) - field;
}

bool FieldEqualsConstantTime(const char* field, std::size_t width,
                             const char* text) {
  std::size_t text_length = FieldLength(text, width + 1);
  unsigned char difference = text_length > width ? 1 : 0;
  bool ended = false;  // past the field's text: compare against NUL
  for (std::size_t i = 0; i < width; ++i) {
    ended = ended || field[i] == '\0';
    unsigned char stored = ended ? 0 : static_cast<unsigned char>(field[i]);
    unsigned char given =
        i < text_length ? static_cast<unsigned char>(text[i]) : 0;
    difference |= static_cast<unsigned char>(stored ^ given);
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
