// Everything a caller of the public headers can reach in the library. Never
// run: it is compiled as a caller (once in MSVC mode, once by the project's
// compiler), and the imports each object needs are the names the library
// must export for that kind of caller. Every exported function and every
// CSmartFile member must be used here.
#include <brellox/brellox.h>

void ReachEverything(char* text, SVR_LONG id, SVC_GDB_CONN_INFO& conn,
                     SVC_GDB_INFO& gdb, CONFIG_OPTION* options) {
  SVR_LONG value = 0;
  CSmartArray<SVR_LONG> ids;

  Svr_SetTempDir(text);
  Svr_GetTempDir(text, 1);

  Svr_AddUser(text, text);
  Svr_GetUser(id, text, 1);
  Svr_UpdateUser(id, text);
  Svr_DelUser(id);
  Svr_GetUserCount();
  Svr_GetUserIDs(ids);
  Svr_GetUserIDByName(text);
  Svr_CheckUser(text, text);
  Svr_GetUserPriv(id, id, value);
  Svr_SetUserPriv(id, id, value);

  Svr_AddConn(conn);
  Svr_GetConn(id, conn);
  Svr_GetAllConn(&conn, 1);
  Svr_UpdateConn(conn);
  Svr_DelConn(id);
  Svr_ConnIsExist(text);
  Svr_GetConnCount();
  Svr_GetConnIDs(ids);

  Svr_AddGDB(gdb);
  Svr_GetGDB(id, gdb);
  Svr_GetAllGDB(&gdb, 1);
  Svr_UpdateGDB(gdb);
  Svr_DelGDB(id);
  Svr_GDBIsExist(text);
  Svr_GetGDBCount();
  Svr_GetGDBIDs(ids);
  Svr_GetGDBAliasName(id, text, 1);
  Svr_GetGDBID(text, value);

  Svr_AddOptionInfo(text, id, options, 1);
  Svr_GetOptionCount(text, id);
  Svr_GetOptionInfo(text, id, options, 1);
  Svr_SetOptionInfo(text, id, options, 1);
  Svr_GetOptionInfo(text, id, 0, *options);
  Svr_SetOptionInfo(text, id, 0, *options);

  Svr_GetLastError(text, 1);

  // CSmartFile as a list's stream (new, members, virtual delete) and as an
  // object of the caller's own (constructor and destructor by name).
  ids.Add(&value);
  ids.SetSize(1);
  ids.GetAt(0);
  CSmartFile stream(1, 1, 0, 0);
  CSmartFile::operator delete(CSmartFile::operator new(sizeof stream));
}
