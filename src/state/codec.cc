#include "src/state/codec.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <nlohmann/json.hpp>

#include "src/store/text.h"

namespace brellox {
namespace state {

Codec::Codec(const std::string& encoding)
    : encoding_(encoding),
      to_utf8_(TextConverter::Open(encoding, "UTF-8")),
      from_utf8_(TextConverter::Open("UTF-8", encoding)) {
  if (to_utf8_ == nullptr || from_utf8_ == nullptr) {
    status_ = Status::InvalidArgument("unknown encoding " + Quoted(encoding));
    return;
  }
  // The file's texts are NUL-terminated byte strings that the library
  // compares and cuts byte by byte, beside ASCII magic and option names:
  // only an encoding that writes ASCII as itself and no character with a
  // NUL byte can hold them (not UTF-16 or UTF-32, for one). Its converter
  // says so, whatever the encoding is called.
  std::string ascii;
  for (char c = 0x20; c < 0x7f; ++c) ascii += c;
  std::string bytes;
  std::string back;
  if (!TryFromUtf8(ascii, &bytes) || bytes != ascii ||
      !TryToUtf8(ascii, &back) || back != ascii) {
    status_ = Status::InvalidArgument(
        "encoding " + Quoted(encoding) +
        " does not write ASCII as itself; the file's texts need a code page "
        "that does, such as GBK");
    return;
  }
  // Characters an encoding may lack are skipped; those it has must not
  // hold a NUL byte. In UTF-8: e acute, sharp s, A macron, Cyrillic zhe, euro
  // sign, a CJK ideograph, a Hangul syllable, an emoji.
  for (const char* probe :
       {"\xc3\xa9", "\xc3\x9f", "\xc4\x80", "\xd0\x96", "\xe2\x82\xac",
        "\xe4\xb8\xad", "\xea\xb0\x80", "\xf0\x9f\x98\x80"}) {
    if (TryFromUtf8(probe, &bytes) && bytes.find('\0') != std::string::npos) {
      status_ = Status::InvalidArgument(
          "encoding " + Quoted(encoding) +
          " writes characters with NUL bytes, which end a text in the file");
      return;
    }
  }
  writes_ascii_as_itself_ = true;
}

// Printable ASCII is written as itself both ways, as the constructor found:
// most texts of a large file or state need no converter at all.
bool Codec::IsItself(std::string_view text) const {
  return writes_ascii_as_itself_ &&
         std::all_of(text.begin(), text.end(),
                     [](char c) { return c >= 0x20 && c < 0x7f; });
}

bool Codec::TryToUtf8(const std::string& bytes, std::string* utf8) const {
  if (IsItself(bytes)) {
    *utf8 = bytes;
    return true;
  }
  return to_utf8_->Convert(bytes, utf8);
}

bool Codec::Decodes(const char* field, std::size_t width) const {
  const std::string_view text = FieldView(field, width);
  std::string utf8;
  return IsItself(text) || to_utf8_->Convert(std::string(text), &utf8);
}

bool Codec::TryFromUtf8(const std::string& utf8, std::string* bytes) const {
  if (IsItself(utf8)) {
    *bytes = utf8;
    return true;
  }
  return from_utf8_->Convert(utf8, bytes);
}

namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// `text` with every control character, and when `ascii_only` every byte
// above 0x7f, written as \xNN.
std::string Escaped(const std::string& text, bool ascii_only) {
  std::string shown;
  for (unsigned char c : text) {
    if (!IsControl(c) && !(ascii_only && c > 0x7f)) {
      shown += static_cast<char>(c);
    } else {
      char escape[5];
      std::snprintf(escape, sizeof(escape), "\\x%02x", c);
      shown += escape;
    }
  }
  return shown;
}

}  // namespace

std::string Codec::Shown(const std::string& bytes) const {
  if (IsItself(bytes)) return bytes;  // nothing to escape either
  std::string utf8;
  if (TryToUtf8(bytes, &utf8)) return Escaped(utf8, false);
  return Escaped(bytes, true);
}

std::string Codec::Display(const char* field, std::size_t width) const {
  return Shown(FieldText(field, width));
}

std::string Codec::Listed(const char* field, std::size_t width) const {
  const std::string shown = Display(field, width);
  if (shown.empty() || shown.front() == ' ' || shown.back() == ' ') {
    return Quoted(shown);
  }
  return shown;
}

bool HasControlCharacter(const std::string& utf8) {
  for (unsigned char c : utf8) {
    if (IsControl(c)) return true;
  }
  return false;
}

nlohmann::ordered_json Codec::ToJson(const char* field,
                                     std::size_t width) const {
  const std::string bytes = FieldText(field, width);
  std::string utf8;
  std::string back;
  // Only a text that converts back to the very same bytes is safe to hand
  // out as a string: a backup must restore the file's bytes.
  if (TryToUtf8(bytes, &utf8) && TryFromUtf8(utf8, &back) && back == bytes) {
    return utf8;
  }
  return nlohmann::ordered_json{{"hex", ToHex(bytes.data(), bytes.size())}};
}

std::string FieldText(const char* field, std::size_t width) {
  return std::string(field, FieldLength(field, width));
}

std::string ToHex(const void* data, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  std::string hex;
  hex.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0xf];
  }
  return hex;
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

Status FromHex(const std::string& hex, std::size_t limit, std::string* bytes) {
  if (hex.size() % 2 != 0) {
    return Status::Refused("has an odd number of hex digits");
  }
  if (hex.size() / 2 > limit) {
    return Status::Refused("is " + std::to_string(hex.size() / 2) +
                           " bytes; at most " + std::to_string(limit) + " fit");
  }
  bytes->clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexValue(hex[i]);
    const int low = HexValue(hex[i + 1]);
    if (high < 0 || low < 0) {
      return Status::Refused("holds a character that is not hex");
    }
    *bytes += static_cast<char>(high * 16 + low);
  }
  return Status::OK();
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace state
}  // namespace brellox
