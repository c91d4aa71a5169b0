// Exported functions of the connection and GDB tables.
#include "brellox/brellox.h"
#include "src/sources/sources.h"
#include "src/sources/twin_table.h"

using brellox::ConnTable;
using brellox::DefaultStore;
using brellox::GdbTable;
using brellox::Guarded;

SVR_LONG Svr_AddConn(SVC_GDB_CONN_INFO& info) {
  return Guarded(0, [&] { return ConnTable::Add(DefaultStore(), info); });
}

SVR_LONG Svr_GetConn(SVR_LONG connID, SVC_GDB_CONN_INFO& info) {
  return Guarded(0,
                 [&] { return ConnTable::Get(DefaultStore(), connID, info); });
}

SVR_LONG Svr_GetAllConn(SVC_GDB_CONN_INFO* infos, SVR_LONG count) {
  return Guarded(
      0, [&] { return ConnTable::GetAll(DefaultStore(), infos, count); });
}

SVR_LONG Svr_UpdateConn(SVC_GDB_CONN_INFO& info) {
  return Guarded(0, [&] { return ConnTable::Update(DefaultStore(), info); });
}

SVR_LONG Svr_DelConn(SVR_LONG connID) {
  return Guarded(0, [&] { return ConnTable::Remove(DefaultStore(), connID); });
}

SVR_LONG Svr_ConnIsExist(char* name) {
  return Guarded(0, [&] { return ConnTable::Exists(DefaultStore(), name); });
}

SVR_LONG Svr_GetConnCount() {
  return Guarded(0, [&] { return ConnTable::Count(DefaultStore()); });
}

SVR_LONG Svr_GetConnIDs(CSmartArray<SVR_LONG>& ids) {
  return Guarded(0, [&] { return ConnTable::GetIds(DefaultStore(), ids); });
}

SVR_LONG Svr_AddGDB(SVC_GDB_INFO& info) {
  return Guarded(0, [&] { return GdbTable::Add(DefaultStore(), info); });
}

SVR_LONG Svr_GetGDB(SVR_LONG gdbID, SVC_GDB_INFO& info) {
  return Guarded(0, [&] { return GdbTable::Get(DefaultStore(), gdbID, info); });
}

SVR_LONG Svr_GetAllGDB(SVC_GDB_INFO* infos, SVR_LONG count) {
  return Guarded(
      0, [&] { return GdbTable::GetAll(DefaultStore(), infos, count); });
}

SVR_LONG Svr_UpdateGDB(SVC_GDB_INFO& info) {
  return Guarded(0, [&] { return GdbTable::Update(DefaultStore(), info); });
}

SVR_LONG Svr_DelGDB(SVR_LONG gdbID) {
  return Guarded(0, [&] { return GdbTable::Remove(DefaultStore(), gdbID); });
}

SVR_LONG Svr_GDBIsExist(char* name) {
  return Guarded(0, [&] { return GdbTable::Exists(DefaultStore(), name); });
}

SVR_LONG Svr_GetGDBCount() {
  return Guarded(-1, [&] { return GdbTable::Count(DefaultStore()); });
}

SVR_LONG Svr_GetGDBIDs(CSmartArray<SVR_LONG>& ids) {
  return Guarded(0, [&] { return GdbTable::GetIds(DefaultStore(), ids); });
}

SVR_LONG Svr_GetGDBAliasName(SVR_LONG gdbID, char* name, short len) {
  return Guarded(0, [&] {
    return brellox::GetGDBAliasName(DefaultStore(), gdbID, name, len);
  });
}

SVR_LONG Svr_GetGDBID(char* name, SVR_LONG& gdbID) {
  return Guarded(
      0, [&] { return brellox::GetGDBID(DefaultStore(), name, gdbID); });
}
