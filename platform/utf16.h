// Conversion between the UTF-8 of every path and text inside the library
// and its tool, and the UTF-16 of Windows' wide (W) calls, which take every
// name where the ANSI calls would turn what the code page lacks into
// another name. Windows only.
#ifndef BRELLOX_PLATFORM_UTF16_H_
#define BRELLOX_PLATFORM_UTF16_H_

#include <string>

namespace brellox {

// Sets `*wide` to `utf8` in UTF-16. False, with `*wide` empty, when `utf8`
// is not valid UTF-8.
bool Utf8ToUtf16(const std::string& utf8, std::wstring* wide);

// Sets `*utf8` to `wide` in UTF-8. False, with `*utf8` empty, when `wide`
// is not valid UTF-16 (NTFS allows a lone surrogate in a name), which no
// UTF-8 string can name.
bool Utf16ToUtf8(const std::wstring& wide, std::string* utf8);

}  // namespace brellox

#endif  // BRELLOX_PLATFORM_UTF16_H_
