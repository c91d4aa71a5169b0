#include "tools/brellox/backup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "src/store/default_file.h"
#include "src/store/format.h"
#include "src/store/text.h"
#include "tools/brellox/check.h"
#include "tools/brellox/records.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kMaxCapacity = 1000000;

// A key as a step of a path in a one-line message: control characters
// are written as \xNN.
std::string PathStep(const std::string& parent, const std::string& key) {
  std::string step;
  for (unsigned char c : key) {
    if (c < 0x20 || c == 0x7f) {
      char escape[5];
      std::snprintf(escape, sizeof(escape), "\\x%02x", c);
      step += escape;
    } else {
      step += static_cast<char>(c);
    }
  }
  return parent.empty() ? step : parent + "." + step;
}

// A value of the backup and where it is ("users[2].name"), so that every
// refusal names the first offending path. Values of texts never appear in
// a message: they may be passwords.
class Node {
 public:
  Node(const json& value, std::string path)
      : value_(value), path_(std::move(path)) {}

  const json& value() const { return value_; }

  [[noreturn]] void Fail(const std::string& problem) const {
    Refuse((path_.empty() ? std::string("the backup") : path_) + ": " +
           problem);
  }

  // Requires an object whose keys are all among `known`.
  void ExpectObject(std::initializer_list<const char*> known) const {
    if (!value_.is_object()) Fail("is not an object");
    for (const auto& item : value_.items()) {
      bool listed = false;
      for (const char* key : known) listed = listed || item.key() == key;
      if (!listed) Child(item.key()).Fail("is not a known key");
    }
  }

  bool Has(const std::string& key) const { return value_.contains(key); }

  Node Child(const std::string& key) const {
    if (!Has(key)) Fail("has no \"" + key + "\"");
    return Node(value_[key], PathStep(path_, key));
  }

  // The items of a list; an absent optional list has none.
  std::vector<Node> Items() const {
    if (!value_.is_array()) Fail("is not a list");
    std::vector<Node> items;
    for (std::size_t i = 0; i < value_.size(); ++i) {
      items.emplace_back(value_[i], path_ + "[" + std::to_string(i) + "]");
    }
    return items;
  }

  // An integer within [min, max] (both within 32 bits).
  std::int32_t Int32(std::int64_t min, std::int64_t max) const {
    if (value_.is_number_float()) {
      // Written with a fraction or an exponent, or with too many digits
      // for 64 bits.
      const double number = value_.get<double>();
      if (std::trunc(number) == number && std::fabs(number) > kInt32Max) {
        Fail(value_.dump() + " does not fit a 32-bit integer");
      }
      Fail("is not an integer");
    }
    if (!value_.is_number_integer()) Fail("is not an integer");
    const bool huge =
        value_.is_number_unsigned() &&
        value_.get<std::uint64_t>() > static_cast<std::uint64_t>(kInt32Max);
    const std::int64_t number = huge ? 0 : value_.get<std::int64_t>();
    if (huge || number < std::numeric_limits<std::int32_t>::min() ||
        number > kInt32Max) {
      Fail(value_.dump() + " does not fit a 32-bit integer");
    }
    if (number < min || number > max) {
      Fail(value_.dump() + " is outside " + std::to_string(min) + " to " +
           std::to_string(max));
    }
    return static_cast<std::int32_t>(number);
  }

  // A text written as a string, or {"hex": "..."} for bytes that do not
  // convert, as bytes in the file's code page: at most `limit`, no NUL.
  std::string Text(const Codec& codec, std::size_t limit) const {
    std::string bytes;
    if (value_.is_string()) {
      if (!codec.TryFromUtf8(value_.get<std::string>(), &bytes)) {
        Fail("cannot be written in " + codec.encoding());
      }
    } else if (value_.is_object()) {
      ExpectObject({"hex"});
      bytes = Child("hex").Hex(std::string::npos);
    } else {
      Fail("is not a string or {\"hex\": ...}");
    }
    if (bytes.find('\0') != std::string::npos) Fail("holds a NUL byte");
    if (bytes.size() > limit) {
      Fail("is " + std::to_string(bytes.size()) + " bytes in " +
           codec.encoding() + "; at most " + std::to_string(limit) + " fit");
    }
    return bytes;
  }

  // Bytes written as hex digits: at most `limit`.
  std::string Hex(std::size_t limit) const {
    if (!value_.is_string()) Fail("is not a hex string");
    const std::string hex = value_.get<std::string>();
    if (hex.size() % 2 != 0) Fail("has an odd number of hex digits");
    if (hex.size() / 2 > limit) {
      Fail("is " + std::to_string(hex.size() / 2) + " bytes; at most " +
           std::to_string(limit) + " fit");
    }
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
      const int high = HexDigit(hex[i]);
      const int low = HexDigit(hex[i + 1]);
      if (high < 0 || low < 0) Fail("holds a character that is not hex");
      bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
  }

