#include "tests/sources/sources_fixture.h"

#include "src/store/config_file.h"
#include "src/store/table.h"

namespace brellox {
namespace test {

namespace {

void Append(const Store& store, const TableSpec& spec, char fill) {
  ConfigSession session;
  ASSERT_TRUE(session.Open(store, Access::kWrite).ok());
  TableImage image;
  ASSERT_TRUE(TableImage::Load(session, spec, &image).ok());
  const std::string record(spec.record_size(), fill);
  ASSERT_TRUE(AppendRecord(session, spec, image, record.data(), nullptr).ok());
  ASSERT_TRUE(session.Commit().ok());
}

}  // namespace

void SourcesFixture::FillLaterTables() {
  for (char fill : {'u', 'v', 'w'}) Append(store(), kUserTable, fill);
  for (char fill : {'p', 'q', 'r'}) Append(store(), kPrivTable, fill);
  for (char fill : {'o', 'O'}) AddRawOptionGroup(fill);
}

std::string SourcesFixture::LaterTablesBytes() const {
  return RecordsInUse(Section::kUsers) + "|" + RecordsInUse(Section::kPrivs) +
         "|" + RecordsInUse(Section::kOptionGroups);
}

std::string SourcesFixture::TableSlots(Section s) const {
  const SectionView view = GetSection(Header(), s);
  return FileBytes().substr(view.offset, view.capacity * RecordSize(s));
}

std::string SourcesFixture::RecordsInUse(Section s) const {
  const SectionView view = GetSection(Header(), s);
  return FileBytes().substr(view.offset, view.count * RecordSize(s));
}

}  // namespace test
}  // namespace brellox
