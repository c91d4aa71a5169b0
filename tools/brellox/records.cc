#include "tools/brellox/records.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>

#include "tools/brellox/command.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

constexpr std::size_t kTextValueLimit = sizeof(CONFIG_OPTION::value) - 1;

}  // namespace

unsigned char ParseOptionType(const std::string& name) {
  unsigned char type;
  if (OptionTypeFromName(name, &type)) return type;
  if (name == "int") return SVR_OPTION_INT32;
  const std::int32_t code = ParseInt32(name, "option type");
  if (code < 0 || code > 255) {
    UsageError("option type " + name + " is not a type code (0 to 255)");
  }
  return static_cast<unsigned char>(code);
}

std::string OptionValueText(const CONFIG_OPTION& option, const Codec& codec) {
  switch (option.type) {
    case SVR_OPTION_TEXT:
      return codec.Display(reinterpret_cast<const char*>(option.value),
                           sizeof(option.value));
    case SVR_OPTION_INT32: {
      std::int32_t number;
      std::memcpy(&number, option.value, sizeof(number));
      return std::to_string(number);
    }
    case SVR_OPTION_DOUBLE: {
      double number;
      std::memcpy(&number, option.value, sizeof(number));
      char text[32];
      std::snprintf(text, sizeof(text), "%.17g", number);
      return text;
    }
    case SVR_OPTION_BLOCK:
      return "hex:" + TrimmedHex(option.value, sizeof(option.value));
    default:
      return "-";
  }
}

void ParseOptionValue(unsigned char type, const std::string& text,
                      const Codec& codec, const std::string& what,
                      CONFIG_OPTION* option) {
  std::memset(option->value, 0, sizeof(option->value));
  const std::string shown = what + " " + Quoted(text);
  switch (type) {
    case SVR_OPTION_TEXT:
      StoreField(reinterpret_cast<char*>(option->value), sizeof(option->value),
                 codec.FromUtf8(text, what), kTextValueLimit, what);
      return;
    case SVR_OPTION_INT32: {
      errno = 0;
      char* end = nullptr;
      const long long number = std::strtoll(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || errno == ERANGE ||
          number < std::numeric_limits<std::int32_t>::min() ||
          number > std::numeric_limits<std::int32_t>::max()) {
        Refuse(shown + " is not a 32-bit integer");
      }
      const std::int32_t value = static_cast<std::int32_t>(number);
      std::memcpy(option->value, &value, sizeof(value));
      return;
    }
    case SVR_OPTION_DOUBLE: {
      errno = 0;
      char* end = nullptr;
      const double number = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || errno == ERANGE) {
        Refuse(shown + " is not a double-precision number");
      }
      std::memcpy(option->value, &number, sizeof(number));
      return;
    }
    case SVR_OPTION_BLOCK: {
      const std::string bytes = FromHex(text, sizeof(option->value), what);
      std::memcpy(option->value, bytes.data(), bytes.size());
      return;
    }
    default:
      Refuse(what + " is of " + OptionTypeName(type) +
             ", which holds no value");
  }
}

}  // namespace tool
}  // namespace brellox
