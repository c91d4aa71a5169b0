#include "src/options/option_file.h"

#include <cstring>
#include <limits>

#include "src/options/copy_option_values.h"
#include "src/store/buffer.h"
#include "src/store/text.h"

namespace brellox {

namespace {

constexpr std::int64_t kGroupSize = sizeof(SVR_OPTION_GROUP);

std::int64_t GroupOffset(const SVR_CFG_HEADER& header, std::int32_t index) {
  return static_cast<std::int64_t>(header.optionGroupsOffset) +
         index * kGroupSize;
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

Status FindOptionGroup(ConfigSession& session, std::int32_t groupType,
                       const char* name, std::int32_t* index,
                       SVR_OPTION_GROUP* group) {
  *index = -1;
  const std::int32_t count = session.header().optionGroupsCount;
  if (count <= 0) return Status::OK();
  Buffer table;
  Status s = Buffer::AllocateUninitialized(
      static_cast<std::size_t>(count) * kGroupSize, &table);
  if (s.ok())
    s = session.Read(GroupOffset(session.header(), 0), table.size(),
                     table.data());
  if (!s.ok()) return s;
  for (std::int32_t i = 0; i < count; ++i) {
    SVR_OPTION_GROUP candidate;
    std::memcpy(&candidate, table.data() + i * kGroupSize, sizeof(candidate));
    if (candidate.groupType == groupType &&
        FieldEquals(candidate.groupName, sizeof(candidate.groupName), name)) {
      *index = i;
      *group = candidate;
      return Status::OK();
    }
  }
  return Status::OK();
}

Status WriteOptionGroup(ConfigSession& session, std::int32_t index,
                        const SVR_OPTION_GROUP& group) {
  return session.Write(GroupOffset(session.header(), index), &group,
                       sizeof(group));
}

Status AppendOptionGroup(ConfigSession& session,
                         const SVR_OPTION_GROUP& group) {
  SVR_CFG_HEADER& header = session.header();
  const std::int64_t end = GroupOffset(header, header.optionGroupsCount);
  if (end + kGroupSize > std::numeric_limits<std::int32_t>::max()) {
    return Status::Refused("the file would outgrow its 32-bit offsets");
  }
  Status s = session.Write(end, &group, sizeof(group));
  if (!s.ok()) return s;
  header.optionGroupsCount += 1;
  return session.WriteHeader();
}

}  // namespace brellox
