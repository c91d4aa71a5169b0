#include "src/options/copy_option_values.h"

#include <cstring>

namespace brellox {

namespace {

constexpr std::size_t kValueWidth = sizeof(CONFIG_OPTION::value);

// A text that holds no NUL within the field would run past it if copied to
// its terminator; it is kept to the field instead, as the longest text the
// field can hold.
void CopyTextValue(unsigned char* destination, const unsigned char* source) {
  const void* nul = std::memchr(source, '\0', kValueWidth);
  if (nul != nullptr) {
    std::memcpy(destination, source,
                static_cast<const unsigned char*>(nul) - source + 1);
    return;
  }
  std::memcpy(destination, source, kValueWidth - 1);
  destination[kValueWidth - 1] = '\0';
}

}  // namespace

SVR_LONG CopyOptionValues(CONFIG_OPTION* destination,
                          const CONFIG_OPTION* source, SVR_LONG count) {
  for (SVR_LONG i = 0; i < count; ++i) {
    unsigned char* to = destination[i].value;
    const unsigned char* from = source[i].value;
    // The stored record's type alone decides; the caller's type is ignored
    // so that a value can never retype a stored option.
    switch (destination[i].type) {
      case SVR_OPTION_TEXT:
        CopyTextValue(to, from);
        break;
      case SVR_OPTION_INT32:
        std::memcpy(to, from, 4);
        break;
      case SVR_OPTION_DOUBLE:
        std::memcpy(to, from, 8);
        break;
      case SVR_OPTION_BLOCK:
        std::memcpy(to, from, kValueWidth);
        break;
      default:
        break;
    }
  }
  return 1;
}

}  // namespace brellox
