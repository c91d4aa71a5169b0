#include "src/state/json_reader.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <unordered_set>
#include <utility>
#include <vector>

namespace brellox {
namespace state {

using json = nlohmann::ordered_json;

namespace {

// An export nests four levels deep; anything far deeper is refused as it
// is read, before any code that walks the value recursively can see it.
constexpr std::size_t kMostNesting = 64;

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

// Builds the JSON of an export the way the parser would, but stops at a
// key an object already holds (the parser would keep the last one, and a
// restore would silently drop the first), and at a number too large to
// read, naming where it is: "users[3].name".
class StrictReader final : public nlohmann::json_sax<json> {
 public:
  StrictReader() { levels_.reserve(kMostNesting); }

  json Take() { return std::move(root_); }
  std::size_t error_byte() const { return error_byte_; }
  // The refusal that stopped the parse, if one did.
  const Status& refusal() const { return refusal_; }

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
    Level& level = levels_[depth_ - 1];
    if (HoldsKey(&level, key)) {
      return Stop(PathStep(ContainerPath(depth_ - 1), key) +
                  ": the key appears twice in its object");
    }
    level.members.emplace_back(std::move(key), json());
    return true;
  }

  bool parse_error(std::size_t position, const std::string&,
                   const nlohmann::detail::exception& error) override {
    // 406: a number whose value is beyond a double.
    if (error.id == 406) {
      const std::string path = NextPath();
      return Stop((path.empty() ? std::string("the backup") : path) +
                  ": is a number too large for any field");
    }
    error_byte_ = position;
    return false;
  }

 private:
  // Up to this many members an object's keys are compared one by one.
  static constexpr std::size_t kKeysComparedInTurn = 16;

  bool Stop(std::string message) {
    refusal_ = Status::Refused(std::move(message));
    return false;
  }

  // A container being read. Levels are kept when they close and reused by
  // the next container as deep, so that reading a list of small objects
  // allocates little beyond the objects themselves.
  struct Level {
    json* value = nullptr;
    bool is_array = false;
    // Of an object: its members so far, the last one being read, moved
    // into it when it closes. Grown in place, the object's own vector
    // would copy every member (and all it holds) on each growth, since
    // its keys are const and cannot be moved.
    std::vector<std::pair<std::string, json>> members;
    // Of an object past kKeysComparedInTurn members: their keys.
    std::unordered_set<std::string> keys;
  };

  static bool HoldsKey(Level* level, const std::string& key) {
    if (level->members.size() < kKeysComparedInTurn) {
      for (const auto& member : level->members) {
        if (member.first == key) return true;
      }
      return false;
    }
    if (level->keys.empty()) {
      for (const auto& member : level->members) level->keys.insert(member.first);
    }
    return !level->keys.insert(key).second;
  }

  // The path of the container at `depth` (0: the root), spelt out only
  // for a refusal: each level above it names the member it is reading.
  std::string ContainerPath(std::size_t depth) const {
    std::string path;
    for (std::size_t i = 0; i < depth; ++i) {
      const Level& level = levels_[i];
      path = level.is_array
                 ? path + "[" + std::to_string(level.value->size() - 1) + "]"
                 : PathStep(path, level.members.back().first);
    }
    return path;
  }

  // The path of the value that comes next.
  std::string NextPath() const {
    if (depth_ == 0) return std::string();
    const Level& level = levels_[depth_ - 1];
    const std::string parent = ContainerPath(depth_ - 1);
    return level.is_array
               ? parent + "[" + std::to_string(level.value->size()) + "]"
               : PathStep(parent, level.members.back().first);
  }

  // Places `value` where the next value goes; returns where it went.
  json* Place(json value) {
    if (depth_ == 0) {
      root_ = std::move(value);
      return &root_;
    }
    Level& level = levels_[depth_ - 1];
    if (level.is_array) {
      level.value->push_back(std::move(value));
      return &level.value->back();
    }
    level.members.back().second = std::move(value);
    return &level.members.back().second;
  }

  bool Put(json value) {
    Place(std::move(value));
    return true;
  }

  // Places a new container and reads on inside it. Its parent gets no
  // other value before it closes, so the pointer to it stays valid.
  bool Open(json container) {
    if (depth_ >= kMostNesting) {
      const std::string path = NextPath();
      return Stop((path.empty() ? std::string("the backup") : path) +
                  ": is nested deeper than " + std::to_string(kMostNesting) +
                  " levels");
    }
    json* placed = Place(std::move(container));
    if (depth_ == levels_.size()) levels_.emplace_back();
    Level& level = levels_[depth_++];
    level.value = placed;
    level.is_array = placed->is_array();
    level.members.clear();
    level.keys.clear();
    return true;
  }

