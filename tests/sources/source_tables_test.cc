// What sets the two tables apart: the default file's contents, where each
// table's growth moves the others, and the GDB lookups by ID and alias.
#include <gtest/gtest.h>

#include "src/store/store.h"
#include "tests/sources/sources_fixture.h"

namespace brellox {
namespace test {
namespace {

class SourceTablesTest : public SourcesFixture {
 protected:
  // Adds a GDB with this alias name (not necessarily terminated) and returns
  // its ID.
  SVR_LONG AddGdbNamed(const std::string& name) {
    return GdbTable::Add(store(), MakeRecord<SVC_GDB_INFO>(name, 'd'));
  }

  // The alias name through a buffer of `len` bytes preset to 'x', with
  // 8 bytes more to show that nothing past `len` is touched.
  std::string AliasThrough(SVR_LONG id, short len, SVR_LONG* result) {
    std::string buffer(std::max<int>(len, 0) + 8, 'x');
    *result = GetGDBAliasName(store(), id, &buffer[0], len);
    return buffer;
  }
};

TEST_F(SourceTablesTest, DefaultFileHoldsOneConnectionAndNoGdb) {
  EXPECT_EQ(ConnTable::Count(store()), 1);
  CSmartArray<SVR_LONG> ids;
  ASSERT_EQ(ConnTable::GetIds(store(), ids), 1);
  EXPECT_EQ(*ids.GetAt(0), 1);
  EXPECT_EQ(ConnTable::Exists(store(), "KelmirLocal"), 1);
  SVC_GDB_CONN_INFO conn;
  ASSERT_EQ(ConnTable::Get(store(), 1, conn), 1);
  EXPECT_STREQ(conn.name, "KelmirLocal");

  EXPECT_EQ(GdbTable::Count(store()), 0);
  EXPECT_EQ(GdbTable::GetIds(store(), ids), 0);
  EXPECT_EQ(ids.GetSize(), 0);
  char alias[40];
  EXPECT_EQ(GetGDBAliasName(store(), 1, alias, sizeof(alias)), 0);
  SVR_LONG id = 5;
  EXPECT_EQ(GetGDBID(store(), "", id), 0);
  EXPECT_EQ(id, 0);
}

TEST_F(SourceTablesTest, ConnectionGrowthMovesTheFourLaterTables360Bytes) {
  EXPECT_EQ(AddConns(1), std::vector<SVR_LONG>{2});
  SVR_CFG_HEADER header = Header();
  EXPECT_EQ(header.conns.capacity, 2);
  EXPECT_EQ(header.gdbs.offset, 1141);

  EXPECT_EQ(AddConns(1), std::vector<SVR_LONG>{3});
  header = Header();
  EXPECT_EQ(header.conns.offset, 781);
  EXPECT_EQ(header.conns.count, 3);
  EXPECT_EQ(header.conns.capacity, 4);
  EXPECT_EQ(header.gdbs.offset, 1141 + 360);
  EXPECT_EQ(header.users.offset, 1477 + 360);
  EXPECT_EQ(header.privs.offset, 1677 + 360);
  EXPECT_EQ(header.optionGroupsOffset, 1701 + 360);
  EXPECT_EQ(header.lastConnID, 3);
  EXPECT_EQ(FileBytes().size(), 1701u + 360);
}

TEST_F(SourceTablesTest, GdbGrowthMovesTheThreeLaterTables336Bytes) {
  EXPECT_EQ(AddGdbs(2), (std::vector<SVR_LONG>{1, 2}));
  EXPECT_EQ(Header().users.offset, 1477);
  EXPECT_EQ(AddGdbs(1), std::vector<SVR_LONG>{3});
  const SVR_CFG_HEADER header = Header();
  EXPECT_EQ(header.conns.offset, 781);
  EXPECT_EQ(header.gdbs.offset, 1141);
  EXPECT_EQ(header.gdbs.capacity, 4);
  EXPECT_EQ(header.users.offset, 1477 + 336);
  EXPECT_EQ(header.privs.offset, 1677 + 336);
  EXPECT_EQ(header.optionGroupsOffset, 1701 + 336);
  EXPECT_EQ(header.lastGDBID, 3);
}

TEST_F(SourceTablesTest, GdbsAreFoundWhereTheConnectionTableMovedThem) {
  AddGdbs(3);
  const std::string gdbs = RecordsInUse(Section::kGdbs);
  AddConns(4);  // two growths
  ASSERT_EQ(Header().gdbs.offset, 1141 + 2 * 360);
  EXPECT_EQ(RecordsInUse(Section::kGdbs), gdbs);

  EXPECT_EQ(GdbTable::Count(store()), 3);
  SVC_GDB_INFO gdb;
  ASSERT_EQ(GdbTable::Get(store(), 2, gdb), 1);
  EXPECT_STREQ(gdb.name, "gdb1");
  EXPECT_EQ(GdbTable::Exists(store(), "gdb2"), 1);
  char alias[33];
  ASSERT_EQ(GetGDBAliasName(store(), 3, alias, sizeof(alias)), 1);
  EXPECT_STREQ(alias, "gdb2");
  SVR_LONG id = 0;
  ASSERT_EQ(GetGDBID(store(), "gdb0", id), 1);
  EXPECT_EQ(id, 1);
  gdb.details[0] = '!';
  EXPECT_EQ(GdbTable::Update(store(), gdb), 1);
  EXPECT_EQ(GdbTable::Remove(store(), 1), 1);
  EXPECT_EQ(AddGdbs(2), (std::vector<SVR_LONG>{4, 5}));  // grows the GDBs
  SVC_GDB_INFO all[4];
  ASSERT_EQ(GdbTable::GetAll(store(), all, 4), 1);
  EXPECT_EQ(Bytes(all[0]), Bytes(gdb));
  EXPECT_EQ(all[3].id, 5);
  EXPECT_EQ(ConnTable::Count(store()), 5);
}

TEST_F(SourceTablesTest, AliasNameIsBoundedToTheBufferAndTheField) {
  const std::string full(32, 'F');
  const SVR_LONG short_id = AddGdbNamed("alias");
  const SVR_LONG full_id = AddGdbNamed(full);  // fills the field, no NUL
  const std::string z(1, '\0');
  SVR_LONG result = 0;
  struct Case {
    short len;
    std::string short_alias, full_alias;
  };
  const Case cases[] = {
      {5, "alias", "FFFFF"},
      {32, "alias" + std::string(27, '\0'), full},
      {33, "alias" + std::string(28, '\0'), full + z},
      {40, "alias" + std::string(35, '\0'), full + std::string(8, '\0')},
  };
  for (const Case& c : cases) {
    const std::string tail(8, 'x');
    EXPECT_EQ(AliasThrough(short_id, c.len, &result), c.short_alias + tail)
        << c.len;
    EXPECT_EQ(result, 1);
    EXPECT_EQ(AliasThrough(full_id, c.len, &result), c.full_alias + tail)
        << c.len;
    EXPECT_EQ(result, 1);
    EXPECT_EQ(AliasThrough(full_id + 1, c.len, &result),
              std::string(c.len, '\0') + tail);
    EXPECT_EQ(result, 1);
  }
  for (short len : {0, -1}) {
    EXPECT_EQ(AliasThrough(short_id, len, &result), std::string(8, 'x'));
    EXPECT_EQ(result, 0);
  }
  EXPECT_EQ(GetGDBAliasName(store(), short_id, nullptr, 10), 0);
}

TEST_F(SourceTablesTest, IdLookupMatchesWholeNamesOnly) {
  const SVR_LONG first = AddGdbNamed("alpha");
  const SVR_LONG second = AddGdbNamed("Alpha");
  const SVR_LONG full = AddGdbNamed(std::string(32, 'F'));
  struct Case {
    const char* name;
    SVR_LONG id;
  };
  const std::string full_name(32, 'F');
  const std::string too_long(33, 'F');
  const Case cases[] = {
      {"alpha", first}, {"Alpha", second}, {full_name.c_str(), full},
      {"alph", 0},      {"alpha ", 0},     {too_long.c_str(), 0},
      {"", 0}};
  for (const Case& c : cases) {
    SVR_LONG id = 77;
    EXPECT_EQ(GetGDBID(store(), c.name, id), 1) << c.name;
    EXPECT_EQ(id, c.id) << c.name;
  }
  SVR_LONG id = 77;
  EXPECT_EQ(GetGDBID(store(), nullptr, id), 0);
  EXPECT_EQ(id, 0);
}

TEST_F(SourceTablesTest, LookupsAnswerZeroForAnEmptyOrUnreadableTable) {
  const std::vector<SVR_LONG> ids = AddGdbs(2);
  for (SVR_LONG id : ids) ASSERT_EQ(GdbTable::Remove(store(), id), 1);
  char alias[8];
  SVR_LONG id = 9;
  EXPECT_EQ(GetGDBAliasName(store(), ids[0], alias, sizeof(alias)), 0);
  EXPECT_EQ(GetGDBID(store(), "gdb0", id), 0);

  AddGdbs(1);
  RemoveFile();
  std::memset(alias, 'x', sizeof(alias));
  id = 9;
  EXPECT_EQ(GdbTable::Count(store()), -1);
  EXPECT_EQ(GetGDBAliasName(store(), 3, alias, sizeof(alias)), 0);
  EXPECT_EQ(std::string(alias, sizeof(alias)),
            std::string(sizeof(alias), '\0'));
  EXPECT_EQ(GetGDBID(store(), "gdb2", id), 0);
  EXPECT_EQ(id, 0);
}

TEST_F(SourceTablesTest, LookupsFailWhenTheTableCannotBeRead) {
  AddGdbs(2);
  char alias[8];
  SVR_LONG id = 9;
  // The first read is the header, the second the table.
  env_.Arm(FaultEnv::Op::kRead, 2);
  EXPECT_EQ(GetGDBAliasName(store(), 1, alias, sizeof(alias)), 0);
  env_.Arm(FaultEnv::Op::kRead, 2);
  EXPECT_EQ(GetGDBID(store(), "gdb0", id), 0);
  EXPECT_EQ(id, 0);
  env_.Disarm();
}

TEST_F(SourceTablesTest, ExportedFunctionsWorkOnTheLibrarysOwnFile) {
  AttachLibraryFile();
  SVC_GDB_CONN_INFO conn = MakeRecord<SVC_GDB_CONN_INFO>("exported", 'c');
  SVC_GDB_INFO gdb = MakeRecord<SVC_GDB_INFO>("exported", 'g');
  ASSERT_EQ(Svr_AddConn(conn), 2);
  ASSERT_EQ(Svr_AddGDB(gdb), 1);
  char name[] = "exported";
  EXPECT_EQ(Svr_ConnIsExist(name), 1);
  EXPECT_EQ(Svr_GDBIsExist(name), 1);
  EXPECT_EQ(Svr_GetConnCount(), 2);
  EXPECT_EQ(Svr_GetGDBCount(), 1);
  CSmartArray<SVR_LONG> ids;
  EXPECT_EQ(Svr_GetConnIDs(ids), 2);
  EXPECT_EQ(Svr_GetGDBIDs(ids), 1);
  EXPECT_EQ(Svr_GetConn(2, conn), 1);
  EXPECT_EQ(Svr_GetGDB(1, gdb), 1);
  EXPECT_EQ(Svr_GetAllConn(&conn, 1), 1);
  EXPECT_EQ(Svr_GetAllGDB(&gdb, 1), 1);
  EXPECT_EQ(Svr_UpdateConn(conn), 1);
  EXPECT_EQ(Svr_UpdateGDB(gdb), 1);
  char alias[33];
  EXPECT_EQ(Svr_GetGDBAliasName(1, alias, sizeof(alias)), 1);
  EXPECT_STREQ(alias, "exported");
  SVR_LONG id = 0;
  EXPECT_EQ(Svr_GetGDBID(name, id), 1);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(Svr_DelConn(1), 1);
  EXPECT_EQ(Svr_DelGDB(1), 1);
  EXPECT_EQ(ConnTable::Count(store()), 1);
  EXPECT_EQ(GdbTable::Count(store()), 0);

  DetachLibraryFile();
  EXPECT_EQ(Svr_GetConnCount(), 0);
  EXPECT_EQ(Svr_GetGDBCount(), -1);
  EXPECT_EQ(Svr_AddGDB(gdb), 0);
}

}  // namespace
}  // namespace test
}  // namespace brellox
