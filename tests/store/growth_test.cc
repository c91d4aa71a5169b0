// Appending to a full table moves every later table by two records' worth,
// intact, and leaves the header describing where everything now is.
#include "src/store/growth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>

#include "src/store/config_file.h"
#include "src/store/file_ranges.h"
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

  std::string RecordsInUse(const std::string& file,
                           const SVR_CFG_HEADER& header, Section s) const {
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
    const std::string table =
        after.substr(view.offset, view.capacity * spec->record_size());
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
    for (std::int32_t counter : {std::int32_t{-1}, std::int32_t{0}, highest - 1,
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
  EXPECT_EQ(after.substr(header.users.offset, 100),
            std::string(100, 'u').replace(0, 4, std::string("\1\0\0\0", 4)));
  EXPECT_EQ(after.substr(header.users.offset + 100, 100),
            std::string(100, '\0'));
}

TEST_F(GrowthTest, ChangesThatLeaveEveryByteAsItIsAreNotCommitted) {
  ASSERT_TRUE(Append(kGdbTable, 'g').ok());
  ASSERT_LT(Header().gdbs.count, Header().gdbs.capacity);
  const std::string before = FileBytes();
  const std::int64_t record = Header().gdbs.offset;
  const std::int64_t free_slot = record + kGdbTable.record_size();
  const auto commit = [&](bool differ) {
    ConfigSession session;
    ASSERT_TRUE(session.Open(store(), Access::kWrite).ok());
    env_.ResetCounts();
    ASSERT_TRUE(session.Write(record, &before[record], 40).ok());
    ASSERT_TRUE(session.Zero(free_slot, kGdbTable.record_size()).ok());
    ASSERT_TRUE(session.WriteHeader().ok());
    if (differ) {
      ASSERT_TRUE(session.Write(record + 39, "x", 1).ok());
    }
    ASSERT_TRUE(session.Commit().ok());
    EXPECT_EQ(session.wrote(), differ);
    EXPECT_EQ(env_.counters().writes > 0, differ);
    EXPECT_EQ(env_.counters().syncs > 0, differ);
  };
  commit(false);
  EXPECT_EQ(FileBytes(), before);
  // The last of the changes differs: all of them land, journaled.
  commit(true);
  std::string expected = before;
  expected[record + 39] = 'x';
  EXPECT_EQ(FileBytes(), expected);
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

// A table that reserves several chunks' worth of free slots, mostly holes,
// with stray bytes here and there: an add clears exactly those bytes.
TEST_F(GrowthTest, AppendClearsStrayBytesInFreeSlotsOfAnySize) {
  constexpr std::int32_t kSlots = 40000;  // 4 MB of user slots
  std::string image = DefaultConfigImage();
  SVR_CFG_HEADER header;
  std::memcpy(&header, image.data(), sizeof(header));
  header.users.capacity = kSlots;
  header.privs.offset = header.users.offset + kSlots * 100;
  header.optionGroupsOffset = header.privs.offset + 2 * 12;
  std::memcpy(&image[0], &header, sizeof(header));
  image.resize(header.optionGroupsOffset, '\0');
  std::string expected = image;
  const std::size_t users = header.users.offset;
  for (const std::size_t at :
       {users + 100, users + 4000, users + kChunkBytes - 1, users + kChunkBytes,
        users + 3 * kChunkBytes + 17, users + kSlots * std::size_t{100} - 1}) {
    image[at] = 'x';
  }
  WriteSparseBytes(path(), image);
  ASSERT_TRUE(Append(kUserTable, 'z').ok());
  header.users.count = 1;
  header.lastUserID = 1;
  std::memcpy(&expected[0], &header, sizeof(header));
  std::string record(100, 'z');
  record.replace(0, 4, std::string("\1\0\0\0", 4));
  expected.replace(users, 100, record);
  EXPECT_TRUE(FileBytes() == expected);
}

// What a session's changes must come to, worked out on a plain string.
class ChangeModel {
 public:
  explicit ChangeModel(std::string bytes) : bytes_(std::move(bytes)) {}
  const std::string& bytes() const { return bytes_; }

  void Write(std::uint64_t at, const std::string& data) { Put(at, data); }
  void Zero(std::uint64_t at, std::uint64_t n) {
    Put(at, std::string(n, '\0'));
  }
  void Move(std::uint64_t to, std::uint64_t from, std::uint64_t n) {
    Put(to, bytes_.substr(from, n));
  }

 private:
  void Put(std::uint64_t at, const std::string& data) {
    if (bytes_.size() < at + data.size()) bytes_.resize(at + data.size(), '\0');
    bytes_.replace(at, data.size(), data);
  }
  std::string bytes_;
};

// Records random writes, zero-fills and moves (overlapping each other in
// every direction, crossing chunk boundaries, holes and the file's end) on
// `session` and `model` alike, checking after each that the session reads
// exactly what the model holds and that its scan skips only zeros.
void RecordRandomChanges(std::uint32_t seed, ConfigSession& session,
                         ChangeModel* model) {
  std::mt19937 random(seed);
  const auto below = [&](std::uint64_t n) { return random() % n; };
  const std::uint64_t first = kFirstTableOffset + 1000;  // the layout stays
  for (int i = 0; i < 6; ++i) {
    const std::uint64_t size = model->bytes().size();
    const std::uint64_t at = first + below(size + kChunkBytes - first);
    const std::uint64_t n = 1 + below(i % 2 == 0 ? 3000 : 3 * kChunkBytes);
    switch (below(3)) {
      case 0: {
        const std::string data(n % 5000, static_cast<char>('a' + i));
        ASSERT_TRUE(session.Write(at, data.data(), data.size()).ok());
        model->Write(at, data);
        break;
      }
      case 1:
        ASSERT_TRUE(session.Zero(at, n).ok());
        model->Zero(at, n);
        break;
      default: {
        const std::uint64_t from = first + below(size - first);
        const std::uint64_t length = std::min(n, size - from);
        // Far away, or a short way either side: a long move by a little
        // overwrites its own source unless copied in the right direction.
        const std::uint64_t to =
            below(2) == 0 ? at : std::max(first, from + below(600) - 300);
        ASSERT_TRUE(session.Move(to, from, length).ok());
        model->Move(to, from, length);
      }
    }
    const std::string& expected = model->bytes();
    ASSERT_EQ(session.Size(), expected.size());
    std::string seen(expected.size(), '\0');
    ASSERT_TRUE(session.Read(0, seen.size(), &seen[0]).ok());
    ASSERT_TRUE(seen == expected) << "seed " << seed << ", change " << i;
    for (int probe = 0; probe < 8; ++probe) {
      const std::uint64_t offset = below(expected.size());
      std::uint64_t data = 0, data_end = 0;
      ASSERT_TRUE(session.NextData(offset, &data, &data_end).ok());
      ASSERT_GE(data, offset);
      ASSERT_TRUE(data_end > data || data == expected.size());
      ASSERT_EQ(expected.find_first_not_of('\0', offset) < data, false)
          << "seed " << seed << ": data skipped from " << offset;
    }
  }
}

// The same changes land as the session read them when it commits, and
// leave the file exactly as it was when the commit dies at any write.
TEST_F(GrowthTest, MovesAndZeroFillsLandAsReadOrNotAtAll) {
  env_.set_syncs_reach_disk(false);
  std::mt19937 random(4077);
  for (std::uint32_t seed = 1; seed <= 24; ++seed) {
    // Islands of data, no two bytes alike nearby, between holes.
    std::string base = DefaultConfigImage();
    base.resize(2 * kChunkBytes + 5000, '\0');
    for (int island = 0; island < 12; ++island) {
      const std::size_t at = 2000 + random() % (base.size() - 102000);
      for (std::size_t i = at; i < at + 100000; ++i) {
        base[i] = static_cast<char>(1 + (i * 131 + island) % 251);
      }
    }
    for (const bool crash : {true, false}) {
      WriteSparseBytes(path(), base);
      ChangeModel model(base);
      bool fired = false;
      {
        ConfigSession session;
        ASSERT_TRUE(session.Open(store(), Access::kWrite).ok());
        RecordRandomChanges(seed, session, &model);
        if (crash) {
          env_.Arm(FaultEnv::Op::kWrite, 1 + random() % 12,
                   FaultEnv::Fault::kCrash);
        }
        const Status committed = session.Commit();
        fired = crash && env_.fired();  // fired() outlives Disarm
        env_.Disarm();
        ASSERT_EQ(committed.ok(), !fired) << "seed " << seed;
      }
      if (fired) {
        ConfigSession recovering;  // rolls back what the commit began
        const Status opened = recovering.Open(store(), Access::kRead);
        ASSERT_TRUE(opened.ok()) << opened.ToString();
      }
      ASSERT_TRUE(FileBytes() == (fired ? base : model.bytes()))
          << "seed " << seed << (fired ? ", after the crash" : "");
    }
  }
}

}  // namespace
}  // namespace test
}  // namespace brellox
