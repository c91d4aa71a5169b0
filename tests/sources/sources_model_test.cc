// A few thousand random connection and GDB calls, each checked against a
// plain in-memory model of the two tables, then the tables' bytes compared.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "src/store/config_file.h"
#include "tests/sources/sources_fixture.h"

namespace brellox {
namespace test {
namespace {

std::string NameText(const char* field) {
  return std::string(field, strnlen(field, 32));
}

bool IsBlank(const std::string& name) {
  return name.find_first_not_of(' ') == std::string::npos;
}

// One table as a list of records in use plus its capacity and ID counter.
// Free slots are always zero, so these three determine the table's bytes.
template <class Record>
struct TableModel {
  std::vector<Record> records;
  std::int32_t capacity;
  std::int32_t last_id;

  int FindId(SVR_LONG id) const {
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (records[i].id == id) return static_cast<int>(i);
    }
    return -1;
  }
  int FindName(const std::string& name, int skip = -1) const {
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (static_cast<int>(i) != skip && NameText(records[i].name) == name) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  SVR_LONG Add(Record record) {
    const std::string name = NameText(record.name);
    if (IsBlank(name) || FindName(name) >= 0) return 0;
    if (static_cast<std::int32_t>(records.size()) == capacity) capacity += 2;
    record.id = ++last_id;
    records.push_back(record);
    return record.id;
  }
  SVR_LONG Update(const Record& record) {
    const int i = FindId(record.id);
    if (i < 0 || FindName(NameText(record.name), i) >= 0) return 0;
    records[i] = record;
    return 1;
  }
  SVR_LONG Del(SVR_LONG id) {
    if (id <= 0) return 0;
    const int i = FindId(id);
    if (i >= 0) records.erase(records.begin() + i);
    return 1;
  }

  std::string Slots() const {
    std::string bytes;
    for (const Record& r : records) bytes += Bytes(r);
    bytes.resize(static_cast<std::size_t>(capacity) * sizeof(Record), '\0');
    return bytes;
  }
};

class SourcesModelTest : public SourcesFixture {
 protected:
  SourcesModelTest() : random_(20240611) {
    conns_.capacity = 2;
    conns_.last_id = 1;
    SVC_GDB_CONN_INFO local;
    EXPECT_EQ(ConnTable::Get(store(), 1, local), 1);
    conns_.records.push_back(local);
    gdbs_.capacity = 2;
    gdbs_.last_id = 0;
  }

  int Pick(int n) {
    return std::uniform_int_distribution<int>(0, n - 1)(random_);
  }

  // Names that collide often, differ only in case, spaces or tabs, or fill
  // the whole field.
  std::string PickName() {
    static const char* const kNames[] = {"",   "  ", "a", "A",          " a",
                                         "a ", "\t", "b", "KelmirLocal"};
    const int n = sizeof(kNames) / sizeof(kNames[0]);
    const int choice = Pick(n + 4);
    if (choice < n) return kNames[choice];
    if (choice == n) return std::string(32, 'W');
    if (choice == n + 1) return std::string(31, 'W');
    return "r" + std::to_string(Pick(12));
  }

  template <class Record>
  Record RandomRecord() {
    Record record;
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    for (std::size_t i = 0; i < sizeof(record); ++i) bytes[i] = random_();
    const std::string name = PickName();
    std::memset(record.name, 0, sizeof(record.name));
    std::memcpy(record.name, name.data(), name.size());
    if (name.size() < 30 && Pick(2) == 0) record.name[name.size() + 1] = '#';
    return record;
  }

  template <class Record>
  SVR_LONG PickId(const TableModel<Record>& model) {
    if (!model.records.empty() && Pick(3) > 0) {
      return model.records[Pick(model.records.size())].id;
    }
    return Pick(model.last_id + 3) - 1;
  }

