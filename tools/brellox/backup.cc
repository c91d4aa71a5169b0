#include "tools/brellox/backup.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "src/store/default_file.h"
#include "src/store/format.h"
#include "tools/brellox/check.h"
#include "tools/brellox/records.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

const json& List(const json& backup, const char* key) {
  static const json kEmpty = json::array();
  if (!backup.contains(key)) return kEmpty;
  if (!backup[key].is_array()) Refuse(std::string("\"") + key + "\" is not a list");
  return backup[key];
}

template <class Record, class FromJson>
std::vector<Record> Table(const json& backup, const char* key, FromJson from) {
  std::vector<Record> records;
  for (const json& item : List(backup, key)) records.push_back(from(item));
  return records;
}

template <class Record>
std::int32_t Counter(const json& backup, const char* key,
                     const std::vector<Record>& records) {
  if (backup.contains(key)) {
    if (!backup[key].is_number_integer()) {
      Refuse(std::string("\"") + key + "\" is not an integer");
    }
    return backup[key].get<std::int32_t>();
  }
  std::int32_t highest = 0;
  for (const Record& r : records) highest = std::max<std::int32_t>(highest, r.id);
  return highest;
}

std::int32_t Capacity(const json& backup, const char* key, std::size_t count) {
  const std::int32_t in_use = static_cast<std::int32_t>(count);
  if (backup.contains("capacity") && backup["capacity"].contains(key)) {
    const json& given = backup["capacity"][key];
    if (!given.is_number_integer() || given.get<long long>() < in_use ||
        given.get<long long>() > 1000000) {
      Refuse(std::string("capacity of ") + key + " must be an integer from " +
             std::to_string(in_use) + " to 1000000");
    }
    return given.get<std::int32_t>();
  }
  return std::max(2, in_use + in_use % 2);
}

// Places a table's records at `*offset` and moves `*offset` past its slots.
template <class Record>
void PlaceTable(std::string* image, SVR_CFG_HEADER* header, Section section,
                const std::vector<Record>& records, std::int32_t capacity,
                std::int64_t* offset) {
  const std::int32_t count = static_cast<std::int32_t>(records.size());
  SetSection(header, section,
             {static_cast<std::int32_t>(*offset), count, capacity});
  image->resize(static_cast<std::size_t>(*offset) +
                static_cast<std::size_t>(capacity) * sizeof(Record));
  if (count > 0) {
    std::memcpy(&(*image)[static_cast<std::size_t>(*offset)], records.data(),
                records.size() * sizeof(Record));
  }
  *offset += static_cast<std::int64_t>(capacity) * sizeof(Record);
}

}  // namespace

std::string ImageFromJson(const json& backup, const Codec& codec) {
  if (!backup.is_object()) Refuse("the backup is not a JSON object");
  if (!backup.contains("globalOption")) Refuse("the backup has no \"globalOption\"");
  // Texts were converted from the file's code page on export; converting
  // them into another one would not give the same bytes back.
  if (backup.contains("encoding") &&
      backup["encoding"] != nlohmann::ordered_json(codec.encoding())) {
    Refuse("the backup's texts are from code page " + backup["encoding"].dump() +
           "; import it with --encoding " + backup["encoding"].dump());
  }
  const auto conns = Table<SVC_GDB_CONN_INFO>(
      backup, "connections", [&](const json& j) { return ConnFromJson(j, codec); });
  const auto gdbs = Table<SVC_GDB_INFO>(
      backup, "gdbs", [&](const json& j) { return GdbFromJson(j, codec); });
  const auto users = Table<SVR_USER_REC>(
      backup, "users", [&](const json& j) { return UserFromJson(j, codec); });
  const auto privs = Table<SVR_USER_PRIV>(backup, "privileges", PrivFromJson);
  const auto groups = Table<SVR_OPTION_GROUP>(
      backup, "optionGroups", [&](const json& j) { return GroupFromJson(j, codec); });
  const CONFIG_OPTION global = OptionFromJson(backup["globalOption"], codec);

  // The default image's header carries the magic and format tag.
  std::string image = DefaultConfigImage();
  SVR_CFG_HEADER header;
  std::memcpy(&header, image.data(), sizeof(header));
  header.lastConnID = Counter(backup, "lastConnID", conns);
  header.lastGDBID = Counter(backup, "lastGDBID", gdbs);
  header.lastUserID = Counter(backup, "lastUserID", users);
  if (backup.contains("tempDir")) {
    StoreField(header.tempDir, sizeof(header.tempDir),
               codec.FromJson(backup["tempDir"], "temp dir"),
               sizeof(header.tempDir), "temp dir");
  }

  image.resize(static_cast<std::size_t>(kFirstTableOffset));
  std::memcpy(&image[kGlobalOptionOffset], &global, sizeof(global));
  std::int64_t offset = kFirstTableOffset;
  PlaceTable(&image, &header, Section::kConns, conns,
             Capacity(backup, "connections", conns.size()), &offset);
  PlaceTable(&image, &header, Section::kGdbs, gdbs,
             Capacity(backup, "gdbs", gdbs.size()), &offset);
  PlaceTable(&image, &header, Section::kUsers, users,
             Capacity(backup, "users", users.size()), &offset);
  PlaceTable(&image, &header, Section::kPrivs, privs,
             Capacity(backup, "privileges", privs.size()), &offset);
  PlaceTable(&image, &header, Section::kOptionGroups, groups,
             static_cast<std::int32_t>(groups.size()), &offset);
  std::memcpy(&image[0], &header, sizeof(header));

  for (const Finding& finding : CheckImage(image, codec)) {
    if (finding.error) Refuse("the backup would give a damaged file: " + finding.message);
  }
  return image;
}

}  // namespace tool
}  // namespace brellox
