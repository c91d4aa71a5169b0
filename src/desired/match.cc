#include "src/desired/match.h"

#include <unordered_map>

#include "src/store/text.h"

namespace brellox {
namespace desired {

namespace {

using FirstIndex = std::unordered_map<std::string, std::int32_t>;

FirstIndex FirstOfEachKey(const std::vector<std::string>& keys) {
  FirstIndex first;
  first.reserve(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    first.emplace(keys[i], static_cast<std::int32_t>(i));
  }
  return first;
}

// Each record's partner on the other side, by the first of each key there;
// a record that is not the first of its key on its own side is a repeat.
std::vector<std::int32_t> Partners(const std::vector<std::string>& keys,
                                   const FirstIndex& own_first,
                                   const FirstIndex& other_first) {
  std::vector<std::int32_t> partners(keys.size(), kUnpaired);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (own_first.at(keys[i]) != static_cast<std::int32_t>(i)) {
      partners[i] = kRepeat;
      continue;
    }
    const auto found = other_first.find(keys[i]);
    if (found != other_first.end()) partners[i] = found->second;
  }
  return partners;
}

}  // namespace

KeyMatch MatchKeys(const std::vector<std::string>& have,
                   const std::vector<std::string>& want) {
  const FirstIndex have_first = FirstOfEachKey(have);
  const FirstIndex want_first = FirstOfEachKey(want);
  KeyMatch match;
  match.want_of = Partners(have, have_first, want_first);
  match.have_of = Partners(want, want_first, have_first);
  return match;
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

std::string PrivilegeKey(const std::string& user, std::int32_t priv_id) {
  // A NUL cannot be part of a name, so the pair reads back one way only.
  return user + '\0' + std::to_string(priv_id);
}

}  // namespace desired
}  // namespace brellox
