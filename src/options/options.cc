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

Status ReadOptionGroup(const Store& store, std::int32_t groupType,
                       const char* name, SVR_OPTION_GROUP* group) {
  Status s = CheckGroupType(groupType);
  if (s.ok() && name == nullptr) s = Status::InvalidArgument("no group name");
  TableImage groups;
  if (s.ok()) s = ReadTable(store, kOptionGroupTable, &groups);
  if (!s.ok()) return s;
  std::int32_t index;
  FindOptionGroupIn(groups, groupType, name, &index, group);
  if (index >= 0) return Status::OK();
  return Status::NotFound("no option group '" + std::string(name) +
                          "' of type " + std::to_string(groupType));
}

Status ReadOptions(const Store& store, const char* name, std::int32_t groupType,
                   CONFIG_OPTION (&options)[kOptionGroupSlots],
                   std::int32_t* count) {
  if (name == nullptr) {
    Status s = InSession(store, Access::kRead, [&](ConfigSession& session) {
      return ReadGlobalOption(session, &options[0]);
    });
    if (s.ok()) *count = 1;
    return s;
  }
  SVR_OPTION_GROUP group;
  Status s = ReadOptionGroup(store, groupType, name, &group);
  if (!s.ok()) return s;
  std::memcpy(options, group.options, sizeof(options));
  *count = kGroupSlots;
  return s;
}

Status CountOptions(const Store& store, const char* name,
                    std::int32_t groupType, std::int32_t* count) {
  if (name == nullptr) {
    *count = 1;
    return Status::OK();
  }
  SVR_OPTION_GROUP group;
  Status s = ReadOptionGroup(store, groupType, name, &group);
  if (s.ok()) *count = kGroupSlots;
  return s;
}

Status ReadOption(const Store& store, const char* name, std::int32_t groupType,
                  std::int32_t index, CONFIG_OPTION* option) {
  Status s = CheckOptionAddress(name, groupType, index);
  CONFIG_OPTION options[kGroupSlots];
  std::int32_t count = 0;
  if (s.ok()) s = ReadOptions(store, name, groupType, options, &count);
  if (s.ok()) *option = options[index];
  return s;
}

SVR_LONG GetOptionCount(const Store& store, const char* name,
                        SVR_LONG groupType) {
  std::int32_t count = 0;
  return Reported(CountOptions(store, name, groupType, &count)) ? count : -1;
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
  CONFIG_OPTION found[kGroupSlots];
  std::int32_t n = 0;
  if (!Reported(ReadOptions(store, name, groupType, found, &n))) return 0;
  std::memcpy(options, found, (count < n ? count : n) * sizeof(CONFIG_OPTION));
  return 1;
}

Status SetOptions(ConfigSession& session, const char* name,
                  std::int32_t groupType, const CONFIG_OPTION* options,
                  std::int32_t count) {
  if (options == nullptr || count <= 0) {
    return Status::InvalidArgument("no options");
  }
  if (name == nullptr) return WriteGlobalOption(session, options[0]);
  Status s = CheckGroupType(groupType);
  std::int32_t index;
  SVR_OPTION_GROUP group;
  if (s.ok()) s = FindExistingGroup(session, groupType, name, &index, &group);
  if (!s.ok()) return s;
  CopyOptionValues(group.options, options, CappedAtGroupSlots(count));
  return WriteOptionGroup(session, index, group);
}

SVR_LONG SetOptionInfo(const Store& store, const char* name, SVR_LONG groupType,
                       const CONFIG_OPTION* options, SVR_LONG count) {
  if (options == nullptr || count <= 0) {
    SetLastError(Status::Code::kInvalidArgument, "no options");
    return 0;
  }
  return Reported(InSession(store, Access::kWrite,
                            [&](ConfigSession& session) {
                              return SetOptions(session, name, groupType,
                                                options, count);
                            }))
             ? 1
             : 0;
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
  CONFIG_OPTION found;
  if (!Reported(ReadOption(store, name, groupType, index, &found))) return 0;
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
