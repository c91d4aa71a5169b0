// The server's temporary directory, kept in the header.
#ifndef BRELLOX_STORE_TEMP_DIR_H_
#define BRELLOX_STORE_TEMP_DIR_H_

#include <string>

#include "brellox/export.h"
#include "src/store/config_file.h"
#include "src/store/store.h"

namespace brellox {

// InvalidArgument for NULL or a directory of 128 bytes or more, which would
// be stored cut. Reads no file.
Status CheckTempDir(const char* dir);

// Sets the temp dir in the session's header (written when it commits).
// CheckTempDir's refusals.
Status SetTempDir(ConfigSession& session, const char* dir);

// The temp dir stored in `store`'s header (its text up to the first NUL),
// for Svr_GetTempDir and its C form. Fails as ConfigSession::Open.
Status ReadTempDir(const Store& store, std::string* dir);

// Svr_SetTempDir and Svr_GetTempDir on any store.
SVR_LONG SetTempDir(const Store& store, const char* dir);
SVR_LONG GetTempDir(const Store& store, char* buf, short len);

}  // namespace brellox

#endif  // BRELLOX_STORE_TEMP_DIR_H_
