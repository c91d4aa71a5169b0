// Users and their privilege values.
//
// Two forms of each operation. The Status form works inside a session the
// caller opened (and commits), so that several steps can be one change, and
// says why it refused or failed; it changes nothing when it fails. The
// SVR_LONG form is the exported Svr_ function of the same name (see
// brellox/brellox.h for the contracts) working on `store` instead of the
// library's own file: it opens one session, runs the Status form and maps
// the outcome to the documented result.
#ifndef BRELLOX_USERS_USERS_H_
#define BRELLOX_USERS_USERS_H_

#include <cstdint>

#include "brellox/brellox.h"
#include "src/store/config_file.h"
#include "src/store/store.h"

namespace brellox {

// InvalidArgument unless `name` can name a new user and `password` (NULL: none)
// can be stored whole: a name that is NULL, blank ("name is blank") or longer
// than its 30 bytes, or a password longer than its 64. Reads no file.
Status CheckNewUser(const char* name, const char* password);

// InvalidArgument unless `password` can be stored whole: NULL ("no
// password") or longer than its 64 bytes. Reads no file.
Status CheckPassword(const char* password);

// Adds the user `name` with `password` (NULL: empty) under the next ID,
// which is stored in `*id`. CheckNewUser's refusals; AlreadyExists: "user
// 'NAME' already exists"; the ID counter's refusals (AppendRecord) pass
// through.
Status AddUser(ConfigSession& session, const char* name, const char* password,
               std::int32_t* id);

// Gives user `userID` the password `password`. InvalidArgument: an ID <= 0, a
// NULL password or one longer than 64 bytes; NotFound: "no user with ID N".
Status UpdateUser(ConfigSession& session, std::int32_t userID,
                  const char* password);

// Removes the first user with ID `userID` (later users move down, the freed
// slot is zeroed). Its privilege records stay (RemoveUserPrivileges).
// InvalidArgument: an ID <= 0; NotFound: "no user with ID N".
Status DelUser(ConfigSession& session, std::int32_t userID);

// The first user record with ID `userID`: NotFound "no user with ID N".
Status FindUser(ConfigSession& session, std::int32_t userID,
                SVR_USER_REC* user);

// The user a lookup by `name` answers with (the first record carrying its
// ID, as Svr_GetUserIDByName finds it): NotFound "no user 'NAME'".
Status FindUserByName(ConfigSession& session, const char* name,
                      SVR_USER_REC* user);

// OK when `name` and `password` belong to one user; Refused, "name and
// password do not match", when not (which of the two is not told);
// InvalidArgument for a NULL name or password.
Status CheckUser(ConfigSession& session, const char* name,
                 const char* password);

// The value of privilege `privID` of user `userID`, 0 when none is set.
// InvalidArgument: an ID <= 0.
Status GetUserPriv(ConfigSession& session, std::int32_t userID,
                   std::int32_t privID, std::int32_t* value);

// InvalidArgument unless the pair and value can be stored: an ID <= 0, a
// privilege ID <= 0, a value below 0. Reads no file.
Status CheckNewPrivilege(std::int32_t userID, std::int32_t privID,
                         std::int32_t value);

// Sets privilege `privID` of user `userID` (which need not exist) to
// `value`. CheckNewPrivilege's refusals.
Status SetUserPriv(ConfigSession& session, std::int32_t userID,
                   std::int32_t privID, std::int32_t value);

// Removes every privilege record of `userID`, closing the gaps in order and
// zeroing the freed slots; `*removed` is how many there were.
Status RemoveUserPrivileges(ConfigSession& session, std::int32_t userID,
                            std::int32_t* removed);

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
