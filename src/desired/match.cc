#include "src/desired/match.h"

#include <string_view>
#include <unordered_map>

#include "src/store/text.h"

namespace brellox {
namespace desired {

namespace {

// Views of the keys, which outlive it: nothing copied.
using FirstIndex = std::unordered_map<std::string_view, std::int32_t>;

// The first record of each key; `partners` starts as kUnpaired for each
// first and kRepeat for each later record of a key.
FirstIndex FirstOfEachKey(const std::vector<std::string>& keys,
                          std::vector<std::int32_t>* partners) {
  FirstIndex first;
  first.reserve(keys.size());
  partners->assign(keys.size(), kUnpaired);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (!first.emplace(keys[i], static_cast<std::int32_t>(i)).second) {
      (*partners)[i] = kRepeat;
    }
  }
  return first;
}

// Each first record's partner on the other side, by the first of its key
// there.
void FindPartners(const std::vector<std::string>& keys,
                  const FirstIndex& other_first,
                  std::vector<std::int32_t>* partners) {
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if ((*partners)[i] == kRepeat) continue;
    const auto found = other_first.find(keys[i]);
    if (found != other_first.end()) (*partners)[i] = found->second;
  }
}

}  // namespace

KeyMatch MatchKeys(const std::vector<std::string>& have,
                   const std::vector<std::string>& want) {
  KeyMatch match;
  const FirstIndex have_first = FirstOfEachKey(have, &match.want_of);
  const FirstIndex want_first = FirstOfEachKey(want, &match.have_of);
  FindPartners(have, want_first, &match.want_of);
  FindPartners(want, have_first, &match.have_of);
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
