#include <cstddef>
#include <cstring>
#include <string>

#include "src/store/in_session.h"
#include "src/store/table.h"
#include "src/users/users.h"

namespace brellox {
namespace {

SVR_USER_PRIV PrivilegeAt(const TableImage& privileges, std::int32_t i) {
  SVR_USER_PRIV record;
  std::memcpy(&record, privileges.record(i), sizeof(record));
  return record;
}

// Index of the first record of the (userID, privID) pair, or -1.
std::int32_t FindPair(const TableImage& privileges, std::int32_t userID,
                      std::int32_t privID) {
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
  if (!s.ok()) return s;
  const std::int32_t index = FindPair(privileges, userID, privID);
  if (index >= 0) *value = PrivilegeAt(privileges, index).value;
  return Status::OK();
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
  std::memcpy(privileges.record(index) + offsetof(SVR_USER_PRIV, value), &value,
              sizeof(value));
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

SVR_LONG GetUserPriv(const Store& store, SVR_LONG userID, SVR_LONG privID,
                     SVR_LONG& value) {
  value = 0;
  if (userID <= 0) {
    Reported(Refuse("user ID", userID, "not above 0"));
    return 0;
  }
  std::int32_t found = 0;
  // Running out of memory is a failure too: 1 would read as "no value set".
  Status s = InSession(store, Access::kRead, [&](ConfigSession& session) {
    return GetUserPriv(session, userID, privID, &found);
  });
  if (!Reported(s)) return 0;
  value = found;
  return 1;
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