 private:
  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  const json& value_;
  std::string path_;
};

template <std::size_t N>
void PutText(char (&field)[N], const std::string& bytes) {
  std::memset(field, 0, N);
  std::memcpy(field, bytes.data(), bytes.size());
}

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

SVC_GDB_CONN_INFO ConnFromJson(const Node& n, const Codec& codec) {
  n.ExpectObject({"id", "name", "info1", "info2", "info3", "info4", "fill"});
  SVC_GDB_CONN_INFO conn{};
  conn.id = n.Child("id").Int32(1, kInt32Max);
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

SVC_GDB_INFO GdbFromJson(const Node& n, const Codec& codec) {
  n.ExpectObject({"id", "name", "details"});
  SVC_GDB_INFO gdb{};
  gdb.id = n.Child("id").Int32(1, kInt32Max);
  PutText(gdb.name, AddableName(n.Child("name"), codec, sizeof(gdb.name)));
  if (n.Has("details")) {
    const std::string details = n.Child("details").Hex(sizeof(gdb.details));
    std::memcpy(gdb.details, details.data(), details.size());
  }
  return gdb;
}

SVR_USER_REC UserFromJson(const Node& n, const Codec& codec,
                          const ImportRules& rules) {
  n.ExpectObject({"id", "name", "password"});
  SVR_USER_REC user{};
  user.id = n.Child("id").Int32(1, kInt32Max);
  PutText(user.name, AddableName(n.Child("name"), codec, sizeof(user.name)));
  if (n.Has("password")) {
    PutText(user.password,
            n.Child("password").Text(codec, sizeof(user.password)));
  } else if (!rules.allow_empty_passwords) {
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

unsigned char OptionType(const Node& type) {
  unsigned char code;
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

// `text_limit`: the longest text value the library stores in that option.
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
  if (options.size() > 6) n.Child("options").Fail("holds more than 6 options");
  for (std::size_t i = 0; i < options.size(); ++i) {
    // A new group's options are stored byte for byte: a text may fill all
    // 128 bytes.
    group.options[i] =
        OptionFromJson(options[i], codec, sizeof(group.options[i].value));
  }
  return group;
}

template <class Record, class FromJson>
std::vector<std::pair<Node, Record>> Table(const Node& backup, const char* key,
                                           FromJson from) {
  std::vector<std::pair<Node, Record>> records;
  if (!backup.Has(key)) return records;
  for (const Node& item : backup.Child(key).Items()) {
    records.emplace_back(item, from(item));
  }
  return records;
}

// Refuses a second record with the same ID or name, and (once the counter
// is known) an ID above it. Returns the counter.
template <class Record>
std::int32_t CheckNamedTable(
    const Node& backup, const char* counter_key,
    const std::vector<std::pair<Node, Record>>& table) {
  std::set<std::int32_t> ids;
  std::set<std::string> names;
  std::int32_t highest = 0;
  for (const auto& entry : table) {
    const Record& r = entry.second;
    if (!ids.insert(r.id).second) {
      entry.first.Child("id").Fail("ID " + std::to_string(r.id) +
                                   " is used by an earlier record");
    }
    if (!names.insert(FieldText(r.name, sizeof(r.name))).second) {
      entry.first.Child("name").Fail("is the name of an earlier record");
    }
    highest = std::max<std::int32_t>(highest, r.id);
  }
  if (!backup.Has(counter_key)) return highest;
  const Node counter = backup.Child(counter_key);
  const std::int32_t last = counter.Int32(0, kInt32Max);
  if (last < highest) {
    counter.Fail(std::to_string(last) + " is below ID " +
                 std::to_string(highest) + " of a record");
  }
  return last;
}

std::int32_t Capacity(const Node& backup, const char* key, std::size_t count) {
  const std::int32_t in_use = static_cast<std::int32_t>(count);
  if (backup.Has("capacity") && backup.Child("capacity").Has(key)) {
    return backup.Child("capacity").Child(key).Int32(in_use, kMaxCapacity);
  }
  return std::max(2, in_use + in_use % 2);
}

// Places a table's records at `*offset` and moves `*offset` past its slots.
template <class Record>
void PlaceTable(std::string* image, SVR_CFG_HEADER* header, Section section,
                const std::vector<std::pair<Node, Record>>& records,
                std::int32_t capacity, std::int64_t* offset) {
  const std::int32_t count = static_cast<std::int32_t>(records.size());
  SetSection(header, section,
             {static_cast<std::int32_t>(*offset), count, capacity});
  image->resize(static_cast<std::size_t>(*offset) +
                static_cast<std::size_t>(capacity) * sizeof(Record));
  char* slot = &(*image)[static_cast<std::size_t>(*offset)];
  for (const auto& entry : records) {
    std::memcpy(slot, &entry.second, sizeof(Record));
    slot += sizeof(Record);
  }
  *offset += static_cast<std::int64_t>(capacity) * sizeof(Record);
}

void CheckHeaderKeys(const Node& root, const Codec& codec) {
  root.ExpectObject({"formatVersion", "encoding", "tempDir", "lastConnID",
                     "lastGDBID", "lastUserID", "capacity", "globalOption",
                     "connections", "gdbs", "users", "privileges",
                     "optionGroups"});
  const Node version = root.Child("formatVersion");
  if (!version.value().is_number_integer() ||
      version.value() != json(kExportFormatVersion)) {
    version.Fail("is not " + std::to_string(kExportFormatVersion) +
                 ", the version this tool reads");
  }
  // Texts were converted from the file's code page on export; converting
  // them into another one would not give the same bytes back.
  if (root.Has("encoding")) {
    const Node encoding = root.Child("encoding");
    if (encoding.value() != json(codec.encoding())) {
      encoding.Fail("the texts are in " + encoding.value().dump() +
                    "; import with --encoding " + encoding.value().dump());
    }
  }
  if (root.Has("capacity")) {
    root.Child("capacity")
        .ExpectObject({"connections", "gdbs", "users", "privileges"});
  }
}

// Builds the JSON of an export the way the parser would, but stops at a
// key an object already holds (the parser would keep the last one, and a
// restore would silently drop the first), and at a number too large to
// read, naming where it is: "users[3].name".
class StrictReader final : public nlohmann::json_sax<json> {
 public:
  json Take() { return std::move(root_); }
  std::size_t error_byte() const { return error_byte_; }

  bool null() override { return Put(json(nullptr)); }
  bool boolean(bool value) override { return Put(json(value)); }
  bool number_integer(number_integer_t value) override {
    return Put(json(value));
  }
  bool number_unsigned(number_unsigned_t value) override {
    return Put(json(value));
  }
  bool number_float(number_float_t value, const string_t&) override {
    return Put(json(value));
  }
  bool string(string_t& value) override { return Put(json(std::move(value))); }
  bool binary(binary_t&) override { return false; }  // not in JSON text
  bool start_object(std::size_t) override { return Open(json::object()); }
  bool start_array(std::size_t) override { return Open(json::array()); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }

  bool key(string_t& key) override {
    Level& level = levels_.back();
    if (!level.keys.insert(key).second) {
      Refuse(PathStep(level.path, key) +
             ": the key appears twice in its "
             "object");
    }
    level.key = key;
    return true;
  }

  bool parse_error(std::size_t position, const std::string&,
                   const nlohmann::detail::exception& error) override {
    // 406: a number whose value is beyond a double.
    if (error.id == 406) {
      const std::string path = NextPath();
      Refuse((path.empty() ? std::string("the backup") : path) +
             ": is a number too large for any field");
    }
    error_byte_ = position;
    return false;
  }

 private:
  struct Level {
    json* value;
    std::string path;
    std::set<std::string> keys;  // of an object
    std::string key;             // of an object: the member being read
    std::size_t items = 0;       // of an array
  };

  // The path of the value that comes next.
  std::string NextPath() const {
    if (levels_.empty()) return std::string();
    const Level& level = levels_.back();
    if (level.value->is_array()) {
      return level.path + "[" + std::to_string(level.items) + "]";
    }
    return PathStep(level.path, level.key);
  }

  bool Put(json value) {
    if (levels_.empty()) {
      root_ = std::move(value);
      return true;
    }
    Level& level = levels_.back();
    if (level.value->is_array()) {
      level.value->push_back(std::move(value));
      ++level.items;
    } else {
      // The key is known to be new: appended without the ordered map's
      // search for it, which would make a large object quadratic.
      level.value->get_ref<json::object_t&>().emplace_back(level.key,
                                                           std::move(value));
    }
    return true;
  }

  // Places a new container and reads on inside it. Its parent gets no
  // other value before it closes, so the pointer to it stays valid.
  bool Open(json container) {
    std::string path = NextPath();
    Put(std::move(container));
    json* placed = &root_;
    if (!levels_.empty()) {
      json& parent = *levels_.back().value;
      placed = parent.is_array()
                   ? &parent.back()
                   : &parent.get_ref<json::object_t&>().back().second;
    }
    levels_.push_back(Level{placed, std::move(path), {}, {}, 0});
    return true;
  }

  bool Close() {
    levels_.pop_back();
    return true;
  }

  json root_;
  std::vector<Level> levels_;
  std::size_t error_byte_ = 0;
};

}  // namespace

bool ParseBackup(const std::string& text, json* backup,
                 std::size_t* error_byte) {
  StrictReader reader;
  if (!json::sax_parse(text, &reader)) {
    *error_byte = reader.error_byte();
    return false;
  }
  *backup = reader.Take();
  return true;
}

bool BackupHasPasswords(const json& backup) {
  if (!backup.is_object() || !backup.contains("users") ||
      !backup["users"].is_array()) {
    return true;
  }
  for (const json& user : backup["users"]) {
    if (!user.is_object() || !user.contains("password")) return false;
  }
  return true;
}

namespace {

// ImageFromJson but the check: the records parsed from the backup are gone
// before the check reads the image back, so that no more than two copies of
// them are held at once.
std::string BuildImage(const json& backup, const Codec& codec,
                       const ImportRules& rules) {
  const Node root(backup, "");
  CheckHeaderKeys(root, codec);
  const auto conns = Table<SVC_GDB_CONN_INFO>(
      root, "connections",
      [&](const Node& n) { return ConnFromJson(n, codec); });
  const auto gdbs = Table<SVC_GDB_INFO>(
      root, "gdbs", [&](const Node& n) { return GdbFromJson(n, codec); });
  const auto users = Table<SVR_USER_REC>(root, "users", [&](const Node& n) {
    return UserFromJson(n, codec, rules);
  });
  const auto privs = Table<SVR_USER_PRIV>(root, "privileges", PrivFromJson);
  const auto groups = Table<SVR_OPTION_GROUP>(
      root, "optionGroups",
      [&](const Node& n) { return GroupFromJson(n, codec); });
  // The global option's value is only ever set, never added: a text keeps
  // room for its NUL.
  const CONFIG_OPTION global = OptionFromJson(root.Child("globalOption"), codec,
                                              sizeof(CONFIG_OPTION::value) - 1);

  // The default image's header carries the magic and format tag.
  std::string image = DefaultConfigImage();
  SVR_CFG_HEADER header;
  std::memcpy(&header, image.data(), sizeof(header));
  header.lastConnID = CheckNamedTable(root, "lastConnID", conns);
  header.lastGDBID = CheckNamedTable(root, "lastGDBID", gdbs);
  header.lastUserID = CheckNamedTable(root, "lastUserID", users);
  std::set<std::pair<std::int32_t, std::int32_t>> pairs;
  for (const auto& entry : privs) {
    if (!pairs.insert({entry.second.userID, entry.second.privID}).second) {
      entry.first.Fail("the same user and privilege as an earlier record");
    }
  }
  std::set<std::pair<std::int32_t, std::string>> group_keys;
  for (const auto& entry : groups) {
    const SVR_OPTION_GROUP& g = entry.second;
    if (!group_keys
             .insert({g.groupType, FieldText(g.groupName, sizeof(g.groupName))})
             .second) {
      entry.first.Fail("the same type and name as an earlier group");
    }
  }
  if (root.Has("tempDir")) {
    PutText(header.tempDir,
            root.Child("tempDir").Text(codec, sizeof(header.tempDir) - 1));
  }

  image.resize(static_cast<std::size_t>(kFirstTableOffset));
  std::memcpy(&image[kGlobalOptionOffset], &global, sizeof(global));
  std::int64_t offset = kFirstTableOffset;
  PlaceTable(&image, &header, Section::kConns, conns,
             Capacity(root, "connections", conns.size()), &offset);
  PlaceTable(&image, &header, Section::kGdbs, gdbs,
             Capacity(root, "gdbs", gdbs.size()), &offset);
  PlaceTable(&image, &header, Section::kUsers, users,
             Capacity(root, "users", users.size()), &offset);
  PlaceTable(&image, &header, Section::kPrivs, privs,
             Capacity(root, "privileges", privs.size()), &offset);
  PlaceTable(&image, &header, Section::kOptionGroups, groups,
             static_cast<std::int32_t>(groups.size()), &offset);
  std::memcpy(&image[0], &header, sizeof(header));
  return image;
}

}  // namespace

std::string ImageFromJson(const json& backup, const Codec& codec,
                          const ImportRules& rules) {
  std::string image = BuildImage(backup, codec, rules);
  // The image is built to leave nothing for the check to find.
  for (const Finding& finding : CheckImage(image, codec)) {
    if (finding.error) {
      Refuse("the backup would give a damaged file: " + finding.message);
    }
  }
  return image;
}

}  // namespace tool
}  // namespace brellox
