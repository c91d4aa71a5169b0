// Behaviour the connection and GDB tables share, checked on both.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <type_traits>

#include "src/store/buffer.h"
#include "src/store/config_file.h"
#include "tests/sources/sources_fixture.h"

namespace brellox {
namespace test {
namespace {

template <class Table>
class TwinTableTest : public SourcesFixture {
 protected:
  using Record = typename Table::Record;
  static constexpr Section kSection = Expected<Table>::kSection;

  Record Named(const std::string& name, char fill = 'f') {
    return MakeRecord<Record>(name, fill);
  }
  SVR_LONG Add(const Record& r) { return Table::Add(store(), r); }
  SVR_LONG Add(const std::string& name) { return Add(Named(name)); }
  SVR_LONG Update(const Record& r) { return Table::Update(store(), r); }
  SVR_LONG Del(SVR_LONG id) { return Table::Remove(store(), id); }
  SVR_LONG Exists(const std::string& name) {
    return Table::Exists(store(), name.c_str());
  }
  SVR_LONG Count() { return Table::Count(store()); }

  // Every record in use, in table order, through GetAll.
  std::vector<std::string> All() {
    std::vector<Record> records(Count() + 1);
    EXPECT_EQ(Table::GetAll(store(), records.data(),
                            static_cast<SVR_LONG>(records.size())),
              1);
    std::vector<std::string> bytes;
    for (std::size_t i = 0; i + 1 < records.size(); ++i) {
      bytes.push_back(Bytes(records[i]));
    }
    EXPECT_EQ(Bytes(records.back()), std::string(sizeof(Record), '\0'));
    return bytes;
  }

  // The records in use before any test step, in table order.
  std::vector<std::string> Initial() {
    return kSection == Section::kConns ? All() : std::vector<std::string>();
  }

  static SVR_LONG IdOf(const std::string& bytes) {
    SVR_LONG id;
    std::memcpy(&id, bytes.data(), sizeof(id));
    return id;
  }

  // `record` as stored under `id`.
  static std::string Stored(Record record, SVR_LONG id) {
    record.id = id;
    return Bytes(record);
  }

