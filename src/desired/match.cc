#include "src/desired/match.h"

#include <string_view>
#include <unordered_map>

#include "src/store/text.h"

namespace brellox {
namespace desired {

namespace {

// The first record of a key on each side, kUnpaired where a side has none.
struct Firsts {
  std::int32_t have = kUnpaired;
  std::int32_t want = kUnpaired;
};

// MatchKeys over keys held in the index as `IndexKey`.
template <class IndexKey, class Key>
KeyMatch MatchKeysAs(const std::vector<Key>& have,
                     const std::vector<Key>& want) {
  // One index, filled from `want` and completed from `have`.
  std::unordered_map<IndexKey, Firsts> firsts(want.size() + have.size());
  KeyMatch match;
  match.have_of.assign(want.size(), kUnpaired);
  match.want_of.assign(have.size(), kUnpaired);
  for (std::size_t i = 0; i < want.size(); ++i) {
    Firsts& first = firsts[IndexKey(want[i])];
    if (first.want == kUnpaired) {
      first.want = static_cast<std::int32_t>(i);
    } else {
      match.have_of[i] = kRepeat;
    }
  }
  for (std::size_t i = 0; i < have.size(); ++i) {
    Firsts& first = firsts[IndexKey(have[i])];
    if (first.have != kUnpaired) {
      match.want_of[i] = kRepeat;
      continue;
    }
    first.have = static_cast<std::int32_t>(i);
    match.want_of[i] = first.want;
    if (first.want != kUnpaired) match.have_of[first.want] = first.have;
  }
  return match;
}

}  // namespace

KeyMatch MatchKeys(const std::vector<std::string>& have,
                   const std::vector<std::string>& want) {
  // Views of the keys, which outlive the index: nothing copied.
  return MatchKeysAs<std::string_view>(have, want);
}

KeyMatch MatchKeys(const std::vector<std::uint64_t>& have,
                   const std::vector<std::uint64_t>& want) {
  return MatchKeysAs<std::uint64_t>(have, want);
}

std::string FieldBytes(const char* field, std::size_t width) {
  return std::string(field, FieldLength(field, width));
}

std::string NameKey(const SVC_GDB_CONN_INFO& record) {
  return FieldBytes(record.name, sizeof(record.name));
}
std::string NameKey(const SVC_GDB_INFO& record) {
  return FieldBytes(record.name, sizeof(record.name));
}
std::string NameKey(const SVR_USER_REC& record) {
  return FieldBytes(record.name, sizeof(record.name));
}

std::string GroupKey(const SVR_OPTION_GROUP& group) {
  return std::to_string(group.groupType) + " " +
         FieldBytes(group.groupName, sizeof(group.groupName));
}

}  // namespace desired
}  // namespace brellox
