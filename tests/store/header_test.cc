// The header is checked on every call before anything else is read or
// written; the temporary directory is the header's own field.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "src/store/config_file.h"
#include "src/store/temp_dir.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

class HeaderTest : public StoreFixture {
 protected:
  // Applies `damage` to the header and expects both temp-dir calls to fail
  // with the file left byte for byte as it was.
  void ExpectRefusedAfter(const std::function<void(SVR_CFG_HEADER*)>& damage) {
    SVR_CFG_HEADER header = Header();
    damage(&header);
    SetHeader(header);
    const std::string before = FileBytes();
    char dir[] = "/tmp";
    EXPECT_EQ(SetTempDir(store(), dir), 0);
    char out[8] = "xxxxxxx";
    EXPECT_EQ(GetTempDir(store(), out, sizeof(out)), 0);
    EXPECT_STREQ(out, "xxxxxxx");
    EXPECT_EQ(FileBytes(), before);
  }
};

TEST_F(HeaderTest, MisplacedSectionsAreRefused) {
  ExpectRefusedAfter([](SVR_CFG_HEADER* h) { h->conns.offset += 1; });
  ResetFile();
  ExpectRefusedAfter([](SVR_CFG_HEADER* h) { h->gdbs.offset -= 168; });
  ResetFile();
  ExpectRefusedAfter([](SVR_CFG_HEADER* h) { h->users.capacity += 1; });
  ResetFile();
  ExpectRefusedAfter([](SVR_CFG_HEADER* h) { h->optionGroupsOffset = 0; });
}

TEST_F(HeaderTest, CountsOutsideTheirCapacityAreRefused) {
  ExpectRefusedAfter([](SVR_CFG_HEADER* h) { h->conns.count = 3; });
  ResetFile();
  ExpectRefusedAfter([](SVR_CFG_HEADER* h) { h->privs.count = -1; });
  ResetFile();
  ExpectRefusedAfter([](SVR_CFG_HEADER* h) { h->optionGroupsCount = -1; });
  ResetFile();
  // A negative capacity would make a negative count look in range.
  ExpectRefusedAfter([](SVR_CFG_HEADER* h) {
    h->privs.capacity = -2;
    h->privs.count = -2;
  });
}

TEST_F(HeaderTest, TheCheckNamesTheMisplacedTable) {
  const char* const kNames[] = {"connection", "GDB", "user", "privilege",
                                "option-group"};
  for (int i = 0; i < kSectionCount; ++i) {
    const Section s = static_cast<Section>(i);
    SVR_CFG_HEADER header = Header();
    SectionView view = GetSection(header, s);
    view.offset += 1;
    SetSection(&header, s, view);
    const Status status = ValidateHeader(header, FileBytes().size());
    EXPECT_TRUE(status.IsCorrupt());
    EXPECT_EQ(
        status.message().rfind(std::string(kNames[i]) + " table at offset " +
                                   std::to_string(view.offset),
                               0),
        0u)
        << status.message();
  }
}

TEST_F(HeaderTest, TablesPastTheEndOfTheFileAreRefused) {
  ExpectRefusedAfter([](SVR_CFG_HEADER* h) { h->optionGroupsCount = 1; });
  ResetFile();
  Truncate(1700);
  ExpectRefusedAfter([](SVR_CFG_HEADER*) {});
  ResetFile();
  Truncate(200);  // shorter than the header itself
  char dir[] = "/tmp";
  EXPECT_EQ(SetTempDir(store(), dir), 0);
  EXPECT_EQ(FileBytes().size(), 200u);
}

TEST_F(HeaderTest, DamagedMagicIsNotChecked) {
  CorruptByte(0);
  CorruptByte(16);  // formatTag: carried along, never read
  char dir[] = "/var/tmp";
  EXPECT_EQ(SetTempDir(store(), dir), 1);
  EXPECT_EQ(Header().formatTag,
            static_cast<std::uint16_t>(~0x70 & 0xff) + 0x4400);
}

TEST_F(HeaderTest, TempDirRoundTripsAndRewritesOnlyItsField) {
  const std::string before = FileBytes();
  char dir[] = "/srv/tmp";
  ASSERT_EQ(SetTempDir(store(), dir), 1);
  std::string after = FileBytes();
  EXPECT_EQ(after.substr(88, 9), std::string("/srv/tmp\0", 9));
  after.replace(88, 8, std::string(8, '\0'));
  EXPECT_EQ(after, before);

  char out[129];
  std::memset(out, 'x', sizeof(out));
  ASSERT_EQ(GetTempDir(store(), out, 128), 1);
  EXPECT_STREQ(out, "/srv/tmp");
  EXPECT_EQ(out[127], '\0');  // the rest of the 128 bytes is zero
  EXPECT_EQ(out[128], 'x');   // and nothing past them is touched
}

TEST_F(HeaderTest, TempDirReadIsBoundedByTheCallersLength) {
  char dir[] = "/a/directory/of/20ch";
  ASSERT_EQ(SetTempDir(store(), dir), 1);
  char out[16];
  std::memset(out, 'x', sizeof(out));
  ASSERT_EQ(GetTempDir(store(), out, 10), 1);
  EXPECT_EQ(std::string(out, 11), "/a/directox");

  EXPECT_EQ(GetTempDir(store(), out, 0), 0);
  EXPECT_EQ(GetTempDir(store(), out, -5), 0);
  EXPECT_EQ(GetTempDir(store(), nullptr, 10), 0);
  EXPECT_EQ(out[10], 'x');
}

TEST_F(HeaderTest, TempDirThatWouldBeStoredCutIsRefused) {
  const std::string before = FileBytes();
  std::string longest(127, 'a');
  std::string too_long(128, 'b');
  EXPECT_EQ(SetTempDir(store(), too_long.c_str()), 0);
  EXPECT_EQ(SetTempDir(store(), nullptr), 0);
  EXPECT_EQ(FileBytes(), before);
  ASSERT_EQ(SetTempDir(store(), longest.c_str()), 1);
  char out[200];
  ASSERT_EQ(GetTempDir(store(), out, 200), 1);
  EXPECT_EQ(std::string(out), longest);
}

TEST_F(HeaderTest, TempDirCallsFailOnAMissingFile) {
  RemoveFile();
  char out[8];
  EXPECT_EQ(SetTempDir(store(), "/tmp"), 0);
  EXPECT_EQ(GetTempDir(store(), out, sizeof(out)), 0);
  EXPECT_FALSE(std::filesystem::exists(path()));
}

TEST_F(HeaderTest, EveryFailedReadOrWriteIsReportedAsFailure) {
  for (FaultEnv::Op op : {FaultEnv::Op::kRead, FaultEnv::Op::kWrite}) {
    for (FaultEnv::Fault fault :
         {FaultEnv::Fault::kFail, FaultEnv::Fault::kCut}) {
      for (int k = 1;; ++k) {
        env_.Arm(op, k, fault);
        SVR_LONG result = SetTempDir(store(), "/tmp/x");
        if (!env_.fired()) {
          EXPECT_EQ(result, 1);
          break;
        }
        EXPECT_EQ(result, 0) << "operation " << k;
      }
      env_.Arm(FaultEnv::Op::kRead, 1, fault);
      char out[8];
      EXPECT_EQ(GetTempDir(store(), out, sizeof(out)), 0);
    }
  }
  env_.Disarm();
}

}  // namespace
}  // namespace test
}  // namespace brellox
