#include "bench/images.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "src/store/default_file.h"
#include "src/store/format.h"

namespace brellox {
namespace bench {
namespace {

template <class Record>
void Append(std::string* image, const Record& record) {
  image->append(reinterpret_cast<const char*>(&record), sizeof(record));
}

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
  SVR_CFG_HEADER header;
  std::memcpy(&header, base.data(), sizeof(header));
  std::string image = base.substr(0, kFirstTableOffset);
  const auto begin = [&image](Section s, const Fill& fill, SVR_CFG_HEADER* h) {
    SetSection(h, s,
               {static_cast<std::int32_t>(image.size()), fill.count,
                fill.count + fill.free});
  };
  const auto pad = [&image](Section s, const Fill& fill) {
    image.append(static_cast<std::size_t>(fill.free) * RecordSize(s), '\0');
  };

  begin(Section::kConns, spec.conns, &header);
  for (std::int32_t i = 1; i <= spec.conns.count; ++i) {
    if (i == 1) {
      image.append(base, kFirstTableOffset, sizeof(SVC_GDB_CONN_INFO));
      continue;
    }
    SVC_GDB_CONN_INFO conn{};
    conn.id = i;
    CopyText(conn.name, sizeof(conn.name), ConnName(i));
    Append(&image, conn);
  }
  pad(Section::kConns, spec.conns);

  begin(Section::kGdbs, spec.gdbs, &header);
  for (std::int32_t i = 1; i <= spec.gdbs.count; ++i) {
    SVC_GDB_INFO gdb{};
    gdb.id = i;
    CopyText(gdb.name, sizeof(gdb.name), GdbName(i));
    Append(&image, gdb);
  }
  pad(Section::kGdbs, spec.gdbs);

  begin(Section::kUsers, spec.users, &header);
  for (std::int32_t i = 1; i <= spec.users.count; ++i) {
    SVR_USER_REC user{};
    user.id = i;
    CopyText(user.name, sizeof(user.name), UserName(i));
    CopyText(user.password, sizeof(user.password), UserPassword(i));
    Append(&image, user);
  }
  pad(Section::kUsers, spec.users);

  begin(Section::kPrivs, spec.privileges, &header);
  for (std::int32_t i = 1; i <= spec.privileges.count; ++i) {
    Append(&image, SVR_USER_PRIV{i, 1, i});
  }
  pad(Section::kPrivs, spec.privileges);

  header.optionGroupsOffset = static_cast<std::int32_t>(image.size());
  header.optionGroupsCount = spec.option_groups;
  for (std::int32_t i = 1; i <= spec.option_groups; ++i) {
    Append(&image, Group(i));
  }

  // The default file's connection keeps ID 1 even in an empty table.
  header.lastConnID = spec.conns.count > 1 ? spec.conns.count : 1;
  header.lastGDBID = spec.gdbs.count;
  header.lastUserID = spec.users.count;
  std::memcpy(&image[0], &header, sizeof(header));
  return image;
}

}  // namespace bench
}  // namespace brellox