  bool Close() {
    Level& level = levels_[--depth_];
    if (!level.is_array) {
      auto& object = level.value->get_ref<json::object_t&>();
      object.reserve(level.members.size());
      for (auto& member : level.members) {
        object.emplace_back(std::move(member.first), std::move(member.second));
      }
    }
    return true;
  }

  json root_;
  std::vector<Level> levels_;
  std::size_t depth_ = 0;  // how many of levels_ are open
  std::size_t error_byte_ = 0;
  Status refusal_;
};

}  // namespace

Status ParseStrictJson(const std::string& text, json* value,
                       std::size_t* error_byte) {
  StrictReader reader;
  if (!json::sax_parse(text, &reader)) {
    if (!reader.refusal().ok()) return reader.refusal();
    *error_byte = reader.error_byte();
    return Status::InvalidArgument("is not valid JSON (at byte " +
                                   std::to_string(reader.error_byte()) + ")");
  }
  *value = reader.Take();
  return Status::OK();
}

bool Node::Fail(const std::string& problem) const {
  problem_->Set(Status::Refused(
      (path_.empty() ? std::string("the backup") : path_) + ": " + problem));
  return false;
}

bool Node::ExpectObject(std::initializer_list<const char*> known) const {
  if (!value_.is_object()) return Fail("is not an object");
  for (const auto& item : value_.items()) {
    bool listed = false;
    for (const char* key : known) listed = listed || item.key() == key;
    if (!listed) return Child(item.key()).Fail("is not a known key");
  }
  return true;
}

Node Node::Child(const std::string& key) const {
  static const json kNull;
  if (!Has(key)) {
    Fail("has no \"" + key + "\"");
    return Node(kNull, PathStep(path_, key), problem_);
  }
  return Node(value_[key], PathStep(path_, key), problem_);
}

Node Node::Item(std::size_t i) const {
  return Node(value_[i], path_ + "[" + std::to_string(i) + "]", problem_);
}

std::vector<Node> Node::Items() const {
  std::vector<Node> items;
  if (!value_.is_array()) {
    Fail("is not a list");
    return items;
  }
  for (std::size_t i = 0; i < value_.size(); ++i) items.push_back(Item(i));
  return items;
}

std::string Int32Problem(const nlohmann::ordered_json& value, std::int64_t min,
                         std::int64_t max, std::int32_t* out) {
  if (value.is_number_float()) {
    // Written with a fraction or an exponent, or with too many digits
    // for 64 bits.
    const double number = value.get<double>();
    if (std::trunc(number) == number && std::fabs(number) > kInt32Max) {
      return value.dump() + " does not fit a 32-bit integer";
    }
    return "is not an integer";
  }
  if (!value.is_number_integer()) return "is not an integer";
  const bool huge =
      value.is_number_unsigned() &&
      value.get<std::uint64_t>() > static_cast<std::uint64_t>(kInt32Max);
  const std::int64_t number = huge ? 0 : value.get<std::int64_t>();
  if (huge || number < std::numeric_limits<std::int32_t>::min() ||
      number > kInt32Max) {
    return value.dump() + " does not fit a 32-bit integer";
  }
  if (number < min || number > max) {
    return value.dump() + " is outside " + std::to_string(min) + " to " +
           std::to_string(max);
  }
  *out = static_cast<std::int32_t>(number);
  return std::string();
}

std::int32_t Node::Int32(std::int64_t min, std::int64_t max) const {
  std::int32_t number = 0;
  const std::string problem = Int32Problem(value_, min, max, &number);
  if (!problem.empty()) Fail(problem);
  return number;
}

std::string Node::Text(const Codec& codec, std::size_t limit) const {
  std::string bytes;
  if (value_.is_string()) {
    if (!codec.TryFromUtf8(value_.get<std::string>(), &bytes)) {
      Fail("cannot be written in " + codec.encoding());
      return std::string();
    }
  } else if (value_.is_object()) {
    if (!ExpectObject({"hex"})) return std::string();
    bytes = Child("hex").Hex(std::string::npos);
    if (failed()) return std::string();
  } else {
    Fail("is not a string or {\"hex\": ...}");
    return std::string();
  }
  if (bytes.find('\0') != std::string::npos) {
    Fail("holds a NUL byte");
    return std::string();
  }
  if (bytes.size() > limit) {
    Fail("is " + std::to_string(bytes.size()) + " bytes in " +
         codec.encoding() + "; at most " + std::to_string(limit) + " fit");
    return std::string();
  }
  return bytes;
}

std::string Node::Hex(std::size_t limit) const {
  if (!value_.is_string()) {
    Fail("is not a hex string");
    return std::string();
  }
  std::string bytes;
  const Status s = FromHex(value_.get<std::string>(), limit, &bytes);
  if (!s.ok()) {
    Fail(s.message());
    return std::string();
  }
  return bytes;
}

}  // namespace state
}  // namespace brellox