  // Everything in the file but this table's slots and the header.
  std::string OtherTables() {
    std::string others;
    for (int i = 0; i < kSectionCount; ++i) {
      const Section s = static_cast<Section>(i);
      if (s != kSection) others += RecordsInUse(s) + "|";
    }
    return others + FileBytes().substr(kGlobalOptionOffset, 353);
  }
};

using TwinTypes = ::testing::Types<ConnTable, GdbTable>;
TYPED_TEST_SUITE(TwinTableTest, TwinTypes);

TYPED_TEST(TwinTableTest, GrowthsKeepEveryRecordAndEveryOtherTable) {
  using Record = typename TypeParam::Record;
  this->FillLaterTables();
  using OtherTable =
      std::conditional_t<std::is_same<TypeParam, ConnTable>::value, GdbTable,
                         ConnTable>;
  this->template AddRecords<OtherTable>(3, "other");
  const std::string others = this->OtherTables();
  std::vector<std::string> model = this->Initial();
  std::vector<SVR_LONG> ids;
  for (const std::string& bytes : model) ids.push_back(this->IdOf(bytes));

  for (int i = 0; i < 11; ++i) {
    const Record record = this->Named("n" + std::to_string(i), 'a' + i);
    const SVR_LONG id = this->Add(record);
    ASSERT_GT(id, 0);
    model.push_back(this->Stored(record, id));
    ids.push_back(id);
    ASSERT_EQ(this->All(), model);
    const SectionView view = GetSection(this->Header(), this->kSection);
    EXPECT_EQ(view.capacity, (view.count + 1) / 2 * 2);
    ASSERT_EQ(this->OtherTables(), others);
  }
  for (std::size_t i = 0; i < model.size(); i += 3) {
    const Record changed = this->Named("changed" + std::to_string(i), 'z');
    Record update = changed;
    update.id = ids[i];
    ASSERT_EQ(this->Update(update), 1);
    model[i] = Bytes(update);
  }
  ASSERT_EQ(this->All(), model);
  for (std::size_t i : {7u, 4u, 0u}) {
    ASSERT_EQ(this->Del(ids[i]), 1);
    model.erase(model.begin() + i);
    ids.erase(ids.begin() + i);
  }
  ASSERT_EQ(this->All(), model);
  for (std::size_t i = 0; i < model.size(); ++i) {
    Record got;
    ASSERT_EQ(TypeParam::Get(this->store(), ids[i], got), 1);
    EXPECT_EQ(Bytes(got), model[i]);
  }
  EXPECT_EQ(this->OtherTables(), others);
  EXPECT_TRUE(ValidateHeader(this->Header(), this->FileBytes().size()).ok());
}

TYPED_TEST(TwinTableTest, RecordsTravelWholeWithEveryByteAsGiven) {
  using Record = typename TypeParam::Record;
  std::mt19937 random(7);
  auto arbitrary = [&](const char* name) {
    Record record;
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    for (std::size_t i = 0; i < sizeof(record); ++i) bytes[i] = random();
    // A short name with leftover bytes after its NUL, which travel too.
    std::memcpy(record.name, name, std::strlen(name) + 1);
    return record;
  };
  const Record added = arbitrary("first");
  const Record caller_copy = added;
  const SVR_LONG id = this->Add(added);
  ASSERT_GT(id, 0);
  EXPECT_EQ(Bytes(added), Bytes(caller_copy));  // the caller's ID stays
  Record got;
  ASSERT_EQ(TypeParam::Get(this->store(), id, got), 1);
  EXPECT_EQ(Bytes(got), this->Stored(added, id));
  const SectionView view = GetSection(this->Header(), this->kSection);
  EXPECT_EQ(
      this->FileBytes().substr(view.offset + (view.count - 1) * sizeof(Record),
                               sizeof(Record)),
      this->Stored(added, id));

  Record replacement = arbitrary("second");
  replacement.id = id;
  ASSERT_EQ(this->Update(replacement), 1);
  ASSERT_EQ(TypeParam::Get(this->store(), id, got), 1);
  EXPECT_EQ(Bytes(got), Bytes(replacement));
  EXPECT_EQ(this->All().back(), Bytes(replacement));
}

TYPED_TEST(TwinTableTest, NamesAreExactByteStringsAndNeverBlank) {
  const std::string before = this->FileBytes();
  EXPECT_EQ(this->Add(""), 0);
  EXPECT_EQ(this->Add("   "), 0);
  EXPECT_EQ(this->FileBytes(), before);

  for (const char* name : {"a", " a", "A", "a ", "\t", "\t\t", " \t"}) {
    EXPECT_GT(this->Add(name), 0) << "'" << name << "'";
  }
  for (const char* name : {"a", " a", "A", "a ", "\t", "\t\t", " \t"}) {
    EXPECT_EQ(this->Exists(name), 1) << "'" << name << "'";
  }
  EXPECT_EQ(this->Exists("b"), 0);
  EXPECT_EQ(this->Exists(""), 0);
  EXPECT_EQ(TypeParam::Exists(this->store(), nullptr), 0);

  const std::string full = this->FileBytes();
  EXPECT_EQ(this->Add(this->Named("A", 'x')), 0);
  EXPECT_EQ(this->Add(this->Named("\t", 'x')), 0);
  EXPECT_EQ(this->FileBytes(), full);
}

TYPED_TEST(TwinTableTest, FullWidthNameIsComparedAsItsThirtyTwoBytes) {
  using Record = typename TypeParam::Record;
  const std::string name(32, 'n');
  // The bytes after the name are not NUL, so a reader that ran past the
  // field would see a longer name.
  Record record = this->Named(name, 'x');
  const SVR_LONG id = this->Add(record);
  ASSERT_GT(id, 0);
  EXPECT_EQ(this->Exists(name), 1);
  EXPECT_EQ(this->Exists(name.substr(1)), 0);
  EXPECT_EQ(this->Exists(name + "x"), 0);
  EXPECT_EQ(this->Add(this->Named(name, 'y')), 0);

  Record other = this->Named("other", 'o');
  other.id = this->Add(other);
  ASSERT_GT(other.id, 0);
  Record renamed = this->Named(name, 'z');
  renamed.id = other.id;
  EXPECT_EQ(this->Update(renamed), 0);
  record.id = id;
  std::memset(reinterpret_cast<char*>(&record) + 36, 'q', sizeof(record) - 36);
  EXPECT_EQ(this->Update(record), 1);
}

TYPED_TEST(TwinTableTest, UpdateRefusesUnknownIdsAndOtherRecordsNames) {
  using Record = typename TypeParam::Record;
  const SVR_LONG first = this->Add("first");
  const SVR_LONG second = this->Add("second");
  const std::string before = this->FileBytes();

  Record record = this->Named("new", 'u');
  record.id = second + 1;
  EXPECT_EQ(this->Update(record), 0);
  record.id = 0;
  EXPECT_EQ(this->Update(record), 0);
  record = this->Named("first", 'u');
  record.id = second;
  EXPECT_EQ(this->Update(record), 0);
  EXPECT_EQ(this->FileBytes(), before);

  record = this->Named("second", 'k');
  record.id = second;
  EXPECT_EQ(this->Update(record), 1);
  // Blank names are refused only by the add.
  record = this->Named("", 'e');
  record.id = first;
  EXPECT_EQ(this->Update(record), 1);
  record.id = second;
  EXPECT_EQ(this->Update(record), 0);
  // An update writes the one record and never the header.
  EXPECT_EQ(this->FileBytes().substr(0, kHeaderSize),
            before.substr(0, kHeaderSize));
}

TYPED_TEST(TwinTableTest, RemovalClosesTheGapAndLeavesNoTraceBehind) {
  const std::vector<SVR_LONG> ids =
      this->template AddRecords<TypeParam>(3, "r");
  std::vector<std::string> model = this->All();
  const SectionView before = GetSection(this->Header(), this->kSection);

  ASSERT_EQ(this->Del(ids[0]), 1);
  model.erase(model.end() - 3);
  EXPECT_EQ(this->All(), model);
  ASSERT_EQ(this->Del(ids[2]), 1);
  model.pop_back();
  EXPECT_EQ(this->All(), model);

  const SectionView after = GetSection(this->Header(), this->kSection);
  EXPECT_EQ(after.count, before.count - 2);
  EXPECT_EQ(after.capacity, before.capacity);
  const std::string slots = this->TableSlots(this->kSection);
  const std::size_t used = after.count * RecordSize(this->kSection);
  EXPECT_EQ(slots.substr(used), std::string(slots.size() - used, '\0'));
}

TYPED_TEST(TwinTableTest, RemovalOfAnUnknownIdSucceedsAndChangesNothing) {
  this->template AddRecords<TypeParam>(2, "r");
  const std::string before = this->FileBytes();
  EXPECT_EQ(this->Del(999), 1);
  EXPECT_EQ(this->Del(0), 0);
  EXPECT_EQ(this->Del(-4), 0);
  EXPECT_EQ(this->FileBytes(), before);
}

TYPED_TEST(TwinTableTest, IdsAreNeverIssuedTwice) {
  const std::vector<SVR_LONG> ids =
      this->template AddRecords<TypeParam>(3, "r");
  EXPECT_EQ(ids[1], ids[0] + 1);
  EXPECT_EQ(ids[2], ids[1] + 1);
  ASSERT_EQ(this->Del(ids[2]), 1);
  typename TypeParam::Record record = this->Named("again");
  record.id = ids[2];
  EXPECT_EQ(this->Add(record), ids[2] + 1);
  CSmartArray<SVR_LONG> listed;
  listed.Add(&ids[0]);  // stale entry: the call must empty the list first
  ASSERT_EQ(TypeParam::GetIds(this->store(), listed), this->Count());
  EXPECT_EQ(*listed.GetAt(listed.GetSize() - 1), ids[2] + 1);
  EXPECT_EQ(*listed.GetAt(listed.GetSize() - 2), ids[1]);
}

TYPED_TEST(TwinTableTest, ReadersClearOnlyTheOutputsTheyMayFill) {
  using Record = typename TypeParam::Record;
  this->template AddRecords<TypeParam>(3, "r");
  const std::vector<std::string> all = this->All();
  Record record;
  std::memset(&record, 0x5a, sizeof(record));
  const std::string untouched = Bytes(record);
  EXPECT_EQ(TypeParam::Get(this->store(), 0, record), 0);
  EXPECT_EQ(TypeParam::Get(this->store(), -1, record), 0);
  EXPECT_EQ(Bytes(record), untouched);
  EXPECT_EQ(TypeParam::Get(this->store(), 999, record), 0);
  EXPECT_EQ(Bytes(record), std::string(sizeof(record), '\0'));

  Record many[8];
  std::memset(many, 0x5a, sizeof(many));
  EXPECT_EQ(TypeParam::GetAll(this->store(), many, 0), 0);
  EXPECT_EQ(TypeParam::GetAll(this->store(), nullptr, 8), 0);
  EXPECT_EQ(Bytes(many[0]), untouched);
  EXPECT_EQ(TypeParam::GetAll(this->store(), many, 2), 1);
  EXPECT_EQ(Bytes(many[0]), all[0]);
  EXPECT_EQ(Bytes(many[1]), all[1]);
  EXPECT_EQ(Bytes(many[2]), untouched);
}

TYPED_TEST(TwinTableTest, UnreadableFileFailsWithOutputsCleared) {
  using Record = typename TypeParam::Record;
  for (bool corrupt : {false, true}) {
    this->ResetFile();
    if (corrupt) {
      this->CorruptByte(offsetof(SVR_CFG_HEADER, gdbs));  // table offset
    } else {
      this->RemoveFile();
    }
    Record record;
    std::memset(&record, 0x5a, sizeof(record));
    EXPECT_EQ(TypeParam::Get(this->store(), 1, record), 0);
    EXPECT_EQ(Bytes(record), std::string(sizeof(record), '\0'));
    Record many[2];
    std::memset(many, 0x5a, sizeof(many));
    EXPECT_EQ(TypeParam::GetAll(this->store(), many, 2), 0);
    EXPECT_EQ(Bytes(many[1]), std::string(sizeof(record), '\0'));
    CSmartArray<SVR_LONG> ids;
    const SVR_LONG stale = 9;
    ids.Add(&stale);
    EXPECT_EQ(TypeParam::GetIds(this->store(), ids), 0);
    EXPECT_EQ(ids.GetSize(), 0);
    EXPECT_EQ(this->Count(), Expected<TypeParam>::kMissingFileCount);
    EXPECT_EQ(this->Exists("KelmirLocal"), 0);
    EXPECT_EQ(this->Add("new"), 0);
    record = this->Named("new");
    record.id = 1;
    EXPECT_EQ(this->Update(record), 0);
    EXPECT_EQ(this->Del(1), 0);
  }
}

TYPED_TEST(TwinTableTest, FailedReadOrWriteIsTheCallsFailure) {
  using Record = typename TypeParam::Record;
  using Step = std::function<SVR_LONG(SVR_LONG existing_id)>;
  const Step steps[] = {
      [&](SVR_LONG) { return this->Add("added"); },  // grows the table
      [&](SVR_LONG id) {
        Record record = this->Named("renamed");
        record.id = id;
        return this->Update(record);
      },
      [&](SVR_LONG id) { return this->Del(id); },
      [&](SVR_LONG id) {
        Record out;
        return TypeParam::Get(this->store(), id, out);
      },
  };
  for (FaultEnv::Op op : {FaultEnv::Op::kRead, FaultEnv::Op::kWrite}) {
    for (const Step& step : steps) {
      for (int k = 1;; ++k) {
        this->ResetFile();
        // Both tables end up full, with two records.
        if (this->kSection == Section::kGdbs) this->Add("first");
        const SVR_LONG existing = this->Add("second");
        ASSERT_EQ(GetSection(this->Header(), this->kSection).count, 2);
        this->env_.Arm(op, k, FaultEnv::Fault::kCut);
        const SVR_LONG result = step(existing);
        const bool fired = this->env_.fired();
        this->env_.Disarm();
        if (!fired) {
          EXPECT_NE(result, 0);
          break;
        }
        EXPECT_EQ(result, 0) << "operation " << k;
      }
    }
  }
}

TYPED_TEST(TwinTableTest, RunningOutOfMemoryChangesNothing) {
  using Record = typename TypeParam::Record;
  this->FillLaterTables();
  const std::vector<SVR_LONG> ids =
      this->template AddRecords<TypeParam>(3, "r");
  if (this->kSection == Section::kGdbs) this->Add("full");
  Record renamed = this->Named("renamed");
  renamed.id = ids[1];
  using Step = std::function<SVR_LONG()>;
  const Step steps[] = {
      [&] { return this->Add("added"); },  // grows the table
      [&] { return this->Update(renamed); },
      [&] { return this->Del(ids[0]); },
  };
  for (const Step& step : steps) {
    const std::string before = this->FileBytes();
    for (int nth = 1;; ++nth) {
      FailNthAllocationForTesting(nth);
      const SVR_LONG result = step();
      FailNthAllocationForTesting(0);
      if (result != 0) break;
      EXPECT_EQ(this->FileBytes(), before) << "allocation " << nth;
    }
    EXPECT_NE(this->FileBytes(), before);
  }
}

}  // namespace
}  // namespace test
}  // namespace brellox
