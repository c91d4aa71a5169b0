// Connections and GDBs, on any store. Each function is the exported Svr_
// function of the same name (see brellox/brellox.h for the contracts)
// working on `store` instead of the library's own file; each opens the file
// once.
#ifndef BRELLOX_SOURCES_SOURCES_H_
#define BRELLOX_SOURCES_SOURCES_H_

#include "brellox/brellox.h"
#include "src/store/store.h"

namespace brellox {

SVR_LONG AddConn(const Store& store, const SVC_GDB_CONN_INFO& info);
SVR_LONG GetConn(const Store& store, SVR_LONG connID, SVC_GDB_CONN_INFO& info);
SVR_LONG GetAllConn(const Store& store, SVC_GDB_CONN_INFO* infos,
                    SVR_LONG count);
SVR_LONG UpdateConn(const Store& store, const SVC_GDB_CONN_INFO& info);
SVR_LONG DelConn(const Store& store, SVR_LONG connID);
SVR_LONG ConnIsExist(const Store& store, const char* name);
SVR_LONG GetConnCount(const Store& store);
SVR_LONG GetConnIDs(const Store& store, CSmartArray<SVR_LONG>& ids);

SVR_LONG AddGDB(const Store& store, const SVC_GDB_INFO& info);
SVR_LONG GetGDB(const Store& store, SVR_LONG gdbID, SVC_GDB_INFO& info);
SVR_LONG GetAllGDB(const Store& store, SVC_GDB_INFO* infos, SVR_LONG count);
SVR_LONG UpdateGDB(const Store& store, const SVC_GDB_INFO& info);
SVR_LONG DelGDB(const Store& store, SVR_LONG gdbID);
SVR_LONG GDBIsExist(const Store& store, const char* name);
SVR_LONG GetGDBCount(const Store& store);
SVR_LONG GetGDBIDs(const Store& store, CSmartArray<SVR_LONG>& ids);
SVR_LONG GetGDBAliasName(const Store& store, SVR_LONG gdbID, char* name,
                         short len);
SVR_LONG GetGDBID(const Store& store, const char* name, SVR_LONG& gdbID);

}  // namespace brellox

#endif  // BRELLOX_SOURCES_SOURCES_H_
