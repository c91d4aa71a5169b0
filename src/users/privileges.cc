#include <cstddef>
#include <cstring>

#include "src/store/config_file.h"
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
std::int32_t FindPair(const TableImage& privileges, SVR_LONG userID,
                      SVR_LONG privID) {
  for (std::int32_t i = 0; i < privileges.count(); ++i) {
    const SVR_USER_PRIV record = PrivilegeAt(privileges, i);
    if (record.userID == userID && record.privID == privID) return i;
  }
  return -1;
}

}  // namespace

SVR_LONG GetUserPriv(const Store& store, SVR_LONG userID, SVR_LONG privID,
                     SVR_LONG& value) {
  value = 0;
  if (userID <= 0) return 0;
  ConfigSession session;
  TableImage privileges;
  // Running out of memory is a failure too: 1 would read as "no value set".
  if (!OpenTable(store, Access::kRead, kPrivTable, &session, &privileges)
           .ok()) {
    return 0;
  }
  const std::int32_t index = FindPair(privileges, userID, privID);
  if (index >= 0) value = PrivilegeAt(privileges, index).value;
  return 1;
}

SVR_LONG SetUserPriv(const Store& store, SVR_LONG userID, SVR_LONG privID,
                     SVR_LONG value) {
  if (userID <= 0 || privID <= 0 || value < 0) return 0;
  ConfigSession session;
  TableImage privileges;
  if (!OpenTable(store, Access::kWrite, kPrivTable, &session, &privileges)
           .ok()) {
    return 0;
  }
  const std::int32_t index = FindPair(privileges, userID, privID);
  Status s;
  if (index >= 0) {
    // A pair keeps its slot for good; only its value changes, so neither the
    // other records nor the header need writing.
    std::memcpy(privileges.record(index) + offsetof(SVR_USER_PRIV, value),
                &value, sizeof(value));
    s = WriteRecord(session, kPrivTable, privileges, index);
  } else {
    const SVR_USER_PRIV record{userID, privID, value};
    s = AppendRecord(session, kPrivTable, privileges, &record, nullptr);
  }
  if (s.ok()) s = session.Commit();
  return s.ok() ? 1 : 0;
}

}  // namespace brellox
