// The JSON of an export (see doc/export_format.md), read strictly: a parse
// that refuses what an export never writes, and values that know where they
// are, so that every refusal names the first offending path.
#ifndef BRELLOX_TOOLS_BRELLOX_BACKUP_JSON_H_
#define BRELLOX_TOOLS_BRELLOX_BACKUP_JSON_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/brellox/codec.h"

namespace brellox {
namespace tool {

// Parses `text` as the JSON of an export. False, with `*error_byte` where
// it stops, when it is not JSON at all. Throws a refusal ToolError naming
// the path ("users[3].name") of a key that an object holds twice, and of a
// number too large to read (1e400, or 400 digits), and of an object or
// list nested deeper than 64 levels, none of which an export ever writes.
// Never puts a text of the JSON in a message.
bool ParseBackup(const std::string& text, nlohmann::ordered_json* backup,
                 std::size_t* error_byte);

// A value of the backup and where it is ("users[2].name"). Every method
// that reads it throws a refusal ToolError naming the path. Values of texts
// never appear in a message: they may be passwords.
class Node {
 public:
  Node(const nlohmann::ordered_json& value, std::string path)
      : value_(value), path_(std::move(path)) {}

  const nlohmann::ordered_json& value() const { return value_; }

  [[noreturn]] void Fail(const std::string& problem) const;

  // Requires an object whose keys are all among `known`.
  void ExpectObject(std::initializer_list<const char*> known) const;

  bool Has(const std::string& key) const { return value_.contains(key); }
  Node Child(const std::string& key) const;
  // Item `i` of a list known to hold more.
  Node Item(std::size_t i) const;
  // The items of a list.
  std::vector<Node> Items() const;

  // An integer within [min, max] (both within 32 bits).
  std::int32_t Int32(std::int64_t min, std::int64_t max) const;
  // A text written as a string, or {"hex": "..."} for bytes that do not
  // convert, as bytes in the file's code page: at most `limit`, no NUL.
  std::string Text(const Codec& codec, std::size_t limit) const;
  // Bytes written as hex digits: at most `limit`.
  std::string Hex(std::size_t limit) const;

 private:
  const nlohmann::ordered_json& value_;
  std::string path_;
};

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_BACKUP_JSON_H_
