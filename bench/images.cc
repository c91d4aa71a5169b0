#include "bench/images.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "src/store/default_file.h"
#include "src/store/file_image.h"
#include "src/store/format.h"

namespace brellox {
namespace bench {
namespace {

void CopyText(char* field, std::size_t width, const std::string& text) {
  std::memset(field, 0, width);
  std::memcpy(field, text.data(), std::min(width, text.size()));
}

SVR_OPTION_GROUP Group(std::int32_t i) {
  SVR_OPTION_GROUP group{};
  group.groupType = kGroupType;
  CopyText(group.groupName, sizeof(group.groupName), GroupName(i));
  for (int k = 0; k < 6; ++k) {
    CONFIG_OPTION& option = group.options[k];
    std::snprintf(option.name, sizeof(option.name), "option%d", k);
    if (k == 0) {
      option.type = SVR_OPTION_INT32;
      std::memcpy(option.value, &i, sizeof(i));
    } else {
      option.type = SVR_OPTION_TEXT;
      std::snprintf(reinterpret_cast<char*>(option.value), sizeof(option.value),
                    "value %d.%d", i, k);
    }
  }
  return group;
}

}  // namespace

ImageSpec ServerSpec() {
  ImageSpec spec;
  spec.privileges = {100, 0};
  spec.option_groups = 20;
  return spec;
}

std::string UserName(std::int32_t i) { return "user" + std::to_string(i); }
std::string UserPassword(std::int32_t i) {
  return "password" + std::to_string(i);
}
std::string ConnName(std::int32_t i) { return "conn" + std::to_string(i); }
std::string GdbName(std::int32_t i) { return "gdb" + std::to_string(i); }
std::string GroupName(std::int32_t i) { return "group" + std::to_string(i); }

std::string BuildImage(const ImageSpec& spec) {
  const std::string base = DefaultConfigImage();
  FileTables tables;
  std::memcpy(&tables.header, base.data(), sizeof(tables.header));
  std::memcpy(&tables.global_option, &base[kGlobalOptionOffset],
              sizeof(tables.global_option));
  for (std::int32_t i = 1; i <= spec.conns.count; ++i) {
    SVC_GDB_CONN_INFO conn{};
    if (i == 1) {
      std::memcpy(&conn, &base[kFirstTableOffset], sizeof(conn));
    } else {
      conn.id = i;
      CopyText(conn.name, sizeof(conn.name), ConnName(i));
    }
    tables.conns.push_back(conn);
  }
  for (std::int32_t i = 1; i <= spec.gdbs.count; ++i) {
    SVC_GDB_INFO gdb{};
    gdb.id = i;
    CopyText(gdb.name, sizeof(gdb.name), GdbName(i));
    tables.gdbs.push_back(gdb);
  }
  for (std::int32_t i = 1; i <= spec.users.count; ++i) {
    SVR_USER_REC user{};
    user.id = i;
    CopyText(user.name, sizeof(user.name), UserName(i));
    CopyText(user.password, sizeof(user.password), UserPassword(i));
    tables.users.push_back(user);
  }
  for (std::int32_t i = 1; i <= spec.privileges.count; ++i) {
    tables.privs.push_back(SVR_USER_PRIV{i, 1, i});
  }
  for (std::int32_t i = 1; i <= spec.option_groups; ++i) {
    tables.groups.push_back(Group(i));
  }
  // The default file's connection keeps ID 1 even in an empty table.
  tables.header.lastConnID = spec.conns.count > 1 ? spec.conns.count : 1;
  tables.header.lastGDBID = spec.gdbs.count;
  tables.header.lastUserID = spec.users.count;
  const auto slots = [](const Fill& fill) { return fill.count + fill.free; };
  return LayoutImage(tables, {slots(spec.conns), slots(spec.gdbs),
                              slots(spec.users), slots(spec.privileges)});
}

}  // namespace bench
}  // namespace brellox
