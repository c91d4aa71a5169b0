// A server program as MSVC builds one, against nothing but the installed
// header and brellox.lib: every call below reaches the DLL through an
// MSVC-decorated name, and the ID lists are constructed and destroyed by
// this program's own code. Prints each wrong answer and exits 0 only when
// every answer is right.
#include <brellox/brellox.h>
#include <brellox/brellox_c.h>

#include "runtime.h"

namespace {

int g_checks = 0;
int g_failures = 0;

void Check(bool ok, const char* what) {
  ++g_checks;
  if (ok) return;
  ++g_failures;
  Print("wrong: ");
  Print(what);
  Print("\n");
}

bool Same(const char* a, const char* b) {
  while (*a == *b && *a != '\0') ++a, ++b;
  return *a == *b;
}

void Copy(char* field, const char* text) {
  while ((*field++ = *text++) != '\0') {
  }
}

bool SameBytes(const void* a, const void* b, size_t size) {
  const unsigned char* x = static_cast<const unsigned char*>(a);
  const unsigned char* y = static_cast<const unsigned char*>(b);
  for (size_t i = 0; i < size; ++i) {
    if (x[i] != y[i]) return false;
  }
  return true;
}

// True when `list` holds exactly `count` IDs equal to `expected`.
bool ListHolds(CSmartArray<SVR_LONG>& list, const SVR_LONG* expected,
               SVR_LONG count) {
  if (list.GetSize() != count) return false;
  for (SVR_LONG i = 0; i < count; ++i) {
    const SVR_LONG* id = list.GetAt(i);
    if (id == NULL || *id != expected[i]) return false;
  }
  return list.GetAt(count) == NULL && list.GetAt(-1) == NULL;
}

const SVR_LONG kManyUsers = 40;

void Users() {
  char alice[] = "alice", bob[] = "bob", first[] = "pw1", second[] = "pw2";
  const SVR_LONG before = Svr_GetUserCount();
  const SVR_LONG a = Svr_AddUser(alice, first);
  const SVR_LONG b = Svr_AddUser(bob, NULL);
  Check(a > 0 && b == a + 1, "Svr_AddUser issues consecutive IDs");
  Check(Svr_AddUser(alice, second) == 0, "Svr_AddUser refuses a name in use");
  char why[64];
  Check(Svr_GetLastError(why, sizeof why) == BRELLOX_ALREADY_EXISTS &&
            Same(why, "user 'alice' already exists"),
        "Svr_GetLastError tells why");
  // The C interface, through the same import library.
  Check(brellox_check_user(NULL, alice, first) == BRELLOX_OK &&
            brellox_check_user(NULL, alice, second) == BRELLOX_REFUSED &&
            brellox_last_error(why, sizeof why) == BRELLOX_REFUSED,
        "brellox_check_user");
  Check(Svr_GetUserCount() == before + 2, "Svr_GetUserCount");

  char name[40];
  memset(name, 'x', sizeof name);
  Check(Svr_GetUser(a, name, sizeof name) == 1 && Same(name, "alice"),
        "Svr_GetUser");
  Check(Svr_GetUserIDByName(bob) == b, "Svr_GetUserIDByName");
  Check(Svr_CheckUser(alice, first) == 1 && Svr_CheckUser(alice, second) == 0,
        "Svr_CheckUser");
  Check(Svr_UpdateUser(a, second) == 1 && Svr_CheckUser(alice, second) == 1 &&
            Svr_CheckUser(alice, first) == 0,
        "Svr_UpdateUser");
  Check(Svr_DelUser(b) == 1 && Svr_GetUserIDByName(bob) == 0 &&
            Svr_GetUserCount() == before + 1,
        "Svr_DelUser");

  SVR_LONG value = 99;
  Check(Svr_SetUserPriv(a, 3, 7) == 1 && Svr_GetUserPriv(a, 3, value) == 1 &&
            value == 7,
        "Svr_SetUserPriv then Svr_GetUserPriv");
  Check(Svr_GetUserPriv(a, 4, value) == 1 && value == 0,
        "Svr_GetUserPriv of an unset privilege");
  Check(Svr_SetUserPriv(a, 3, -1) == 0, "Svr_SetUserPriv refuses a negative");
}

// Lists built here and grown by the DLL: more users than either the list's
// stream or the user table starts with room for.
void UserIdLists() {
  CSmartArray<SVR_LONG>* ids = new CSmartArray<SVR_LONG>;
  const SVR_LONG before = Svr_GetUserIDs(*ids);
  Check(before == Svr_GetUserCount() && ids->GetSize() == before,
        "Svr_GetUserIDs lists every user");

  SVR_LONG expected[kManyUsers + 8];
  if (before > 8) {
    Check(false, "at most 8 users before the list test");
    delete ids;
    return;
  }
  for (SVR_LONG i = 0; i < before; ++i) expected[i] = *ids->GetAt(i);
  char name[] = "user00";
  for (SVR_LONG i = 0; i < kManyUsers; ++i) {
    name[4] = static_cast<char>('0' + i / 10);
    name[5] = static_cast<char>('0' + i % 10);
    expected[before + i] = Svr_AddUser(name, name);
  }
  Check(Svr_GetUserIDs(*ids) == before + kManyUsers &&
            ListHolds(*ids, expected, before + kManyUsers),
        "Svr_GetUserIDs refills a list built by the caller, in table order");

  Check(ids->SetSize(-1) == -1 && ids->GetSize() == before + kManyUsers,
        "SetSize(-1) leaves the list");
  Check(ids->SetSize(2) == 1 && ListHolds(*ids, expected, 2),
        "SetSize shrinks the list");
  SVR_LONG extra = 12345;
  Check(ids->Add(&extra) == 2 && *ids->GetAt(2) == extra,
        "Add appends after SetSize");
  delete ids;

  for (SVR_LONG i = 0; i < kManyUsers; ++i) Svr_DelUser(expected[before + i]);
  CSmartArray<SVR_LONG> emptied;
  Check(Svr_GetUserIDs(emptied) == before, "users deleted again");
}

void Connections() {
  SVC_GDB_CONN_INFO info;
  memset(&info, 0, sizeof info);
  Copy(info.name, "pg");
  Copy(info.info1, "db.example.org");
  char pg[] = "pg";
  const SVR_LONG before = Svr_GetConnCount();
  const SVR_LONG id = Svr_AddConn(info);
  Check(id > 0 && Svr_ConnIsExist(pg) == 1, "Svr_AddConn, Svr_ConnIsExist");
  Check(Svr_AddConn(info) == 0, "Svr_AddConn refuses a name in use");

  SVR_LONG ids[3] = {id, 0, 0};
  for (int i = 1; i < 3; ++i) {
    Copy(info.name, i == 1 ? "second" : "third");
    ids[i] = Svr_AddConn(info);
  }
  Check(Svr_GetConnCount() == before + 3, "Svr_GetConnCount");

  SVC_GDB_CONN_INFO got;
  Check(Svr_GetConn(id, got) == 1 && got.id == id && Same(got.name, "pg") &&
            Same(got.info1, "db.example.org"),
        "Svr_GetConn");
  // Larger than a page of stack, so this frame goes through __chkstk.
  SVC_GDB_CONN_INFO all[32];
  Check(Svr_GetAllConn(all, 32) == 1 && all[before].id == id &&
            Same(all[before + 2].name, "third") && all[before + 3].id == 0,
        "Svr_GetAllConn");
  CSmartArray<SVR_LONG> list;
  Check(Svr_GetConnIDs(list) == before + 3 && *list.GetAt(before) == id &&
            *list.GetAt(before + 2) == ids[2],
        "Svr_GetConnIDs");

  Copy(got.info2, "5432");
  SVC_GDB_CONN_INFO updated;
  Check(Svr_UpdateConn(got) == 1 && Svr_GetConn(id, updated) == 1 &&
            Same(updated.info2, "5432"),
        "Svr_UpdateConn");
  Check(Svr_DelConn(id) == 1 && Svr_ConnIsExist(pg) == 0 &&
            Svr_GetConnCount() == before + 2,
        "Svr_DelConn");
}

void Gdbs() {
  SVC_GDB_INFO info;
  memset(&info, 0, sizeof info);
  Copy(info.name, "world");
  info.details[0] = 0x0a;
  info.details[131] = 0x0b;
  char world[] = "world", none[] = "none";
  const SVR_LONG before = Svr_GetGDBCount();
  const SVR_LONG id = Svr_AddGDB(info);
  Copy(info.name, "moon");
  const SVR_LONG moon = Svr_AddGDB(info);
  Check(id > 0 && moon == id + 1 && Svr_GDBIsExist(world) == 1,
        "Svr_AddGDB, Svr_GDBIsExist");
  Check(Svr_GetGDBCount() == before + 2, "Svr_GetGDBCount");

  SVC_GDB_INFO got;
  Check(Svr_GetGDB(id, got) == 1 && Same(got.name, "world") &&
            got.details[0] == 0x0a && got.details[131] == 0x0b,
        "Svr_GetGDB");
  SVC_GDB_INFO all[4];
  Check(Svr_GetAllGDB(all, 4) == 1 && all[before + 1].id == moon,
        "Svr_GetAllGDB");
  CSmartArray<SVR_LONG> list;
  Check(Svr_GetGDBIDs(list) == before + 2 && *list.GetAt(before) == id,
        "Svr_GetGDBIDs");

  char alias[32];
  Check(Svr_GetGDBAliasName(moon, alias, sizeof alias) == 1 &&
            Same(alias, "moon"),
        "Svr_GetGDBAliasName");
  SVR_LONG found = -1;
  Check(Svr_GetGDBID(world, found) == 1 && found == id, "Svr_GetGDBID");
  Check(Svr_GetGDBID(none, found) == 1 && found == 0,
        "Svr_GetGDBID of an unknown alias");

  got.details[5] = 0x55;
  Check(Svr_UpdateGDB(got) == 1 && Svr_GetGDB(id, info) == 1 &&
            info.details[5] == 0x55,
        "Svr_UpdateGDB");
  Check(Svr_DelGDB(id) == 1 && Svr_GDBIsExist(world) == 0, "Svr_DelGDB");
}

void Options() {
  CONFIG_OPTION options[6];
  memset(options, 0, sizeof options);
  Copy(options[0].name, "tiles");
  options[0].type = SVR_OPTION_INT32;
  const SVR_LONG tiles = 256;
  memcpy(options[0].value, &tiles, sizeof tiles);
  Copy(options[1].name, "ratio");
  options[1].type = SVR_OPTION_DOUBLE;
  const double ratio = 0.75;
  memcpy(options[1].value, &ratio, sizeof ratio);
  Copy(options[2].name, "dir");
  Copy(reinterpret_cast<char*>(options[2].value), "/srv/tiles");

  char render[] = "render", none[] = "none";
  Check(Svr_AddOptionInfo(render, 1, options, 3) == 1, "Svr_AddOptionInfo");
  Check(Svr_GetOptionCount(render, 1) == 6 &&
            Svr_GetOptionCount(NULL, 0) == 1 &&
            Svr_GetOptionCount(none, 1) == -1,
        "Svr_GetOptionCount");

  CONFIG_OPTION got[6];
  Check(Svr_GetOptionInfo(render, 1, got, 6) == 1 &&
            SameBytes(got, options, sizeof options),
        "Svr_GetOptionInfo (array)");

  const SVR_LONG more = 512;
  memcpy(options[0].value, &more, sizeof more);
  CONFIG_OPTION one;
  Check(Svr_SetOptionInfo(render, 1, options, 1) == 1 &&
            Svr_GetOptionInfo(render, 1, 0, one) == 1 &&
            SameBytes(one.value, &more, sizeof more),
        "Svr_SetOptionInfo (array), Svr_GetOptionInfo (one)");

  const double half = 0.5;
  memcpy(one.value, &half, sizeof half);
  Check(Svr_SetOptionInfo(render, 1, 1, one) == 1 &&
            Svr_GetOptionInfo(render, 1, got, 2) == 1 &&
            SameBytes(got[1].value, &half, sizeof half) &&
            SameBytes(got[0].value, &more, sizeof more),
        "Svr_SetOptionInfo (one)");

  CONFIG_OPTION global;
  const SVR_LONG pages = 4096;
  Check(Svr_GetOptionInfo(NULL, 0, 0, global) == 1 &&
            global.type == SVR_OPTION_INT32,
        "the global option is an integer");
  memcpy(global.value, &pages, sizeof pages);
  Check(Svr_SetOptionInfo(NULL, 0, 0, global) == 1 &&
            Svr_GetOptionInfo(NULL, 0, got, 1) == 1 &&
            SameBytes(got[0].value, &pages, sizeof pages),
        "the global option takes a new value");
}

void TempDirAndStream() {
  char dir[] = "C:\\srv\\tmp";
  char got[128];
  memset(got, 0, sizeof got);
  Check(Svr_SetTempDir(dir) == 1 && Svr_GetTempDir(got, sizeof got) == 1 &&
            Same(got, dir),
        "Svr_SetTempDir then Svr_GetTempDir");

  // A stream of the caller's own: constructor and destructor by name.
  CSmartFile stream(1, 1, 0, 0);
  stream.Write("abc", 3);
  Check(stream.Seek(1, 0) == 1 && SameBytes(stream.ReadMemPtr(2), "bc", 2) &&
            stream.ReadMemPtr(1) == NULL,
        "CSmartFile members");
  stream.SetLength(1);
  Check(stream.Seek(0, 2) == 1, "CSmartFile::SetLength");
}

}  // namespace

int RunCaller() {
  Users();
  UserIdLists();
  Connections();
  Gdbs();
  Options();
  TempDirAndStream();
  PrintNumber(g_checks);
  Print(" checks, ");
  PrintNumber(g_failures);
  Print(" wrong\n");
  return g_failures == 0 ? 0 : 1;
}
