// One file's life through every family: users, privileges, connections,
// GDBs, option groups, the global option and the temporary directory share
// one file, and each change by one family leaves the others' records intact
// and every table where the one before it ends.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "src/options/options.h"
#include "src/sources/sources.h"
#include "src/sources/twin_table.h"
#include "src/store/config_file.h"
#include "src/store/temp_dir.h"
#include "src/users/users.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

CONFIG_OPTION Option(unsigned char type, const char* name, const char* value) {
  CONFIG_OPTION option;
  std::memset(&option, 0, sizeof(option));
  std::strcpy(option.name, name);
  std::strcpy(reinterpret_cast<char*>(option.value), value);
  option.type = type;
  return option;
}

SVC_GDB_CONN_INFO Conn(const char* name, const char* info) {
  SVC_GDB_CONN_INFO conn;
  std::memset(&conn, 0, sizeof(conn));
  std::strcpy(conn.name, name);
  std::strcpy(conn.info4, info);
  return conn;
}

SVC_GDB_INFO Gdb(const char* name, char detail) {
  SVC_GDB_INFO gdb;
  std::memset(&gdb, 0, sizeof(gdb));
  std::strcpy(gdb.name, name);
  std::memset(gdb.details, detail, sizeof(gdb.details));
  return gdb;
}

class WholeFileTest : public StoreFixture {
 protected:
  // Every table starts where the one before it ends, the option groups end
  // the file, and the header passes the checks every call makes.
  void ExpectLayout(const std::string& step) {
    SCOPED_TRACE(step);
    const SVR_CFG_HEADER h = Header();
    const std::string bytes = FileBytes();
    EXPECT_TRUE(ValidateHeader(h, bytes.size()).ok());
    EXPECT_EQ(h.conns.offset, 781);
    EXPECT_EQ(h.gdbs.offset, h.conns.offset + 180 * h.conns.capacity);
    EXPECT_EQ(h.users.offset, h.gdbs.offset + 168 * h.gdbs.capacity);
    EXPECT_EQ(h.privs.offset, h.users.offset + 100 * h.users.capacity);
    EXPECT_EQ(h.optionGroupsOffset, h.privs.offset + 12 * h.privs.capacity);
    EXPECT_EQ(bytes.size(), static_cast<std::size_t>(LayoutEnd(h)));
  }

  // Runs the steps in order, checking the layout and everything the earlier
  // steps stored after each one.
  struct Step {
    std::string name;
    std::function<void()> change;
    std::function<void()> still_holds;
  };
  void Run(const std::vector<Step>& steps) {
    for (std::size_t i = 0; i < steps.size(); ++i) {
      steps[i].change();
      ExpectLayout(steps[i].name);
      for (std::size_t j = 0; j <= i; ++j) {
        SCOPED_TRACE(steps[i].name + " / " + steps[j].name);
        steps[j].still_holds();
      }
    }
  }

  SVR_LONG IntOf(const CONFIG_OPTION& option) {
    SVR_LONG value;
    std::memcpy(&value, option.value, sizeof(value));
    return value;
  }
};

