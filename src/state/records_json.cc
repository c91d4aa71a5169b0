#include "src/state/records_json.h"

#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>

namespace brellox {
namespace state {

using json = nlohmann::ordered_json;

std::string TrimmedHex(const void* data, std::size_t size) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  while (size > 0 && bytes[size - 1] == 0) --size;
  return ToHex(bytes, size);
}

json ConnToJson(const SVC_GDB_CONN_INFO& conn, const Codec& codec) {
  json out{{"id", conn.id},
           {"name", codec.ToJson(conn.name, sizeof(conn.name))},
           {"info1", codec.ToJson(conn.info1, sizeof(conn.info1))},
           {"info2", codec.ToJson(conn.info2, sizeof(conn.info2))},
           {"info3", codec.ToJson(conn.info3, sizeof(conn.info3))},
           {"info4", codec.ToJson(conn.info4, sizeof(conn.info4))}};
  // The two trailing bytes are the caller's and kept, but rarely used.
  if (conn.fill[0] != 0 || conn.fill[1] != 0) {
    out["fill"] = ToHex(conn.fill, sizeof(conn.fill));
  }
  return out;
}

json GdbToJson(const SVC_GDB_INFO& gdb, const Codec& codec) {
  return json{{"id", gdb.id},
              {"name", codec.ToJson(gdb.name, sizeof(gdb.name))},
              {"details", TrimmedHex(gdb.details, sizeof(gdb.details))}};
}

json UserToJson(const SVR_USER_REC& user, const Codec& codec,
                bool with_password) {
  json out{{"id", user.id},
           {"name", codec.ToJson(user.name, sizeof(user.name))}};
  if (with_password) {
    out["password"] = codec.ToJson(user.password, sizeof(user.password));
  }
  return out;
}

json PrivToJson(const SVR_USER_PRIV& priv) {
  return json{
      {"userID", priv.userID}, {"privID", priv.privID}, {"value", priv.value}};
}

json OptionToJson(const CONFIG_OPTION& option, const Codec& codec) {
  json value;
  switch (option.type) {
    case SVR_OPTION_TEXT:
      value = codec.ToJson(reinterpret_cast<const char*>(option.value),
                           sizeof(option.value));
      break;
    case SVR_OPTION_INT32: {
      std::int32_t number;
      std::memcpy(&number, option.value, sizeof(number));
      value = number;
      break;
    }
    case SVR_OPTION_DOUBLE: {
      double number;
      std::memcpy(&number, option.value, sizeof(number));
      // JSON has no NaN or infinity; those keep their bytes.
      if (std::isfinite(number)) {
        value = number;
      } else {
        value = json{{"hex", ToHex(option.value, sizeof(number))}};
      }
      break;
    }
    default:
      value = TrimmedHex(option.value, sizeof(option.value));
  }
  // Types go by the names the command line uses; codes without one stay
  // numbers.
  unsigned char code;
  const std::string type_name = OptionTypeName(option.type);
  const json type = OptionTypeFromName(type_name, &code) ? json(type_name)
                                                         : json(option.type);
  return json{{"name", codec.ToJson(option.name, sizeof(option.name))},
              {"type", type},
              {"value", value},
              {"description",
               codec.ToJson(option.description, sizeof(option.description))}};
}

json GroupToJson(const SVR_OPTION_GROUP& group, const Codec& codec) {
  json options = json::array();
  for (const CONFIG_OPTION& option : group.options) {
    options.push_back(OptionToJson(option, codec));
  }
  return json{
      {"groupType", group.groupType},
      {"groupName", codec.ToJson(group.groupName, sizeof(group.groupName))},
      {"options", options}};
}

std::string OptionTypeName(unsigned char type) {
  switch (type) {
    case SVR_OPTION_TEXT:
      return "text";
    case SVR_OPTION_INT32:
      return "integer";
    case SVR_OPTION_DOUBLE:
      return "double";
    case SVR_OPTION_BLOCK:
      return "block";
    default:
      return "type " + std::to_string(type);
  }
}

bool OptionTypeFromName(const std::string& name, unsigned char* type) {
  static const struct {
    const char* name;
    unsigned char code;
  } kNames[] = {{"text", SVR_OPTION_TEXT},
                {"integer", SVR_OPTION_INT32},
                {"double", SVR_OPTION_DOUBLE},
                {"block", SVR_OPTION_BLOCK}};
  for (const auto& known : kNames) {
    if (name == known.name) {
      *type = known.code;
      return true;
    }
  }
  return false;
}

}  // namespace state
}  // namespace brellox
