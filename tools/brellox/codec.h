// Texts between the file and the terminal: the file holds fixed-width byte
// fields in the server's code page, the terminal and JSON speak UTF-8.
#ifndef BRELLOX_TOOLS_BRELLOX_CODEC_H_
#define BRELLOX_TOOLS_BRELLOX_CODEC_H_

#include <cstddef>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>

#include "tools/brellox/system.h"

namespace brellox {
namespace tool {

class Codec {
 public:
  // Throws a usage ToolError when the system does not know `encoding`, or
  // when it does not write ASCII as itself or writes a character with a NUL
  // byte (UTF-16, UTF-32 and the like).
  explicit Codec(const std::string& encoding);

  const std::string& encoding() const { return encoding_; }

  // The field's text (up to its first NUL, or all `width` bytes) in UTF-8
  // for people: control characters, and bytes that do not convert, are
  // shown as \xNN, so that the text stays on one line.
  std::string Display(const char* field, std::size_t width) const;
  // The same for any bytes in the file's code page, such as a library's
  // reason holding a name.
  std::string Shown(const std::string& bytes) const;
  // Display, quoted when the name is empty or starts or ends with a space,
  // so that listings tell 'bob ' from 'bob'.
  std::string Listed(const char* field, std::size_t width) const;

  // The field's text for JSON: a UTF-8 string when it converts both ways to
  // the same bytes, else {"hex": "..."} with the raw bytes.
  nlohmann::ordered_json ToJson(const char* field, std::size_t width) const;

  // The file bytes of a UTF-8 text typed by the administrator. Throws a
  // refusal ToolError naming `what` when it has no form in the encoding,
  // or holds a NUL byte.
  std::string FromUtf8(const std::string& utf8, const std::string& what) const;

  // Converts UTF-8 into the encoding; false when it does not convert.
  bool TryFromUtf8(const std::string& utf8, std::string* bytes) const;
  // Converts file bytes into UTF-8; false when they do not convert.
  bool TryToUtf8(const std::string& bytes, std::string* utf8) const;

 private:
  std::string encoding_;
  std::unique_ptr<TextConverter> to_utf8_;
  std::unique_ptr<TextConverter> from_utf8_;
};

// The text of a fixed-width field: its bytes up to the first NUL.
std::string FieldText(const char* field, std::size_t width);

// Writes `text` into a field of `width` bytes, NUL-padded. Throws a refusal
// ToolError when it needs more than `limit` bytes (`limit` <= width; a
// limit below the width keeps a NUL inside the field).
void StoreField(char* field, std::size_t width, const std::string& text,
                std::size_t limit, const std::string& what);

std::string ToHex(const void* data, std::size_t size);
// Decodes hex digits (either case, even count) into at most `limit` bytes.
// Throws a refusal ToolError naming `what` otherwise.
std::string FromHex(const std::string& hex, std::size_t limit,
                    const std::string& what);

// True when `utf8` holds a control character (below 0x20, or 0x7f).
bool HasControlCharacter(const std::string& utf8);

// Quotes a name for messages: 'bob'.
std::string Quoted(const std::string& text);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_CODEC_H_
