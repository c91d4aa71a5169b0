// Texts between the file and the terminal: the library's codec
// (src/state/codec.h), and the tool's refusals of text it cannot store.
#ifndef BRELLOX_TOOLS_BRELLOX_CODEC_H_
#define BRELLOX_TOOLS_BRELLOX_CODEC_H_

#include <cstddef>
#include <string>

#include "src/state/codec.h"

namespace brellox {
namespace tool {

using state::FieldText;
using state::HasControlCharacter;
using state::Quoted;
using state::ToHex;

class Codec : public state::Codec {
 public:
  // Throws a usage ToolError when the system does not know `encoding`, or
  // when it does not write ASCII as itself or writes a character with a NUL
  // byte (UTF-16, UTF-32 and the like).
  explicit Codec(const std::string& encoding);

  // The file bytes of a UTF-8 text typed by the administrator. Throws a
  // refusal ToolError naming `what` when it has no form in the encoding,
  // or holds a NUL byte.
  std::string FromUtf8(const std::string& utf8, const std::string& what) const;
};

// Writes `text` into a field of `width` bytes, NUL-padded. Throws a refusal
// ToolError when it needs more than `limit` bytes (`limit` <= width; a
// limit below the width keeps a NUL inside the field).
void StoreField(char* field, std::size_t width, const std::string& text,
                std::size_t limit, const std::string& what);

// Decodes hex digits (either case, even count) into at most `limit` bytes.
// Throws a refusal ToolError naming `what` otherwise.
std::string FromHex(const std::string& hex, std::size_t limit,
                    const std::string& what);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_CODEC_H_
