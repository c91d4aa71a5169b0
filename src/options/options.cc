#include "src/options/options.h"

#include <cstring>
#include <string>

#include "src/options/option_file.h"
#include "src/store/in_session.h"
#include "src/store/read_cache.h"
#include "src/store/text.h"

namespace brellox {

namespace {

constexpr SVR_LONG kGroupSlots = kOptionGroupSlots;
constexpr std::size_t kGroupNameWidth = sizeof(SVR_OPTION_GROUP::groupName);

SVR_LONG CappedAtGroupSlots(SVR_LONG count) {
  return count < kGroupSlots ? count : kGroupSlots;
}

bool IsGroupIndex(SVR_LONG index) { return index >= 0 && index < kGroupSlots; }

Status CheckGroupType(std::int32_t groupType) {
  if (groupType > 0) return Status::OK();
  return Status::InvalidArgument("group type " + std::to_string(groupType) +
                                 " is not above 0");
}

// Finds the group selected by (groupType, name) in an open session,
// reporting why when the type cannot name a group, no group matches, or
// the table cannot be read (last_error.h).
bool LookUpGroup(ConfigSession& session, SVR_LONG groupType, const char* name,
                 std::int32_t* index, SVR_OPTION_GROUP* group) {
  Status s = CheckGroupType(groupType);
  if (s.ok()) s = FindExistingGroup(session, groupType, name, index, group);
  return Reported(s);
}

// For calls that only read: the group selected by (groupType, name), looked
// up in the option-group table as the read cache gives it (OpenTable).
// False, with the reason reported, as LookUpGroup.
bool ReadGroup(const Store& store, SVR_LONG groupType, const char* name,
               SVR_OPTION_GROUP* group) {
  Status s = CheckGroupType(groupType);
  ConfigSession session;
  TableImage groups;
  if (s.ok()) {
    s = OpenTable(store, Access::kRead, kOptionGroupTable, &session, &groups);
  }
  if (s.ok()) {
    std::int32_t index;
    FindOptionGroupIn(groups, groupType, name, &index, group);
    if (index < 0) {
      s = Status::NotFound("no option group '" + std::string(name) +
                           "' of type " + std::to_string(groupType));
    }
  }
  return Reported(s);
}

}  // namespace

Status FindExistingGroup(ConfigSession& session, std::int32_t groupType,
                         const char* name, std::int32_t* index,
                         SVR_OPTION_GROUP* group) {
  Status s = FindOptionGroup(session, groupType, name, index, group);
  if (s.ok() && *index < 0) {
    return Status::NotFound("no option group '" + std::string(name) +
                            "' of type " + std::to_string(groupType));
  }
  return s;
}

Status CheckNewGroup(const char* name, std::int32_t groupType,
                     const CONFIG_OPTION* options, std::int32_t count) {
  Status s = CheckGroupType(groupType);
  if (!s.ok()) return s;
  if (name == nullptr) return Status::InvalidArgument("no group name");
  // A name that fills the whole field would be stored without a terminator
  // and could not be told apart from longer names sharing its first bytes.
  if (FieldLength(name, kGroupNameWidth) >= kGroupNameWidth) {
    return Status::InvalidArgument("group name is longer than " +
                                   std::to_string(kGroupNameWidth - 1) +
                                   " bytes");
  }
  if (options == nullptr || count <= 0) {
    return Status::InvalidArgument("no options");
  }
  return Status::OK();
}

Status AddOptionGroup(ConfigSession& session, const char* name,
                      std::int32_t groupType, const CONFIG_OPTION* options,
                      std::int32_t count) {
  Status s = CheckNewGroup(name, groupType, options, count);
  std::int32_t index;
  SVR_OPTION_GROUP group;
  if (s.ok()) s = FindOptionGroup(session, groupType, name, &index, &group);
  if (!s.ok()) return s;
  if (index >= 0) {
    return Status::AlreadyExists("option group '" + std::string(name) +
                                 "' of type " + std::to_string(groupType) +
                                 " already exists");
  }
  std::memset(&group, 0, sizeof(group));
  group.groupType = groupType;
  BoundedCopy(group.groupName, kGroupNameWidth, name, kGroupNameWidth);
  std::memcpy(group.options, options,
              CappedAtGroupSlots(count) * sizeof(CONFIG_OPTION));
  return AppendOptionGroup(session, group);
}

SVR_LONG AddOptionInfo(const Store& store, const char* name, SVR_LONG groupType,
                       const CONFIG_OPTION* options, SVR_LONG count) {
  if (!Reported(CheckNewGroup(name, groupType, options, count))) return 0;
  return Reported(InSession(store, Access::kWrite,
                            [&](ConfigSession& session) {
                              return AddOptionGroup(session, name, groupType,
                                                    options, count);
                            }))
             ? 1
             : 0;
}

SVR_LONG GetOptionCount(const Store& store, const char* name,
                        SVR_LONG groupType) {
  if (name == nullptr) return 1;
  SVR_OPTION_GROUP group;
  return ReadGroup(store, groupType, name, &group) ? kGroupSlots : -1;
}

SVR_LONG GetOptionInfo(const Store& store, const char* name, SVR_LONG groupType,
                       CONFIG_OPTION* options, SVR_LONG count) {
  if (options == nullptr || count <= 0) {
    SetLastError(Status::Code::kInvalidArgument, "no options to fill");
    return 0;
  }
  // Cleared before anything can fail, so the records read as empty after
  // any failure.
  std::memset(options, 0, static_cast<std::size_t>(count) * sizeof(*options));
  if (name == nullptr) {
    ConfigSession session;
    Status s = session.Open(store, Access::kRead);
    if (s.ok()) s = ReadGlobalOption(session, options);
    return Reported(s) ? 1 : 0;
  }
  SVR_OPTION_GROUP group;
  if (!ReadGroup(store, groupType, name, &group)) return 0;
  std::memcpy(options, group.options,
              CappedAtGroupSlots(count) * sizeof(CONFIG_OPTION));
  return 1;
}

SVR_LONG SetOptionInfo(const Store& store, const char* name, SVR_LONG groupType,
                       const CONFIG_OPTION* options, SVR_LONG count) {
  if (options == nullptr || count <= 0) {
    SetLastError(Status::Code::kInvalidArgument, "no options");
    return 0;
  }
  ConfigSession session;
  if (!Reported(session.Open(store, Access::kWrite))) return 0;
  if (name == nullptr) {
    Status s = WriteGlobalOption(session, options[0]);
    if (s.ok()) s = session.Commit();
    return Reported(s) ? 1 : 0;
  }
  std::int32_t index;
  SVR_OPTION_GROUP group;
  if (!LookUpGroup(session, groupType, name, &index, &group)) return 0;
  CopyOptionValues(group.options, options, CappedAtGroupSlots(count));
  Status s = WriteOptionGroup(session, index, group);
  if (s.ok()) s = session.Commit();
  return Reported(s) ? 1 : 0;
}

Status CheckOptionAddress(const char* name, std::int32_t groupType,
                          std::int32_t index) {
  if (name == nullptr) {
    if (index == 0) return Status::OK();
    return Status::InvalidArgument("the global option has only index 0");
  }
  if (!IsGroupIndex(index)) {
    return Status::InvalidArgument("option index " + std::to_string(index) +
                                   " is outside 0 to 5");
  }
  return CheckGroupType(groupType);
}

Status GetOption(ConfigSession& session, const char* name,
                 std::int32_t groupType, std::int32_t index,
                 CONFIG_OPTION* option) {
  Status s = CheckOptionAddress(name, groupType, index);
  if (!s.ok()) return s;
  if (name == nullptr) return ReadGlobalOption(session, option);
  std::int32_t position;
  SVR_OPTION_GROUP group;
  s = FindExistingGroup(session, groupType, name, &position, &group);
  if (s.ok()) *option = group.options[index];
  return s;
}

Status SetOption(ConfigSession& session, const char* name,
                 std::int32_t groupType, std::int32_t index,
                 const CONFIG_OPTION& option) {
  Status s = CheckOptionAddress(name, groupType, index);
  if (!s.ok()) return s;
  if (name == nullptr) return WriteGlobalOption(session, option);
  // The new value is merged into a copy of what is stored, and the stored
  // options then take their values from that copy, each by its own type:
  // the same bytes as reading every slot and setting them all back.
  std::int32_t position;
  SVR_OPTION_GROUP group;
  s = FindExistingGroup(session, groupType, name, &position, &group);
  if (!s.ok()) return s;
  CONFIG_OPTION merged[kGroupSlots];
  std::memcpy(merged, group.options, sizeof(merged));
  CopyOptionValues(&merged[index], &option, 1);
  CopyOptionValues(group.options, merged, kGroupSlots);
  return WriteOptionGroup(session, position, group);
}

SVR_LONG GetOptionInfo(const Store& store, const char* name, SVR_LONG groupType,
                       SVR_LONG index, CONFIG_OPTION& option) {
  std::memset(&option, 0, sizeof(option));
  if (!Reported(CheckOptionAddress(name, groupType, index))) return 0;
  if (name != nullptr) {
    SVR_OPTION_GROUP group;
    if (!ReadGroup(store, groupType, name, &group)) return 0;
    option = group.options[index];
    return 1;
  }
  CONFIG_OPTION found;
  Status s = InSession(store, Access::kRead, [&](ConfigSession& session) {
    return GetOption(session, name, groupType, index, &found);
  });
  if (!Reported(s)) return 0;
  option = found;
  return 1;
}

SVR_LONG SetOptionInfo(const Store& store, const char* name, SVR_LONG groupType,
                       SVR_LONG index, const CONFIG_OPTION& option) {
  if (!Reported(CheckOptionAddress(name, groupType, index))) return 0;
  return Reported(InSession(store, Access::kWrite,
                            [&](ConfigSession& session) {
                              return SetOption(session, name, groupType, index,
                                               option);
                            }))
             ? 1
             : 0;
}

}  // namespace brellox
