#include "tools/brellox/records.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "tools/brellox/command.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

constexpr std::size_t kTextValueLimit = sizeof(CONFIG_OPTION::value) - 1;

const json& Member(const json& object, const char* key, const std::string& where) {
  if (!object.is_object() || !object.contains(key)) {
    Refuse(where + " has no \"" + key + "\"");
  }
  return object[key];
}

std::int32_t Int32Member(const json& object, const char* key,
                         const std::string& where) {
  const json& value = Member(object, key, where);
  if (!value.is_number_integer() ||
      value.get<long long>() < std::numeric_limits<std::int32_t>::min() ||
      value.get<long long>() > std::numeric_limits<std::int32_t>::max()) {
    Refuse(where + " \"" + key + "\" is not a 32-bit integer");
  }
  return static_cast<std::int32_t>(value.get<long long>());
}

// A text member into a fixed field; absent members leave the field zero.
void TextMember(const json& object, const char* key, const Codec& codec,
                const std::string& where, char* field, std::size_t width,
                std::size_t limit, bool required) {
  if (!required && (!object.is_object() || !object.contains(key))) return;
  const std::string what = where + " " + key;
  StoreField(field, width, codec.FromJson(Member(object, key, where), what),
             limit, what);
}

// A hex member into a fixed binary field, zero-padded.
void HexMember(const json& object, const char* key, const std::string& where,
               void* field, std::size_t width) {
  if (!object.contains(key)) return;
  const json& value = object[key];
  if (!value.is_string()) Refuse(where + " \"" + key + "\" is not a hex string");
  const std::string bytes =
      FromHex(value.get<std::string>(), width, where + " " + key);
  std::memset(field, 0, width);
  std::memcpy(field, bytes.data(), bytes.size());
}

std::string Where(const char* table, const json& record) {
  if (record.is_object() && record.contains("id")) {
    return std::string(table) + " " + record["id"].dump();
  }
  return table;
}

}  // namespace

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
  json out{{"id", user.id}, {"name", codec.ToJson(user.name, sizeof(user.name))}};
  if (with_password) {
    out["password"] = codec.ToJson(user.password, sizeof(user.password));
  }
  return out;
}

json PrivToJson(const SVR_USER_PRIV& priv) {
  return json{{"userID", priv.userID}, {"privID", priv.privID},
              {"value", priv.value}};
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
  return json{{"name", codec.ToJson(option.name, sizeof(option.name))},
              {"type", option.type},
              {"value", value},
              {"description",
               codec.ToJson(option.description, sizeof(option.description))}};
}

json GroupToJson(const SVR_OPTION_GROUP& group, const Codec& codec) {
  json options = json::array();
  for (const CONFIG_OPTION& option : group.options) {
    options.push_back(OptionToJson(option, codec));
  }
  return json{{"groupType", group.groupType},
              {"groupName", codec.ToJson(group.groupName, sizeof(group.groupName))},
              {"options", options}};
}

SVC_GDB_CONN_INFO ConnFromJson(const json& record, const Codec& codec) {
  const std::string where = Where("connection", record);
  SVC_GDB_CONN_INFO conn{};
  conn.id = Int32Member(record, "id", where);
  TextMember(record, "name", codec, where, conn.name, sizeof(conn.name),
             sizeof(conn.name) - 1, true);
  TextMember(record, "info1", codec, where, conn.info1, sizeof(conn.info1),
             sizeof(conn.info1), false);
  TextMember(record, "info2", codec, where, conn.info2, sizeof(conn.info2),
             sizeof(conn.info2), false);
  TextMember(record, "info3", codec, where, conn.info3, sizeof(conn.info3),
             sizeof(conn.info3), false);
  TextMember(record, "info4", codec, where, conn.info4, sizeof(conn.info4),
             sizeof(conn.info4), false);
  HexMember(record, "fill", where, conn.fill, sizeof(conn.fill));
  return conn;
}

