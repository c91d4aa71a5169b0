// The GDB lookups that are no twin-table verb (twin_table.h holds the rest),
// on any store. Each function is the exported Svr_ function of the same
// name (see brellox/brellox.h for the contracts) working on `store` instead
// of the library's own file; each opens the file once.
#ifndef BRELLOX_SOURCES_SOURCES_H_
#define BRELLOX_SOURCES_SOURCES_H_

#include "brellox/brellox.h"
#include "src/store/store.h"

namespace brellox {

SVR_LONG GetGDBAliasName(const Store& store, SVR_LONG gdbID, char* name,
                         short len);
SVR_LONG GetGDBID(const Store& store, const char* name, SVR_LONG& gdbID);

}  // namespace brellox

#endif  // BRELLOX_SOURCES_SOURCES_H_