  template <class Table>
  void Step(TableModel<typename Table::Record>& model, int call) {
    using Record = typename Table::Record;
    switch (call) {
      case 0:
      case 1: {
        const Record record = RandomRecord<Record>();
        ASSERT_EQ(Table::Add(store(), record), model.Add(record));
        break;
      }
      case 2: {
        Record record = RandomRecord<Record>();
        record.id = PickId(model);
        ASSERT_EQ(Table::Update(store(), record), model.Update(record));
        break;
      }
      case 3: {
        const SVR_LONG id = PickId(model);
        ASSERT_EQ(Table::Remove(store(), id), model.Del(id));
        break;
      }
      case 4: {
        const SVR_LONG id = PickId(model);
        Record got;
        std::memset(&got, 0x33, sizeof(got));
        Record expected = got;
        const int i = id > 0 ? model.FindId(id) : -1;
        if (id > 0) std::memset(&expected, 0, sizeof(expected));
        if (i >= 0) expected = model.records[i];
        ASSERT_EQ(Table::Get(store(), id, got), i >= 0 ? 1 : 0);
        ASSERT_EQ(Bytes(got), Bytes(expected));
        break;
      }
      case 5: {
        const int n = Pick(model.records.size() + 3);
        std::vector<Record> got(n + 1), expected(n + 1);
        std::memset(got.data(), 0x44, got.size() * sizeof(Record));
        std::memcpy(expected.data(), got.data(), got.size() * sizeof(Record));
        if (n > 0) std::memset(expected.data(), 0, n * sizeof(Record));
        for (int i = 0; i < n && i < static_cast<int>(model.records.size());
             ++i) {
          expected[i] = model.records[i];
        }
        ASSERT_EQ(Table::GetAll(store(), got.data(), n), n > 0 ? 1 : 0);
        for (int i = 0; i <= n; ++i)
          ASSERT_EQ(Bytes(got[i]), Bytes(expected[i]));
        break;
      }
      case 6: {
        const std::string name = PickName();
        ASSERT_EQ(Table::Exists(store(), name.c_str()),
                  model.FindName(name) >= 0 ? 1 : 0);
        break;
      }
      default: {
        CSmartArray<SVR_LONG> ids;
        ASSERT_EQ(Table::GetIds(store(), ids),
                  static_cast<SVR_LONG>(model.records.size()));
        for (std::size_t i = 0; i < model.records.size(); ++i) {
          ASSERT_EQ(*ids.GetAt(i), model.records[i].id);
        }
        ASSERT_EQ(Table::Count(store()),
                  static_cast<SVR_LONG>(model.records.size()));
      }
    }
  }

  void LookupStep() {
    if (Pick(2) == 0) {
      static const short kLengths[] = {-1, 0, 5, 32, 33, 40};
      const short len = kLengths[Pick(6)];
      const SVR_LONG id = PickId(gdbs_);
      std::string got(48, 'x');
      std::string expected = got;
      SVR_LONG result = 0;
      if (len > 0) {
        std::fill_n(expected.begin(), len, '\0');
        if (!gdbs_.records.empty()) {
          result = 1;
          const int i = gdbs_.FindId(id);
          if (i >= 0) {
            const std::string name = NameText(gdbs_.records[i].name);
            expected.replace(0, std::min<std::size_t>(name.size(), len),
                             name.substr(0, len));
          }
        }
      }
      ASSERT_EQ(GetGDBAliasName(store(), id, &got[0], len), result);
      ASSERT_EQ(got, expected);
    } else {
      const std::string name = PickName();
      SVR_LONG id = 55;
      const int i = gdbs_.FindName(name);
      ASSERT_EQ(GetGDBID(store(), name.c_str(), id),
                gdbs_.records.empty() ? 0 : 1);
      ASSERT_EQ(id, i >= 0 ? gdbs_.records[i].id : 0);
    }
  }

  std::mt19937 random_;
  TableModel<SVC_GDB_CONN_INFO> conns_;
  TableModel<SVC_GDB_INFO> gdbs_;
};

TEST_F(SourcesModelTest, RandomCallsAgreeWithTheModel) {
  FillLaterTables();
  const std::string later = LaterTablesBytes();
  for (int i = 0; i < 4000; ++i) {
    const int table = Pick(5);
    const int call = Pick(8);
    if (table < 2) {
      ASSERT_NO_FATAL_FAILURE(Step<ConnTable>(conns_, call)) << "call " << i;
    } else if (table < 4) {
      ASSERT_NO_FATAL_FAILURE(Step<GdbTable>(gdbs_, call)) << "call " << i;
    } else {
      ASSERT_NO_FATAL_FAILURE(LookupStep()) << "call " << i;
    }
  }
  const SVR_CFG_HEADER header = Header();
  EXPECT_EQ(header.conns.count,
            static_cast<std::int32_t>(conns_.records.size()));
  EXPECT_EQ(header.gdbs.count, static_cast<std::int32_t>(gdbs_.records.size()));
  EXPECT_EQ(header.lastConnID, conns_.last_id);
  EXPECT_EQ(header.lastGDBID, gdbs_.last_id);
  EXPECT_EQ(TableSlots(Section::kConns), conns_.Slots());
  EXPECT_EQ(TableSlots(Section::kGdbs), gdbs_.Slots());
  EXPECT_EQ(LaterTablesBytes(), later);
  EXPECT_TRUE(ValidateHeader(header, FileBytes().size()).ok());
  // The run reached past a few growths and through empty tables.
  EXPECT_GT(conns_.capacity, 6);
  EXPECT_GT(gdbs_.capacity, 6);
}

}  // namespace
}  // namespace test
}  // namespace brellox
