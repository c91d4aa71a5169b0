#include "src/sources/sources.h"

#include <cstring>

#include "src/sources/twin_table.h"
#include "src/store/config_file.h"
#include "src/store/text.h"

namespace brellox {

SVR_LONG AddConn(const Store& store, const SVC_GDB_CONN_INFO& info) {
  return ConnTable::Add(store, info);
}
SVR_LONG GetConn(const Store& store, SVR_LONG connID, SVC_GDB_CONN_INFO& info) {
  return ConnTable::Get(store, connID, info);
}
SVR_LONG GetAllConn(const Store& store, SVC_GDB_CONN_INFO* infos,
                    SVR_LONG count) {
  return ConnTable::GetAll(store, infos, count);
}
SVR_LONG UpdateConn(const Store& store, const SVC_GDB_CONN_INFO& info) {
  return ConnTable::Update(store, info);
}
SVR_LONG DelConn(const Store& store, SVR_LONG connID) {
  return ConnTable::Remove(store, connID);
}
SVR_LONG ConnIsExist(const Store& store, const char* name) {
  return ConnTable::Exists(store, name);
}
SVR_LONG GetConnCount(const Store& store) { return ConnTable::Count(store); }
SVR_LONG GetConnIDs(const Store& store, CSmartArray<SVR_LONG>& ids) {
  return ConnTable::GetIds(store, ids);
}

SVR_LONG AddGDB(const Store& store, const SVC_GDB_INFO& info) {
  return GdbTable::Add(store, info);
}
SVR_LONG GetGDB(const Store& store, SVR_LONG gdbID, SVC_GDB_INFO& info) {
  return GdbTable::Get(store, gdbID, info);
}
SVR_LONG GetAllGDB(const Store& store, SVC_GDB_INFO* infos, SVR_LONG count) {
  return GdbTable::GetAll(store, infos, count);
}
SVR_LONG UpdateGDB(const Store& store, const SVC_GDB_INFO& info) {
  return GdbTable::Update(store, info);
}
SVR_LONG DelGDB(const Store& store, SVR_LONG gdbID) {
  return GdbTable::Remove(store, gdbID);
}
SVR_LONG GDBIsExist(const Store& store, const char* name) {
  return GdbTable::Exists(store, name);
}
SVR_LONG GetGDBCount(const Store& store) { return GdbTable::Count(store); }
SVR_LONG GetGDBIDs(const Store& store, CSmartArray<SVR_LONG>& ids) {
  return GdbTable::GetIds(store, ids);
}

namespace {

// Opens the file and reads every GDB. Fails for an empty table as well:
// both lookups answer 0 when there is nothing to look in.
bool LoadNonEmptyGdbTable(const Store& store, ConfigSession* session,
                          TableImage* image) {
  if (!Reported(OpenTable(store, Access::kRead, kGdbTable, session, image))) {
    return false;
  }
  if (image->count() > 0) return true;
  SetLastError(Status::Code::kNotFound, "no GDB");
  return false;
}

}  // namespace

SVR_LONG GetGDBAliasName(const Store& store, SVR_LONG gdbID, char* name,
                         short len) {
  if (name == nullptr || len <= 0) {
    SetLastError(Status::Code::kInvalidArgument, "no buffer for the name");
    return 0;
  }
  std::memset(name, 0, static_cast<std::size_t>(len));
  ConfigSession session;
  TableImage image;
  if (!LoadNonEmptyGdbTable(store, &session, &image)) return 0;
  const std::int32_t index = image.FindId(gdbID);
  if (index >= 0) {
    const std::size_t n = len < static_cast<short>(kTwinNameWidth)
                              ? static_cast<std::size_t>(len)
                              : kTwinNameWidth;
    BoundedCopy(name, n, TwinName(image.record(index)), kTwinNameWidth);
  }
  return 1;
}

SVR_LONG GetGDBID(const Store& store, const char* name, SVR_LONG& gdbID) {
  gdbID = 0;
  if (name == nullptr) {
    SetLastError(Status::Code::kInvalidArgument, "no name");
    return 0;
  }
  ConfigSession session;
  TableImage image;
  if (!LoadNonEmptyGdbTable(store, &session, &image)) return 0;
  for (std::int32_t i = 0; i < image.count(); ++i) {
    if (FieldEquals(TwinName(image.record(i)), kTwinNameWidth, name)) {
      gdbID = image.id(i);
      break;
    }
  }
  return 1;
}

}  // namespace brellox
