// Texts between the file and JSON: the file holds fixed-width byte fields in
// the server's code page, JSON and people speak UTF-8.
#ifndef BRELLOX_STATE_CODEC_H_
#define BRELLOX_STATE_CODEC_H_

#include <cstddef>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

#include "platform/status.h"
#include "platform/text_converter.h"

namespace brellox {
namespace state {

class Codec {
 public:
  // A codec for the code page `encoding`. status() says whether it can be
  // used: InvalidArgument when the system does not know `encoding`, or
  // when it does not write ASCII as itself or writes a character with a
  // NUL byte (UTF-16, UTF-32 and the like). No other method may be called
  // on a codec whose status is not OK.
  explicit Codec(const std::string& encoding);
  virtual ~Codec() = default;

  const Status& status() const { return status_; }
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

  // Converts UTF-8 into the encoding; false when it does not convert.
  bool TryFromUtf8(const std::string& utf8, std::string* bytes) const;
  // Converts file bytes into UTF-8; false when they do not convert.
  bool TryToUtf8(const std::string& bytes, std::string* utf8) const;
  // Whether TryToUtf8 converts the `width` bytes of `field` up to its
  // first NUL.
  bool Decodes(const char* field, std::size_t width) const;

 private:
  // Whether `text` is printable ASCII, which needs no converter.
  bool IsItself(std::string_view text) const;

  std::string encoding_;
  std::unique_ptr<TextConverter> to_utf8_;
  std::unique_ptr<TextConverter> from_utf8_;
  Status status_;
  // Set once the constructor has seen the encoding write printable ASCII
  // as itself.
  bool writes_ascii_as_itself_ = false;
};

// The text of a fixed-width field: its bytes up to the first NUL.
std::string FieldText(const char* field, std::size_t width);

std::string ToHex(const void* data, std::size_t size);
// Decodes hex digits (either case, an even count) into at most `limit`
// bytes. Refused, saying what is wrong with them ("has an odd number of hex
// digits"), otherwise.
Status FromHex(const std::string& hex, std::size_t limit, std::string* bytes);

// True when `utf8` holds a control character (below 0x20, or 0x7f).
bool HasControlCharacter(const std::string& utf8);

// Quotes a name for messages: 'bob'.
std::string Quoted(const std::string& text);

}  // namespace state
}  // namespace brellox

#endif  // BRELLOX_STATE_CODEC_H_
