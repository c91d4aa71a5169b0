// JSON in the shape of an export (doc/export_format.md) or a desired state
// (doc/apply_format.md), read strictly: a parse that refuses what an export
// never writes, and values that know where they are, so that every refusal
// names the first offending path ("users[2].name: is blank").
#ifndef BRELLOX_STATE_JSON_READER_H_
#define BRELLOX_STATE_JSON_READER_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/status.h"
#include "src/state/codec.h"

namespace brellox {
namespace state {

// Parses `text`. InvalidArgument "is not valid JSON (at byte N)", with
// `*error_byte` where it stops, when it is not JSON at all. Refused, naming
// the path ("users[3].name"), for a key that an object holds twice, a number
// too large to read (1e400, or 400 digits), and an object or list nested
// deeper than 64 levels, none of which an export ever writes. Never puts a
// text of the JSON in a message.
Status ParseStrictJson(const std::string& text, nlohmann::ordered_json* value,
                       std::size_t* error_byte);

// The largest value of a 32-bit field.
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// Why `value` is no integer within [min, max] (both within 32 bits), for a
// refusal; empty, with the integer in `*out`, when it is one.
std::string Int32Problem(const nlohmann::ordered_json& value, std::int64_t min,
                         std::int64_t max, std::int32_t* out);

// The first refusal met while reading one JSON value, kept for its reader.
class ReadProblem {
 public:
  bool failed() const { return !first_.ok(); }
  const Status& status() const { return first_; }
  void Set(Status status) {
    if (first_.ok()) first_ = std::move(status);
  }

 private:
  Status first_;
};

// A value and where it is ("users[2].name"). A method that finds the value
// wrong records a refusal naming the path in its ReadProblem (the first one
// is kept) and returns a harmless stand-in (0, "", no items, a null child),
// so that a reader goes on to its next check point and returns the problem's
// status there. Values of texts never appear in a message: they may be
// passwords.
class Node {
 public:
  Node(const nlohmann::ordered_json& value, std::string path,
       ReadProblem* problem)
      : value_(value), path_(std::move(path)), problem_(problem) {}

  const nlohmann::ordered_json& value() const { return value_; }
  const std::string& path() const { return path_; }
  ReadProblem* problem() const { return problem_; }
  bool failed() const { return problem_->failed(); }

  // Records "PATH: problem" (the first only). Returns false.
  bool Fail(const std::string& problem) const;

  // Requires an object whose keys are all among `known`.
  bool ExpectObject(std::initializer_list<const char*> known) const;

  bool Has(const std::string& key) const {
    return value_.is_object() && value_.contains(key);
  }
  // The member `key`; a failure (and a null node) when there is none.
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
  ReadProblem* problem_;
};

}  // namespace state
}  // namespace brellox

#endif  // BRELLOX_STATE_JSON_READER_H_
