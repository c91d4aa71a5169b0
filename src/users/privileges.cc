#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "src/store/in_session.h"
#include "src/store/read_cache.h"
#include "src/store/table.h"
#include "src/users/users.h"

namespace brellox {
namespace {

SVR_USER_PRIV PrivilegeAt(const TableImage& privileges, std::int32_t i) {
  SVR_USER_PRIV record;
  std::memcpy(&record, privileges.record(i), sizeof(record));
  return record;
}

// A record's (userID, privID) pair: its first eight bytes.
static_assert(offsetof(SVR_USER_PRIV, userID) == 0 &&
                  offsetof(SVR_USER_PRIV, privID) == 4,
              "a pair is the record's first eight bytes");
constexpr std::size_t kPairBytes = 8;

void PairKeys(const TableImage& privileges, KeyList* keys) {
  keys->reserve(static_cast<std::size_t>(privileges.count()));
  for (std::int32_t i = 0; i < privileges.count(); ++i) {
    keys->emplace_back(std::string_view(privileges.record(i), kPairBytes), i);
  }
}

// Index of the first record of the (userID, privID) pair, or -1.
std::int32_t FindPair(const TableImage& privileges, std::int32_t userID,
                      std::int32_t privID) {
  const std::int32_t pair[2] = {userID, privID};
  std::int32_t index;
  if (privileges.FindIndexed(
          PairKeys,
          std::string_view(reinterpret_cast<const char*>(pair), kPairBytes),
          &index)) {
    return index;
  }
  for (std::int32_t i = 0; i < privileges.count(); ++i) {
    const SVR_USER_PRIV record = PrivilegeAt(privileges, i);
    if (record.userID == userID && record.privID == privID) return i;
  }
  return -1;
}

Status Refuse(const std::string& what, std::int32_t value, const char* bound) {
  return Status::InvalidArgument(what + " " + std::to_string(value) + " is " +
                                 bound);
}

}  // namespace

namespace {

std::int32_t ValueIn(const TableImage& privileges, std::int32_t userID,
                     std::int32_t privID) {
  const std::int32_t index = FindPair(privileges, userID, privID);
  return index >= 0 ? PrivilegeAt(privileges, index).value : 0;
}

}  // namespace

Status CheckNewPrivilege(std::int32_t userID, std::int32_t privID,
                         std::int32_t value) {
  if (userID <= 0) return Refuse("user ID", userID, "not above 0");
  if (privID <= 0) return Refuse("privilege ID", privID, "not above 0");
  if (value < 0) return Refuse("privilege value", value, "below 0");
  return Status::OK();
}

Status GetUserPriv(ConfigSession& session, std::int32_t userID,
                   std::int32_t privID, std::int32_t* value) {
  *value = 0;
  if (userID <= 0) return Refuse("user ID", userID, "not above 0");
  TableImage privileges;
  Status s = TableImage::Load(session, kPrivTable, &privileges);
  if (s.ok()) *value = ValueIn(privileges, userID, privID);
  return s;
}

Status SetUserPriv(ConfigSession& session, std::int32_t userID,
                   std::int32_t privID, std::int32_t value) {
  Status s = CheckNewPrivilege(userID, privID, value);
  if (!s.ok()) return s;
  TableImage privileges;
  s = TableImage::Load(session, kPrivTable, &privileges);
  if (!s.ok()) return s;
  const std::int32_t index = FindPair(privileges, userID, privID);
  if (index < 0) {
    const SVR_USER_PRIV record{userID, privID, value};
    return AppendRecord(session, kPrivTable, privileges, &record, nullptr);
  }
  // A pair keeps its slot for good; only its value changes, so neither the
  // other records nor the header need writing.
  std::memcpy(privileges.mutable_record(index) + offsetof(SVR_USER_PRIV, value),
              &value, sizeof(value));
  return WriteRecord(session, kPrivTable, privileges, index);
}

Status RemoveUserPrivileges(ConfigSession& session, std::int32_t userID,
                            std::int32_t* removed) {
  *removed = 0;
  TableImage privileges;
  Status s = TableImage::Load(session, kPrivTable, &privileges);
  if (!s.ok()) return s;
  // In one pass and one write, however many there are: removing them one
  // by one would write the records behind each again.
  return RemoveRecordsIf(
      session, kPrivTable, &privileges,
      [userID](const char* record) {
        std::int32_t owner;
        std::memcpy(&owner, record + offsetof(SVR_USER_PRIV, userID),
                    sizeof(owner));
        return owner == userID;
      },
      removed);
}

Status ReadUserPriv(const Store& store, std::int32_t userID,
                    std::int32_t privID, std::int32_t* value) {
  *value = 0;
  if (userID <= 0) return Refuse("user ID", userID, "not above 0");
  TableImage privileges;
  Status s = ReadTable(store, kPrivTable, &privileges);
  if (s.ok()) *value = ValueIn(privileges, userID, privID);
  return s;
}

SVR_LONG GetUserPriv(const Store& store, SVR_LONG userID, SVR_LONG privID,
                     SVR_LONG& value) {
  // Running out of memory is a failure too: 1 would read as "no value set".
  std::int32_t found = 0;
  const bool read = Reported(ReadUserPriv(store, userID, privID, &found));
  value = found;
  return read ? 1 : 0;
}

SVR_LONG SetUserPriv(const Store& store, SVR_LONG userID, SVR_LONG privID,
                     SVR_LONG value) {
  if (!Reported(CheckNewPrivilege(userID, privID, value))) return 0;
  return Reported(InSession(store, Access::kWrite,
                            [&](ConfigSession& session) {
                              return SetUserPriv(session, userID, privID,
                                                 value);
                            }))
             ? 1
             : 0;
}

}  // namespace brellox
