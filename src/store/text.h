// Fixed-width text fields: a field's text runs to its first NUL, or fills the
// field when it holds none. Nothing here reads past a field.
#ifndef BRELLOX_STORE_TEXT_H_
#define BRELLOX_STORE_TEXT_H_

#include <cstddef>
#include <string_view>

namespace brellox {

// Length of the text in a field of `width` bytes.
std::size_t FieldLength(const char* field, std::size_t width);

// The text of a field of `width` bytes, seen in place.
inline std::string_view FieldView(const char* field, std::size_t width) {
  return std::string_view(field, FieldLength(field, width));
}

// True when the field's text and the NUL-terminated `text` have the same
// bytes and the same length. Inline: lookups call it once per record.
inline bool FieldEquals(const char* field, std::size_t width,
                        const char* text) {
  // One pass: a difference, or the shared terminator, ends it; the text is
  // never read past its own NUL, nor the field past its width.
  for (std::size_t i = 0; i < width; ++i) {
    if (field[i] != text[i]) return false;
    if (field[i] == '\0') return true;
  }
  return text[width] == '\0';
}

// As FieldEquals, but takes the same time for every field of a given width
// and every text of a given length: no early exit on the first difference.
bool FieldEqualsConstantTime(const char* field, std::size_t width,
                             const char* text);

// strncpy into `n` bytes from a text of at most `source_width` bytes: the
// text up to its NUL, zeros after it, no terminator when it fills `n`.
void BoundedCopy(char* destination, std::size_t n, const char* source,
                 std::size_t source_width);

// True when `name` is empty or every character is a space (0x20).
bool IsBlankName(const char* name);

}  // namespace brellox

#endif  // BRELLOX_STORE_TEXT_H_
