// Users and their privilege values, on any store. Each function is the
// exported Svr_ function of the same name (see brellox/brellox.h for the
// contracts) working on `store` instead of the library's own file; each
// opens the file once.
#ifndef BRELLOX_USERS_USERS_H_
#define BRELLOX_USERS_USERS_H_

#include "brellox/brellox.h"
#include "src/store/store.h"

namespace brellox {

SVR_LONG AddUser(const Store& store, const char* name, const char* password);
SVR_LONG GetUser(const Store& store, SVR_LONG userID, char* name, SVR_LONG len);
SVR_LONG UpdateUser(const Store& store, SVR_LONG userID, const char* password);
SVR_LONG DelUser(const Store& store, SVR_LONG userID);
SVR_LONG GetUserCount(const Store& store);
SVR_LONG GetUserIDs(const Store& store, CSmartArray<SVR_LONG>& ids);
SVR_LONG GetUserIDByName(const Store& store, const char* name);
SVR_LONG CheckUser(const Store& store, const char* name, const char* password);

SVR_LONG GetUserPriv(const Store& store, SVR_LONG userID, SVR_LONG privID,
                     SVR_LONG& value);
SVR_LONG SetUserPriv(const Store& store, SVR_LONG userID, SVR_LONG privID,
                     SVR_LONG value);

}  // namespace brellox

#endif  // BRELLOX_USERS_USERS_H_
