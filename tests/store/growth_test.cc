// Appending to a full table moves every later table by two records' worth,
// intact, and leaves the header describing where everything now is.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "src/store/config_file.h"
#include "src/store/growth.h"
#include "src/store/table.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

const TableSpec* const kTables[] = {&kConnTable, &kGdbTable, &kUserTable,
                                    &kPrivTable};

class GrowthTest : public StoreFixture {
 protected:
  // Appends one record to `spec`'s table, filled with `fill` after its ID.
  Status Append(const TableSpec& spec, char fill, std::int32_t* id = nullptr) {
    ConfigSession session;
    Status s = session.Open(store(), Access::kWrite);
    TableImage image;
    if (s.ok()) s = TableImage::Load(session, spec, &image);
    if (!s.ok()) return s;
    std::string record(spec.record_size(), fill);
    s = AppendRecord(session, spec, image, record.data(), id);
    return s.ok() ? session.Commit() : s;
  }

  // Fills every table to its capacity with recognisable records.
  void FillEverything() {
    for (const TableSpec* spec : kTables) {
      while (GetSection(Header(), spec->section).count <
             GetSection(Header(), spec->section).capacity) {
        ASSERT_TRUE(Append(*spec, 'a' + static_cast<int>(spec->section)).ok());
      }
    }
    AddRawOptionGroup('o');
    AddRawOptionGroup('p');
  }

  std::string RecordsInUse(const std::string& file, const SVR_CFG_HEADER& header,
                           Section s) const {
    const SectionView view = GetSection(header, s);
    return file.substr(view.offset, view.count * RecordSize(s));
  }
};

TEST_F(GrowthTest, AppendToAFullTableMovesEveryLaterTableIntact) {
  for (const TableSpec* spec : kTables) {
    FillEverything();
    const std::string before = FileBytes();
    const SVR_CFG_HEADER old_header = Header();
    const SectionView old_view = GetSection(old_header, spec->section);
    ASSERT_EQ(old_view.count, old_view.capacity);

    ASSERT_TRUE(Append(*spec, 'z').ok());

    const std::string after = FileBytes();
    const SVR_CFG_HEADER header = Header();
    const std::int32_t delta = 2 * spec->record_size();
    EXPECT_EQ(after.size(), before.size() + delta);
    EXPECT_TRUE(ValidateHeader(header, after.size()).ok());
    for (int i = 0; i < kSectionCount; ++i) {
      const Section s = static_cast<Section>(i);
      const bool later = i > static_cast<int>(spec->section);
      EXPECT_EQ(GetSection(header, s).offset,
                GetSection(old_header, s).offset + (later ? delta : 0));
      if (s != spec->section) {
        EXPECT_EQ(RecordsInUse(after, header, s),
                  RecordsInUse(before, old_header, s));
      }
    }
    const SectionView view = GetSection(header, spec->section);
    EXPECT_EQ(view.capacity, old_view.capacity + 2);
    EXPECT_EQ(view.count, old_view.count + 1);
    // The old records, the new one, then one zero slot.
    const std::string table = after.substr(view.offset, view.capacity * spec->record_size());
    EXPECT_EQ(table.substr(0, old_view.count * spec->record_size()),
              RecordsInUse(before, old_header, spec->section));
    EXPECT_EQ(table.substr(table.size() - spec->record_size()),
              std::string(spec->record_size(), '\0'));
  }
}

TEST_F(GrowthTest, IdsComeFromTheCounterAndAreStoredInRecordAndHeader) {
  std::int32_t id = 0;
  ASSERT_TRUE(Append(kConnTable, 'q', &id).ok());
  EXPECT_EQ(id, 2);
  EXPECT_EQ(Header().lastConnID, 2);
  ASSERT_TRUE(Append(kUserTable, 'q', &id).ok());
  EXPECT_EQ(id, 1);
  std::int32_t stored;
  std::memcpy(&stored, FileBytes().data() + Header().users.offset, 4);
  EXPECT_EQ(stored, 1);
  ASSERT_TRUE(Append(kPrivTable, 'q', &id).ok());
  EXPECT_EQ(id, 0);  // privileges carry no ID
}

