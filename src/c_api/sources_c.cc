// The C interface's connections and GDBs, over the twin table
// (src/sources/twin_table.h): one template serves both, as there.
#include <cstdint>
#include <cstring>

#include "brellox/brellox_c.h"
#include "src/c_api/c_call.h"
#include "src/sources/twin_table.h"
#include "src/store/read_cache.h"

namespace brellox {
namespace {

static_assert(sizeof(brellox_connection) == sizeof(SVC_GDB_CONN_INFO) &&
                  offsetof(brellox_connection, name) ==
                      offsetof(SVC_GDB_CONN_INFO, name) &&
                  offsetof(brellox_connection, info4) ==
                      offsetof(SVC_GDB_CONN_INFO, info4),
              "a C connection is the C++ record byte for byte");
static_assert(sizeof(brellox_gdb) == sizeof(SVC_GDB_INFO) &&
                  offsetof(brellox_gdb, details) ==
                      offsetof(SVC_GDB_INFO, details),
              "a C GDB is the C++ record byte for byte");

// The C record type of each table, and where the table lies.
template <class Table>
struct CSide;
template <>
struct CSide<ConnTable> {
  using Record = brellox_connection;
  static const TableSpec& spec() { return kConnTable; }
};
template <>
struct CSide<GdbTable> {
  using Record = brellox_gdb;
  static const TableSpec& spec() { return kGdbTable; }
};

template <class Table>
using CRecord = typename CSide<Table>::Record;

template <class Table>
typename Table::Record FromC(const CRecord<Table>& record) {
  typename Table::Record copy;
  std::memcpy(&copy, &record, sizeof(copy));
  return copy;
}

template <class Table>
brellox_result Add(const char* path, const CRecord<Table>* record,
                   std::int32_t* id) {
  return CCall([&] {
    Status s = Required(record, "record");
    if (s.ok()) s = Required(id, "place for the ID");
    std::int32_t added = 0;
    if (s.ok()) {
      const typename Table::Record copy = FromC<Table>(*record);
      s = InSession(StoreAt(path), Access::kWrite, [&](ConfigSession& session) {
        return Table::Add(session, copy, &added);
      });
    }
    if (s.ok()) *id = added;
    return s;
  });
}

template <class Table>
brellox_result Get(const char* path, std::int32_t id, CRecord<Table>* record) {
  return CCall([&] {
    Status s = PositiveId(id, "ID");
    if (s.ok()) s = Required(record, "record");
    typename Table::Record found;
    if (s.ok()) s = Table::Find(StoreAt(path), id, &found);
    if (s.ok()) std::memcpy(record, &found, sizeof(found));
    return s;
  });
}

template <class Table>
brellox_result GetAll(const char* path, CRecord<Table>* records,
                      std::int32_t capacity, std::int32_t* count) {
  return CCall([&] {
    Status s = CheckListArguments(records, capacity, count);
    TableImage image;
    if (s.ok()) s = ReadTable(StoreAt(path), CSide<Table>::spec(), &image);
    if (s.ok()) {
      CopyList(image.count() > 0 ? image.record(0) : nullptr, image.count(),
               sizeof(CRecord<Table>), records, capacity, count);
    }
    return s;
  });
}

template <class Table>
brellox_result Update(const char* path, const CRecord<Table>* record) {
  return CCall([&] {
    Status s = Required(record, "record");
    if (!s.ok()) return s;
    const typename Table::Record copy = FromC<Table>(*record);
    return InSession(
        StoreAt(path), Access::kWrite,
        [&](ConfigSession& session) { return Table::Update(session, copy); });
  });
}

template <class Table>
brellox_result Remove(const char* path, std::int32_t id) {
  return CCall([&] {
    Status s = PositiveId(id, "ID");
    if (!s.ok()) return s;
    return InSession(
        StoreAt(path), Access::kWrite,
        [&](ConfigSession& session) { return Table::Remove(session, id); });
  });
}

template <class Table>
brellox_result Exists(const char* path, const char* name,
                      std::int32_t* exists) {
  return CCall([&] {
    Status s = Required(name, "name");
    if (s.ok()) s = Required(exists, "place for the answer");
    typename Table::Record found;
    if (s.ok()) s = Table::FindByName(StoreAt(path), name, &found);
    // Not finding it is the answer, not a failure.
    if (s.ok() || s.IsNotFound()) {
      *exists = s.ok() ? 1 : 0;
      s = Status::OK();
    }
    return s;
  });
}

template <class Table>
brellox_result Count(const char* path, std::int32_t* count) {
  return CCall([&] {
    Status s = Required(count, "place for the count");
    std::int32_t n = 0;
    if (s.ok()) s = CountRecords(StoreAt(path), CSide<Table>::spec(), &n);
    if (s.ok()) *count = n;
    return s;
  });
}

template <class Table>
brellox_result Ids(const char* path, std::int32_t* ids, std::int32_t capacity,
                   std::int32_t* count) {
  return CCall([&] {
    Status s = CheckListArguments(ids, capacity, count);
    TableImage image;
    if (s.ok()) s = ReadTable(StoreAt(path), CSide<Table>::spec(), &image);
    if (s.ok()) CopyIds(image, ids, capacity, count);
    return s;
  });
}

}  // namespace
}  // namespace brellox

