#include "src/options/options.h"

#include <cstring>

#include "src/options/option_file.h"
#include "src/store/config_file.h"
#include "src/store/text.h"

namespace brellox {

namespace {

constexpr SVR_LONG kGroupSlots = 6;
constexpr std::size_t kGroupNameWidth = sizeof(SVR_OPTION_GROUP::groupName);

SVR_LONG CappedAtGroupSlots(SVR_LONG count) {
  return count < kGroupSlots ? count : kGroupSlots;
}

bool IsGroupIndex(SVR_LONG index) { return index >= 0 && index < kGroupSlots; }

// Finds the group selected by (groupType, name) in an open session: false
// when the type cannot name a group, no group matches, or the table cannot
// be read.
bool LookUpGroup(ConfigSession& session, SVR_LONG groupType, const char* name,
                 std::int32_t* index, SVR_OPTION_GROUP* group) {
  if (groupType <= 0) return false;
  return FindOptionGroup(session, groupType, name, index, group).ok() &&
         *index >= 0;
}

}  // namespace

SVR_LONG AddOptionInfo(const Store& store, const char* name, SVR_LONG groupType,
                       const CONFIG_OPTION* options, SVR_LONG count) {
  // A name that fills the whole field would be stored without a terminator
  // and could not be told apart from longer names sharing its first bytes.
  if (groupType <= 0 || name == nullptr || options == nullptr || count <= 0 ||
      FieldLength(name, kGroupNameWidth) >= kGroupNameWidth) {
    return 0;
  }
  ConfigSession session;
  if (!session.Open(store, Access::kWrite).ok()) return 0;
  std::int32_t index;
  SVR_OPTION_GROUP group;
  if (!FindOptionGroup(session, groupType, name, &index, &group).ok() ||
      index >= 0) {
    return 0;
  }
  std::memset(&group, 0, sizeof(group));
  group.groupType = groupType;
  BoundedCopy(group.groupName, kGroupNameWidth, name, kGroupNameWidth);
  std::memcpy(group.options, options,
              CappedAtGroupSlots(count) * sizeof(CONFIG_OPTION));
  return AppendOptionGroup(session, group).ok() && session.Commit().ok() ? 1
                                                                         : 0;
}

SVR_LONG GetOptionCount(const Store& store, const char* name,
                        SVR_LONG groupType) {
  if (name == nullptr) return 1;
  ConfigSession session;
  if (!session.Open(store, Access::kRead).ok()) return -1;
  std::int32_t index;
  SVR_OPTION_GROUP group;
  return LookUpGroup(session, groupType, name, &index, &group) ? kGroupSlots
                                                               : -1;
}

SVR_LONG GetOptionInfo(const Store& store, const char* name, SVR_LONG groupType,
                       CONFIG_OPTION* options, SVR_LONG count) {
  if (options == nullptr || count <= 0) return 0;
  // Cleared before anything can fail, so the records read as empty after
  // any failure.
  std::memset(options, 0, static_cast<std::size_t>(count) * sizeof(*options));
  ConfigSession session;
  if (!session.Open(store, Access::kRead).ok()) return 0;
  if (name == nullptr) return ReadGlobalOption(session, options).ok() ? 1 : 0;
  std::int32_t index;
  SVR_OPTION_GROUP group;
  if (!LookUpGroup(session, groupType, name, &index, &group)) return 0;
  std::memcpy(options, group.options,
              CappedAtGroupSlots(count) * sizeof(CONFIG_OPTION));
  return 1;
}

SVR_LONG SetOptionInfo(const Store& store, const char* name, SVR_LONG groupType,
                       const CONFIG_OPTION* options, SVR_LONG count) {
  if (options == nullptr || count <= 0) return 0;
  ConfigSession session;
  if (!session.Open(store, Access::kWrite).ok()) return 0;
  if (name == nullptr) {
    return WriteGlobalOption(session, options[0]).ok() &&
                   session.Commit().ok()
               ? 1
               : 0;
  }
  std::int32_t index;
  SVR_OPTION_GROUP group;
  if (!LookUpGroup(session, groupType, name, &index, &group)) return 0;
  CopyOptionValues(group.options, options, CappedAtGroupSlots(count));
  return WriteOptionGroup(session, index, group).ok() && session.Commit().ok()
             ? 1
             : 0;
}

SVR_LONG GetOptionInfo(const Store& store, const char* name, SVR_LONG groupType,
                       SVR_LONG index, CONFIG_OPTION& option) {
  std::memset(&option, 0, sizeof(option));
  if (name == nullptr) {
    return index == 0 ? GetOptionInfo(store, nullptr, groupType, &option, 1)
                      : 0;
  }
  if (!IsGroupIndex(index)) return 0;
  CONFIG_OPTION slots[kGroupSlots];
  if (GetOptionInfo(store, name, groupType, slots, kGroupSlots) <= 0) return 0;
  option = slots[index];
  return 1;
}

SVR_LONG SetOptionInfo(const Store& store, const char* name, SVR_LONG groupType,
                       SVR_LONG index, const CONFIG_OPTION& option) {
  if (name == nullptr ? index != 0 : (!IsGroupIndex(index) || groupType <= 0)) {
    return 0;
  }
  ConfigSession session;
  if (!session.Open(store, Access::kWrite).ok()) return 0;
  // The new value is merged into a copy of what is stored, and the stored
  // options then take their values from that copy, each by its own type:
  // the same bytes as reading every slot and setting them all back.
  if (name == nullptr) {
    CONFIG_OPTION merged;
    if (!ReadGlobalOption(session, &merged).ok()) return 0;
    CopyOptionValues(&merged, &option, 1);
    return WriteGlobalOption(session, merged).ok() && session.Commit().ok()
               ? 1
               : 0;
  }
  std::int32_t position;
  SVR_OPTION_GROUP group;
  if (!LookUpGroup(session, groupType, name, &position, &group)) return 0;
  CONFIG_OPTION merged[kGroupSlots];
  std::memcpy(merged, group.options, sizeof(merged));
  CopyOptionValues(&merged[index], &option, 1);
  CopyOptionValues(group.options, merged, kGroupSlots);
  return WriteOptionGroup(session, position, group).ok() &&
                 session.Commit().ok()
             ? 1
             : 0;
}

}  // namespace brellox
