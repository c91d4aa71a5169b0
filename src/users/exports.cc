// Exported functions of the users and their privilege values.
#include "brellox/brellox.h"
#include "src/users/users.h"

using brellox::DefaultStore;
using brellox::Guarded;

SVR_LONG Svr_AddUser(char* name, char* password) {
  return Guarded(
      0, [&] { return brellox::AddUser(DefaultStore(), name, password); });
}

SVR_LONG Svr_GetUser(SVR_LONG userID, char* name, SVR_LONG len) {
  return Guarded(
      0, [&] { return brellox::GetUser(DefaultStore(), userID, name, len); });
}

SVR_LONG Svr_UpdateUser(SVR_LONG userID, char* password) {
  return Guarded(
      0, [&] { return brellox::UpdateUser(DefaultStore(), userID, password); });
}

SVR_LONG Svr_DelUser(SVR_LONG userID) {
  return Guarded(0, [&] { return brellox::DelUser(DefaultStore(), userID); });
}

SVR_LONG Svr_GetUserCount() {
  return Guarded(0, [&] { return brellox::GetUserCount(DefaultStore()); });
}

SVR_LONG Svr_GetUserIDs(CSmartArray<SVR_LONG>& ids) {
  return Guarded(0, [&] { return brellox::GetUserIDs(DefaultStore(), ids); });
}

SVR_LONG Svr_GetUserIDByName(char* name) {
  return Guarded(
      0, [&] { return brellox::GetUserIDByName(DefaultStore(), name); });
}

SVR_LONG Svr_CheckUser(char* name, char* password) {
  return Guarded(
      0, [&] { return brellox::CheckUser(DefaultStore(), name, password); });
}

SVR_LONG Svr_GetUserPriv(SVR_LONG userID, SVR_LONG privID, SVR_LONG& value) {
  return Guarded(0, [&] {
    return brellox::GetUserPriv(DefaultStore(), userID, privID, value);
  });
}

SVR_LONG Svr_SetUserPriv(SVR_LONG userID, SVR_LONG privID, SVR_LONG value) {
  return Guarded(0, [&] {
    return brellox::SetUserPriv(DefaultStore(), userID, privID, value);
  });
}