// A damaged counter would hand out an ID some record already has, or none
// at all: such an add is refused, with the file untouched.
TEST_F(GrowthTest, DamagedIdCountersRefuseTheAddAndChangeNothing) {
  for (const TableSpec* spec : {&kConnTable, &kGdbTable, &kUserTable}) {
    ResetFile();
    ASSERT_TRUE(Append(*spec, 'a').ok());
    ASSERT_TRUE(Append(*spec, 'b').ok());  // IDs up to 2 (3 for connections)
    const SVR_CFG_HEADER good = Header();
    const std::int32_t highest = good.*(spec->last_id);
    for (std::int32_t counter :
         {std::int32_t{-1}, std::int32_t{0}, highest - 1,
          std::numeric_limits<std::int32_t>::max()}) {
      SVR_CFG_HEADER damaged = good;
      damaged.*(spec->last_id) = counter;
      SetHeader(damaged);
      const std::string before = FileBytes();
      EXPECT_FALSE(Append(*spec, 'z').ok()) << counter;
      EXPECT_EQ(FileBytes(), before) << counter;
    }
    SetHeader(good);
    std::int32_t id = 0;
    ASSERT_TRUE(Append(*spec, 'z', &id).ok());
    EXPECT_EQ(id, highest + 1);
  }
}

TEST_F(GrowthTest, ShiftSectionRewritesFreeSlotsAsZeros) {
  ASSERT_TRUE(Append(kUserTable, 'u').ok());
  std::string bytes = FileBytes();
  const SVR_CFG_HEADER old_header = Header();
  bytes[old_header.users.offset + 150] = 'x';  // garbage in the free slot
  SetFileBytes(bytes);
  SVR_CFG_HEADER header;
  {
    ConfigSession session;
    ASSERT_TRUE(session.Open(store(), Access::kWrite).ok());
    ASSERT_TRUE(ShiftSection(session, Section::kUsers, 100).ok());
    ASSERT_TRUE(session.Commit().ok());
    header = session.header();
  }
  EXPECT_EQ(header.users.offset, old_header.users.offset + 100);
  const std::string after = FileBytes();
  EXPECT_EQ(after.substr(header.users.offset, 100), std::string(100, 'u').replace(0, 4, std::string("\1\0\0\0", 4)));
  EXPECT_EQ(after.substr(header.users.offset + 100, 100), std::string(100, '\0'));
}

TEST_F(GrowthTest, OutOfMemoryAtAnyAllocationChangesNothing) {
  for (const TableSpec* spec : kTables) {
    FillEverything();
    const std::string before = FileBytes();
    for (int nth = 1;; ++nth) {
      FailNthAllocationForTesting(nth);
      Status s = Append(*spec, 'z');
      FailNthAllocationForTesting(0);
      if (s.ok()) break;
      EXPECT_EQ(FileBytes(), before) << "allocation " << nth;
    }
  }
}

TEST_F(GrowthTest, EveryFailedReadOrWriteDuringGrowthIsReported) {
  for (FaultEnv::Op op : {FaultEnv::Op::kRead, FaultEnv::Op::kWrite}) {
    for (int k = 1;; ++k) {
      ResetFile();
      FillEverything();
      env_.Arm(op, k, FaultEnv::Fault::kCut);
      Status s = Append(kConnTable, 'z');
      if (!env_.fired()) {
        env_.Disarm();
        EXPECT_TRUE(s.ok());
        break;
      }
      EXPECT_FALSE(s.ok()) << "operation " << k;
    }
  }
}

TEST_F(GrowthTest, RemoveClosesTheGapInOrderAndClearsTheFreedSlot) {
  for (char fill : {'1', '2', '3'}) ASSERT_TRUE(Append(kGdbTable, fill).ok());
  {
    ConfigSession session;
    ASSERT_TRUE(session.Open(store(), Access::kWrite).ok());
    TableImage image;
    ASSERT_TRUE(TableImage::Load(session, kGdbTable, &image).ok());
    ASSERT_EQ(image.FindId(2), 1);
    ASSERT_TRUE(RemoveRecord(session, kGdbTable, &image, 1).ok());
    ASSERT_TRUE(session.Commit().ok());
    EXPECT_EQ(image.count(), 2);
  }

  const SVR_CFG_HEADER header = Header();
  EXPECT_EQ(header.gdbs.count, 2);
  EXPECT_EQ(header.gdbs.capacity, 4);
  EXPECT_EQ(header.lastGDBID, 3);
  const std::string table = FileBytes().substr(header.gdbs.offset, 4 * 168);
  EXPECT_EQ(table[0], '\1');
  EXPECT_EQ(table[4], '1');
  EXPECT_EQ(table[168], '\3');
  EXPECT_EQ(table[172], '3');
  EXPECT_EQ(table.substr(2 * 168), std::string(2 * 168, '\0'));
}

}  // namespace
}  // namespace test
}  // namespace brellox
