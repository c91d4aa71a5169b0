#include "tools/brellox/backup.h"

#include "src/state/json_reader.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

bool ParseBackup(const std::string& text, nlohmann::ordered_json* backup,
                 std::size_t* error_byte) {
  const Status s = state::ParseStrictJson(text, backup, error_byte);
  if (s.IsInvalidArgument()) return false;
  if (!s.ok()) Fail(s, s.message());
  return true;
}

std::string ImageFromJson(const nlohmann::ordered_json& backup,
                          const Codec& codec, const ImportRules& rules) {
  std::string image;
  const Status s = state::ImageFromJson(backup, codec, rules, &image);
  if (!s.ok()) Fail(s, s.message());
  return image;
}

}  // namespace tool
}  // namespace brellox