using brellox::ConnTable;
using brellox::GdbTable;

brellox_result brellox_add_connection(const char* path,
                                      const brellox_connection* record,
                                      int32_t* id) {
  return brellox::Add<ConnTable>(path, record, id);
}
brellox_result brellox_get_connection(const char* path, int32_t id,
                                      brellox_connection* record) {
  return brellox::Get<ConnTable>(path, id, record);
}
brellox_result brellox_get_connections(const char* path,
                                       brellox_connection* records,
                                       int32_t capacity, int32_t* count) {
  return brellox::GetAll<ConnTable>(path, records, capacity, count);
}
brellox_result brellox_update_connection(const char* path,
                                         const brellox_connection* record) {
  return brellox::Update<ConnTable>(path, record);
}
brellox_result brellox_delete_connection(const char* path, int32_t id) {
  return brellox::Remove<ConnTable>(path, id);
}
brellox_result brellox_connection_exists(const char* path, const char* name,
                                         int32_t* exists) {
  return brellox::Exists<ConnTable>(path, name, exists);
}
brellox_result brellox_get_connection_count(const char* path, int32_t* count) {
  return brellox::Count<ConnTable>(path, count);
}
brellox_result brellox_get_connection_ids(const char* path, int32_t* ids,
                                          int32_t capacity, int32_t* count) {
  return brellox::Ids<ConnTable>(path, ids, capacity, count);
}

brellox_result brellox_add_gdb(const char* path, const brellox_gdb* record,
                               int32_t* id) {
  return brellox::Add<GdbTable>(path, record, id);
}
brellox_result brellox_get_gdb(const char* path, int32_t id,
                               brellox_gdb* record) {
  return brellox::Get<GdbTable>(path, id, record);
}
brellox_result brellox_get_gdbs(const char* path, brellox_gdb* records,
                                int32_t capacity, int32_t* count) {
  return brellox::GetAll<GdbTable>(path, records, capacity, count);
}
brellox_result brellox_update_gdb(const char* path, const brellox_gdb* record) {
  return brellox::Update<GdbTable>(path, record);
}
brellox_result brellox_delete_gdb(const char* path, int32_t id) {
  return brellox::Remove<GdbTable>(path, id);
}
brellox_result brellox_gdb_exists(const char* path, const char* name,
                                  int32_t* exists) {
  return brellox::Exists<GdbTable>(path, name, exists);
}
brellox_result brellox_get_gdb_count(const char* path, int32_t* count) {
  return brellox::Count<GdbTable>(path, count);
}
brellox_result brellox_get_gdb_ids(const char* path, int32_t* ids,
                                   int32_t capacity, int32_t* count) {
  return brellox::Ids<GdbTable>(path, ids, capacity, count);
}

brellox_result brellox_get_gdb_alias_name(const char* path, int32_t id,
                                          char* buffer, int32_t size) {
  return brellox::CCall([&] {
    brellox::Status s = brellox::PositiveId(id, "ID");
    if (s.ok()) s = brellox::CheckTextBuffer(buffer, size);
    SVC_GDB_INFO found;
    if (s.ok()) s = GdbTable::Find(brellox::StoreAt(path), id, &found);
    if (s.ok()) {
      s = brellox::CopyText(found.name, sizeof(found.name), buffer, size,
                            "alias name");
    }
    return s;
  });
}

brellox_result brellox_get_gdb_id(const char* path, const char* alias_name,
                                  int32_t* id) {
  return brellox::CCall([&] {
    brellox::Status s = brellox::Required(alias_name, "alias name");
    if (s.ok()) s = brellox::Required(id, "place for the ID");
    SVC_GDB_INFO found;
    if (s.ok()) {
      s = GdbTable::FindByName(brellox::StoreAt(path), alias_name, &found);
    }
    if (s.ok()) *id = found.id;
    return s;
  });
}
