#include "src/state/import_records.h"

#include <cstring>
#include <limits>
#include <vector>

#include "src/store/text.h"
#include "src/state/records_json.h"

namespace brellox {
namespace state {

using json = nlohmann::ordered_json;

namespace {

template <std::size_t N>
void PutBytes(unsigned char (&field)[N], const std::string& bytes) {
  std::memset(field, 0, N);
  std::memcpy(field, bytes.data(), bytes.size());
}

template <std::size_t N>
void PutOptionalText(const Node& record, const char* key, const Codec& codec,
                     char (&field)[N]) {
  if (record.Has(key)) PutText(field, record.Child(key).Text(codec, N));
}

// Names the library refuses to add are refused here too.
std::string AddableName(const Node& name, const Codec& codec,
                        std::size_t limit) {
  const std::string bytes = name.Text(codec, limit);
  if (IsBlankName(bytes.c_str())) name.Fail("is blank");
  return bytes;
}

std::int32_t RecordId(const Node& n, std::int32_t stand_in) {
  if (stand_in != 0 && !n.Has("id")) return stand_in;
  return n.Child("id").Int32(1, kInt32Max);
}

unsigned char OptionType(const Node& type) {
  unsigned char code = 0;
  if (type.value().is_string()) {
    if (!OptionTypeFromName(type.value().get<std::string>(), &code)) {
      type.Fail("is not text, integer, double, block or a type code");
    }
    return code;
  }
  return static_cast<unsigned char>(type.Int32(0, 255));
}

// True when the JSON integer `v` converts to a double and back unchanged.
bool ExactDouble(const json& v) {
  constexpr double kTwo64 = 18446744073709551616.0;
  if (v.is_number_unsigned()) {
    const std::uint64_t n = v.get<std::uint64_t>();
    const double d = static_cast<double>(n);
    return d < kTwo64 && static_cast<std::uint64_t>(d) == n;
  }
  const std::int64_t n = v.get<std::int64_t>();
  const double d = static_cast<double>(n);
  return d < kTwo64 / 2 && static_cast<std::int64_t>(d) == n;
}

}  // namespace

SVC_GDB_CONN_INFO ConnFromJson(const Node& n, const Codec& codec,
                               std::int32_t stand_in) {
  n.ExpectObject({"id", "name", "info1", "info2", "info3", "info4", "fill"});
  SVC_GDB_CONN_INFO conn{};
  conn.id = RecordId(n, stand_in);
  PutText(conn.name, AddableName(n.Child("name"), codec, sizeof(conn.name)));
  PutOptionalText(n, "info1", codec, conn.info1);
  PutOptionalText(n, "info2", codec, conn.info2);
  PutOptionalText(n, "info3", codec, conn.info3);
  PutOptionalText(n, "info4", codec, conn.info4);
  if (n.Has("fill")) {
    const std::string fill = n.Child("fill").Hex(sizeof(conn.fill));
    std::memcpy(conn.fill, fill.data(), fill.size());
  }
  return conn;
}

SVC_GDB_INFO GdbFromJson(const Node& n, const Codec& codec,
                          std::int32_t stand_in) {
  n.ExpectObject({"id", "name", "details"});
  SVC_GDB_INFO gdb{};
  gdb.id = RecordId(n, stand_in);
  PutText(gdb.name, AddableName(n.Child("name"), codec, sizeof(gdb.name)));
  if (n.Has("details")) {
    const std::string details = n.Child("details").Hex(sizeof(gdb.details));
    std::memcpy(gdb.details, details.data(), details.size());
  }
  return gdb;
}

SVR_USER_REC UserFromJson(const Node& n, const Codec& codec,
                          bool allow_empty_password, std::int32_t stand_in) {
  n.ExpectObject({"id", "name", "password"});
  SVR_USER_REC user{};
  user.id = RecordId(n, stand_in);
  PutText(user.name, AddableName(n.Child("name"), codec, sizeof(user.name)));
  if (n.Has("password")) {
    PutText(user.password,
            n.Child("password").Text(codec, sizeof(user.password)));
  } else if (!allow_empty_password) {
    n.Fail(
        "has no \"password\" (export with --with-passwords, or import "
        "with --allow-empty-passwords to give such users an empty one)");
  }
  return user;
}

SVR_USER_PRIV PrivFromJson(const Node& n) {
  n.ExpectObject({"userID", "privID", "value"});
  return SVR_USER_PRIV{n.Child("userID").Int32(1, kInt32Max),
                       n.Child("privID").Int32(1, kInt32Max),
                       n.Child("value").Int32(0, kInt32Max)};
}

CONFIG_OPTION OptionFromJson(const Node& n, const Codec& codec,
                             std::size_t text_limit) {
  n.ExpectObject({"name", "type", "value", "description"});
  CONFIG_OPTION option{};
  option.type = OptionType(n.Child("type"));
  PutOptionalText(n, "name", codec, option.name);
  PutOptionalText(n, "description", codec, option.description);
  const Node value = n.Child("value");
  const json& v = value.value();
  switch (option.type) {
    case SVR_OPTION_TEXT: {
      const std::string text = value.Text(codec, text_limit);
      std::memcpy(option.value, text.data(), text.size());
      break;
    }
    case SVR_OPTION_INT32: {
      const std::int32_t number =
          value.Int32(std::numeric_limits<std::int32_t>::min(), kInt32Max);
      std::memcpy(option.value, &number, sizeof(number));
      break;
    }
    case SVR_OPTION_DOUBLE:
      if (v.is_number_integer() && !ExactDouble(v)) {
        value.Fail(v.dump() + " has no exact double");
      }
      if (v.is_number()) {
        const double number = v.get<double>();
        std::memcpy(option.value, &number, sizeof(number));
      } else if (v.is_object()) {
        // A NaN or infinity keeps its bytes.
        value.ExpectObject({"hex"});
        PutBytes(option.value, value.Child("hex").Hex(sizeof(double)));
      } else {
        value.Fail("is not a number or {\"hex\": ...}");
      }
      break;
    default:
      PutBytes(option.value, value.Hex(sizeof(option.value)));
  }
  return option;
}

SVR_OPTION_GROUP GroupFromJson(const Node& n, const Codec& codec) {
  n.ExpectObject({"groupType", "groupName", "options"});
  SVR_OPTION_GROUP group{};
  group.groupType = n.Child("groupType").Int32(1, kInt32Max);
  PutText(group.groupName,
          n.Child("groupName").Text(codec, sizeof(group.groupName) - 1));
  const std::vector<Node> options = n.Child("options").Items();
  if (options.size() > 6) {
    n.Child("options").Fail("holds more than 6 options");
    return group;
  }
  for (std::size_t i = 0; i < options.size() && !n.failed(); ++i) {
    // A new group's options are stored byte for byte: a text may fill all
    // 128 bytes.
    group.options[i] =
        OptionFromJson(options[i], codec, sizeof(group.options[i].value));
  }
  return group;
}

}  // namespace state
}  // namespace brellox
