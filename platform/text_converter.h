// Conversion of byte strings between character encodings: the file's code
// page and UTF-8. One implementation per system (iconv on POSIX, the code
// page functions on Windows).
#ifndef BRELLOX_PLATFORM_TEXT_CONVERTER_H_
#define BRELLOX_PLATFORM_TEXT_CONVERTER_H_

#include <memory>
#include <string>

namespace brellox {

class TextConverter {
 public:
  TextConverter() = default;
  TextConverter(const TextConverter&) = delete;
  TextConverter& operator=(const TextConverter&) = delete;
  virtual ~TextConverter() = default;

  // Converts all of `input`. False, with `*output` unspecified, when
  // `input` holds a sequence that is invalid or has no equivalent in the
  // target encoding.
  virtual bool Convert(const std::string& input, std::string* output) = 0;

  // A converter from `from` to `to` (names as iconv knows them: "GBK",
  // "UTF-8", ...; on Windows GBK, UTF-8 or CPnnn), or nullptr when the
  // system does not know an encoding.
  static std::unique_ptr<TextConverter> Open(const std::string& from,
                                             const std::string& to);
};

}  // namespace brellox

#endif  // BRELLOX_PLATFORM_TEXT_CONVERTER_H_
