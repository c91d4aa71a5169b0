#include "src/options/option_file.h"

#include <cstddef>
#include <cstring>
#include <limits>
#include <string_view>

#include "src/options/copy_option_values.h"
#include "src/store/text.h"

namespace brellox {

namespace {

constexpr std::int64_t kGroupSize = sizeof(SVR_OPTION_GROUP);

std::int64_t GroupOffset(const SVR_CFG_HEADER& header, std::int32_t index) {
  return static_cast<std::int64_t>(header.optionGroupsOffset) +
         index * kGroupSize;
}

constexpr std::size_t kNameWidth = sizeof(SVR_OPTION_GROUP::groupName);
static_assert(offsetof(SVR_OPTION_GROUP, groupType) == 0 &&
                  offsetof(SVR_OPTION_GROUP, groupName) == 4,
              "a group's key is its first bytes: type, then name");

// (groupType, groupName) as the record's type bytes and name text.
void TypeAndNameKeys(const TableImage& groups, KeyList* keys) {
  keys->reserve(static_cast<std::size_t>(groups.count()));
  for (std::int32_t i = 0; i < groups.count(); ++i) {
    const char* record = groups.record(i);
    keys->emplace_back(
        std::string_view(record, 4 + FieldLength(record + 4, kNameWidth)), i);
  }
}

}  // namespace

Status ReadGlobalOption(ConfigSession& session, CONFIG_OPTION* record) {
  // Read into a copy first so that a failed read leaves `*record` whole.
  CONFIG_OPTION stored;
  Status s = session.Read(kGlobalOptionOffset, sizeof(stored), &stored);
  if (s.ok()) *record = stored;
  return s;
}

Status WriteGlobalOption(ConfigSession& session, const CONFIG_OPTION& source) {
  CONFIG_OPTION stored;
  Status s = ReadGlobalOption(session, &stored);
  if (!s.ok()) return s;
  CopyOptionValues(&stored, &source, 1);
  return session.Write(kGlobalOptionOffset, &stored, sizeof(stored));
}

const TableSpec kOptionGroupTable{Section::kOptionGroups, nullptr};

void FindOptionGroupIn(const TableImage& groups, std::int32_t groupType,
                       const char* name, std::int32_t* index,
                       SVR_OPTION_GROUP* group) {
  *index = -1;
  char key[4 + kNameWidth];
  const std::size_t length = FieldLength(name, kNameWidth + 1);
  // A name longer than the field matches no group: the scan finds none.
  if (length <= kNameWidth) {
    std::memcpy(key, &groupType, 4);
    std::memcpy(key + 4, name, length);
    std::int32_t found;
    if (groups.FindIndexed(TypeAndNameKeys, std::string_view(key, 4 + length),
                           &found)) {
      if (found >= 0) {
        *index = found;
        std::memcpy(group, groups.record(found), sizeof(*group));
      }
      return;
    }
  }
  for (std::int32_t i = 0; i < groups.count(); ++i) {
    SVR_OPTION_GROUP candidate;
    std::memcpy(&candidate, groups.record(i), sizeof(candidate));
    if (candidate.groupType == groupType &&
        FieldEquals(candidate.groupName, sizeof(candidate.groupName), name)) {
      *index = i;
      *group = candidate;
      return;
    }
  }
}

Status FindOptionGroup(ConfigSession& session, std::int32_t groupType,
                       const char* name, std::int32_t* index,
                       SVR_OPTION_GROUP* group) {
  *index = -1;
  TableImage groups;
  Status s = TableImage::Load(session, kOptionGroupTable, &groups);
  if (s.ok()) FindOptionGroupIn(groups, groupType, name, index, group);
  return s;
}

Status WriteOptionGroup(ConfigSession& session, std::int32_t index,
                        const SVR_OPTION_GROUP& group) {
  return session.Write(GroupOffset(session.header(), index), &group,
                       sizeof(group));
}

Status AppendOptionGroup(ConfigSession& session,
                         const SVR_OPTION_GROUP& group) {
  return AppendOptionGroups(session, &group, 1);
}

Status AppendOptionGroups(ConfigSession& session,
                          const SVR_OPTION_GROUP* groups, std::int32_t n) {
  if (n <= 0) return Status::OK();
  SVR_CFG_HEADER& header = session.header();
  const std::int64_t end = GroupOffset(header, header.optionGroupsCount);
  if (end + n * kGroupSize > std::numeric_limits<std::int32_t>::max()) {
    return Status::Refused("the file would outgrow its 32-bit offsets");
  }
  Status s =
      session.Write(end, groups, static_cast<std::size_t>(n) * kGroupSize);
  if (!s.ok()) return s;
  header.optionGroupsCount += n;
  return session.WriteHeader();
}

}  // namespace brellox