SVC_GDB_INFO GdbFromJson(const json& record, const Codec& codec) {
  const std::string where = Where("GDB", record);
  SVC_GDB_INFO gdb{};
  gdb.id = Int32Member(record, "id", where);
  TextMember(record, "name", codec, where, gdb.name, sizeof(gdb.name),
             sizeof(gdb.name) - 1, true);
  HexMember(record, "details", where, gdb.details, sizeof(gdb.details));
  return gdb;
}

SVR_USER_REC UserFromJson(const json& record, const Codec& codec) {
  const std::string where = Where("user", record);
  SVR_USER_REC user{};
  user.id = Int32Member(record, "id", where);
  TextMember(record, "name", codec, where, user.name, sizeof(user.name),
             sizeof(user.name), true);
  TextMember(record, "password", codec, where, user.password,
             sizeof(user.password), sizeof(user.password), false);
  return user;
}

SVR_USER_PRIV PrivFromJson(const json& record) {
  const std::string where = "privilege";
  return SVR_USER_PRIV{Int32Member(record, "userID", where),
                       Int32Member(record, "privID", where),
                       Int32Member(record, "value", where)};
}

CONFIG_OPTION OptionFromJson(const json& record, const Codec& codec) {
  const std::string where = "option";
  CONFIG_OPTION option{};
  const std::int32_t type = Int32Member(record, "type", where);
  if (type < 0 || type > 255) Refuse("option type " + std::to_string(type) +
                                     " is not a type code (0 to 255)");
  option.type = static_cast<unsigned char>(type);
  TextMember(record, "name", codec, where, option.name, sizeof(option.name),
             sizeof(option.name), false);
  TextMember(record, "description", codec, where, option.description,
             sizeof(option.description), sizeof(option.description), false);
  const json& value = Member(record, "value", where);
  const std::string what = where + " value";
  if (option.type == SVR_OPTION_TEXT) {
    StoreField(reinterpret_cast<char*>(option.value), sizeof(option.value),
               codec.FromJson(value, what), kTextValueLimit, what);
  } else if (option.type == SVR_OPTION_INT32 && value.is_number_integer()) {
    ParseOptionValue(option.type, value.dump(), codec, what, &option);
  } else if (option.type == SVR_OPTION_DOUBLE && value.is_number()) {
    const double number = value.get<double>();
    std::memcpy(option.value, &number, sizeof(number));
  } else if (option.type == SVR_OPTION_DOUBLE && value.is_object()) {
    HexMember(value, "hex", what, option.value, sizeof(double));
  } else if (option.type != SVR_OPTION_INT32 &&
             option.type != SVR_OPTION_DOUBLE && value.is_string()) {
    HexMember(record, "value", where, option.value, sizeof(option.value));
  } else {
    Refuse(what + " " + value.dump() + " does not fit an option of type " +
           OptionTypeName(option.type));
  }
  return option;
}

SVR_OPTION_GROUP GroupFromJson(const json& record, const Codec& codec) {
  const std::string where = "option group";
  SVR_OPTION_GROUP group{};
  group.groupType = Int32Member(record, "groupType", where);
  TextMember(record, "groupName", codec, where, group.groupName,
             sizeof(group.groupName), sizeof(group.groupName) - 1, true);
  const json& options = Member(record, "options", where);
  if (!options.is_array() || options.size() > 6) {
    Refuse(where + " options must be a list of at most 6 options");
  }
  for (std::size_t i = 0; i < options.size(); ++i) {
    group.options[i] = OptionFromJson(options[i], codec);
  }
  return group;
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

unsigned char ParseOptionType(const std::string& name) {
  if (name == "text") return SVR_OPTION_TEXT;
  if (name == "integer" || name == "int") return SVR_OPTION_INT32;
  if (name == "double") return SVR_OPTION_DOUBLE;
  if (name == "block") return SVR_OPTION_BLOCK;
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
      Refuse(what + " is of " + OptionTypeName(type) + ", which holds no value");
  }
}

}  // namespace tool
}  // namespace brellox
