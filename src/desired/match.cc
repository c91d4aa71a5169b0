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

}  // namespace

KeyMatch MatchKeys(const std::vector<std::string>& have,
                   const std::vector<std::string>& want) {
  // One index of views of the keys (which outlive it: nothing copied),
  // filled from `want` and completed from `have`.
  std::unordered_map<std::string_view, Firsts> firsts(want.size() +
                                                      have.size());
  KeyMatch match;
  match.have_of.assign(want.size(), kUnpaired);
  match.want_of.assign(have.size(), kUnpaired);
  for (std::size_t i = 0; i < want.size(); ++i) {
    Firsts& first = firsts[want[i]];
    if (first.want == kUnpaired) {
      first.want = static_cast<std::int32_t>(i);
    } else {
      match.have_of[i] = kRepeat;
    }
  }
  for (std::size_t i = 0; i < have.size(); ++i) {
    Firsts& first = firsts[have[i]];
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
  const std::string id = std::to_string(priv_id);
  std::string key;
  key.reserve(user.size() + 1 + id.size());
  key.append(user).push_back('\0');
  return key.append(id);
}

}  // namespace desired
}  // namespace brellox