TEST_F(WholeFileTest, EveryFamilyKeepsItsRecordsThroughTheOthersGrowth) {
  ExpectLayout("default file");
  const CONFIG_OPTION group_options[2] = {Option(0, "path", "/srv/tiles"),
                                          Option(13, "blob", "xyz")};
  SVR_LONG alice = 0, bob = 0, carol = 0;
  SVR_LONG north = 0, south = 0, east = 0;
  SVR_LONG atlas = 0, globe = 0, relief = 0;

  Run({
      {"option groups",
       [&] {
         ASSERT_EQ(AddOptionInfo(store(), "render", 1, group_options, 2), 1);
         ASSERT_EQ(AddOptionInfo(store(), "render", 2, group_options, 1), 1);
       },
       [&] {
         CONFIG_OPTION read[6];
         ASSERT_EQ(GetOptionInfo(store(), "render", 1, read, 6), 1);
         EXPECT_STREQ(read[0].name, "path");
         EXPECT_EQ(read[1].type, 13);
         EXPECT_EQ(GetOptionCount(store(), "render", 2), 6);
       }},
      {"temporary directory",
       [&] {
         char dir[] = "/var/tmp/brellox";
         ASSERT_EQ(SetTempDir(store(), dir), 1);
       },
       [&] {
         char dir[32] = {};
         ASSERT_EQ(GetTempDir(store(), dir, sizeof(dir)), 1);
         EXPECT_STREQ(dir, "/var/tmp/brellox");
       }},
      {"connections grow",
       [&] {
         north = ConnTable::Add(store(), Conn("north", "host=n"));
         south = ConnTable::Add(store(), Conn("south", "host=s"));
         east = ConnTable::Add(store(), Conn("east", "host=e"));
         ASSERT_GT(east, south);
         ASSERT_GT(south, north);
         ASSERT_GT(north, 1);
       },
       [&] {
         SVC_GDB_CONN_INFO conn;
         ASSERT_EQ(ConnTable::Get(store(), south, conn), 1);
         EXPECT_STREQ(conn.info4, "host=s");
         EXPECT_EQ(ConnTable::Exists(store(), "KelmirLocal"), 1);
       }},
      {"GDBs grow",
       [&] {
         atlas = GdbTable::Add(store(), Gdb("atlas", 'a'));
         globe = GdbTable::Add(store(), Gdb("globe", 'g'));
         relief = GdbTable::Add(store(), Gdb("relief", 'r'));
         ASSERT_GT(relief, 0);
       },
       [&] {
         SVR_LONG id = 0;
         ASSERT_EQ(GetGDBID(store(), "globe", id), 1);
         EXPECT_EQ(id, globe);
         SVC_GDB_INFO gdb;
         ASSERT_EQ(GdbTable::Get(store(), relief, gdb), 1);
         EXPECT_EQ(gdb.details[131], 'r');
       }},
      {"users grow",
       [&] {
         alice = AddUser(store(), "alice", "a-pw");
         bob = AddUser(store(), "bob", "b-pw");
         carol = AddUser(store(), "carol", "c-pw");
         ASSERT_EQ(UpdateUser(store(), bob, "b-new"), 1);
         ASSERT_EQ(CheckUser(store(), "bob", "b-new"), 1);
       },
       [&] {
         EXPECT_EQ(CheckUser(store(), "alice", "a-pw"), 1);
         EXPECT_EQ(GetUserIDByName(store(), "carol"), carol);
       }},
      {"privileges grow",
       [&] {
         for (SVR_LONG priv = 1; priv <= 3; ++priv) {
           ASSERT_EQ(SetUserPriv(store(), alice, priv, 10 * priv), 1);
         }
       },
       [&] {
         SVR_LONG value = 0;
         ASSERT_EQ(GetUserPriv(store(), alice, 3, value), 1);
         EXPECT_EQ(value, 30);
       }},
      {"options set",
       [&] {
         CONFIG_OPTION pages = Option(0, "", "");
         const SVR_LONG more = 8192;
         std::memcpy(pages.value, &more, sizeof(more));
         ASSERT_EQ(SetOptionInfo(store(), nullptr, 0, 0, pages), 1);
         CONFIG_OPTION path = Option(4, "", "/data");
         ASSERT_EQ(SetOptionInfo(store(), "render", 1, 0, path), 1);
       },
       [&] {
         CONFIG_OPTION read;
         ASSERT_EQ(GetOptionInfo(store(), nullptr, 0, 0, read), 1);
         EXPECT_EQ(IntOf(read), 8192);
         EXPECT_EQ(read.type, 4);
         ASSERT_EQ(GetOptionInfo(store(), "render", 1, 0, read), 1);
         EXPECT_STREQ(reinterpret_cast<char*>(read.value), "/data");
         EXPECT_STREQ(read.name, "path");
       }},
      {"removals",
       [&] {
         ASSERT_EQ(ConnTable::Remove(store(), north), 1);
         ASSERT_EQ(GdbTable::Remove(store(), atlas), 1);
         ASSERT_EQ(DelUser(store(), bob), 1);
       },
       [&] {
         SVC_GDB_CONN_INFO conn;
         EXPECT_EQ(ConnTable::Get(store(), north, conn), 0);
         SVC_GDB_INFO gdb;
         EXPECT_EQ(GdbTable::Get(store(), atlas, gdb), 0);
         EXPECT_EQ(GetUserIDByName(store(), "bob"), 0);
         EXPECT_EQ(ConnTable::Count(store()), 3);
         EXPECT_EQ(GdbTable::Count(store()), 2);
         EXPECT_EQ(GetUserIDByName(store(), "alice"), alice);
       }},
      {"more after removals",
       [&] {
         ASSERT_GT(AddUser(store(), "dave", "d-pw"), carol);
         ASSERT_EQ(AddOptionInfo(store(), "render", 3, group_options, 2), 1);
       },
       [&] {
         EXPECT_EQ(CheckUser(store(), "dave", "d-pw"), 1);
         EXPECT_EQ(Header().optionGroupsCount, 3);
       }},
  });
}

}  // namespace
}  // namespace test
}  // namespace brellox
