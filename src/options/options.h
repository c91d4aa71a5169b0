// The global option and option groups, on any store. Each function is the
// exported Svr_ function of the same name (see brellox/brellox.h for the
// contracts) working on `store` instead of the library's own file; each
// opens the file once.
#ifndef BRELLOX_OPTIONS_OPTIONS_H_
#define BRELLOX_OPTIONS_OPTIONS_H_

#include "brellox/brellox.h"
#include "src/store/store.h"

namespace brellox {

// The one rule by which values enter stored options: for each position
// i < count, the value of source[i] is copied into destination[i] in the
// form that destination[i]'s stored type prescribes: text (0) up to and
// including its NUL, int32 (4) bytes 0-3, double (7) bytes 0-7, block (13)
// all 128 bytes; any other code takes nothing. Nothing but those value bytes
// of destination[i] changes, and nothing but source[i].value is read: a text
// with no NUL in its 128 bytes is stored as its first 127 bytes and a NUL.
// count <= 0 changes nothing. Returns 1.
SVR_LONG CopyOptionValues(CONFIG_OPTION* destination,
                          const CONFIG_OPTION* source, SVR_LONG count);

SVR_LONG AddOptionInfo(const Store& store, const char* name,
                       SVR_LONG groupType, const CONFIG_OPTION* options,
                       SVR_LONG count);
SVR_LONG GetOptionCount(const Store& store, const char* name,
                        SVR_LONG groupType);
SVR_LONG GetOptionInfo(const Store& store, const char* name,
                       SVR_LONG groupType, CONFIG_OPTION* options,
                       SVR_LONG count);
SVR_LONG SetOptionInfo(const Store& store, const char* name,
                       SVR_LONG groupType, const CONFIG_OPTION* options,
                       SVR_LONG count);
SVR_LONG GetOptionInfo(const Store& store, const char* name,
                       SVR_LONG groupType, SVR_LONG index,
                       CONFIG_OPTION& option);
SVR_LONG SetOptionInfo(const Store& store, const char* name,
                       SVR_LONG groupType, SVR_LONG index,
                       const CONFIG_OPTION& option);

}  // namespace brellox

#endif  // BRELLOX_OPTIONS_OPTIONS_H_
