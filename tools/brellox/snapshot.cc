#include "tools/brellox/snapshot.h"

#include <cstring>

namespace brellox {
namespace tool {
namespace {

template <class Record>
std::vector<Record> Records(const std::string& layout, const SectionView& view) {
  std::vector<Record> records(static_cast<std::size_t>(view.count));
  if (!records.empty()) {
    std::memcpy(records.data(), layout.data() + view.offset,
                records.size() * sizeof(Record));
  }
  return records;
}

// Splits a layout whose header has been validated into its records.
void SplitLayout(Snapshot* snapshot) {
  const std::string& layout = snapshot->layout;
  std::memcpy(&snapshot->header, layout.data(), sizeof(snapshot->header));
  std::memcpy(&snapshot->global_option, layout.data() + kGlobalOptionOffset,
              sizeof(snapshot->global_option));
  const SVR_CFG_HEADER& h = snapshot->header;
  snapshot->conns =
      Records<SVC_GDB_CONN_INFO>(layout, GetSection(h, Section::kConns));
  snapshot->gdbs = Records<SVC_GDB_INFO>(layout, GetSection(h, Section::kGdbs));
  snapshot->users =
      Records<SVR_USER_REC>(layout, GetSection(h, Section::kUsers));
  snapshot->privs =
      Records<SVR_USER_PRIV>(layout, GetSection(h, Section::kPrivs));
  snapshot->groups = Records<SVR_OPTION_GROUP>(
      layout, GetSection(h, Section::kOptionGroups));
}

}  // namespace

Status ReadSnapshot(ConfigSession& session, Snapshot* snapshot) {
  const std::int64_t end = LayoutEnd(session.header());
  snapshot->file_size = session.Size();
  snapshot->layout.assign(static_cast<std::size_t>(end), '\0');
  Status s = session.Read(0, snapshot->layout.size(), &snapshot->layout[0]);
  if (s.ok()) SplitLayout(snapshot);
  return s;
}

Status ParseSnapshot(const std::string& image, Snapshot* snapshot) {
  if (image.size() < static_cast<std::size_t>(kFirstTableOffset)) {
    return Status::Corrupt("file of " + std::to_string(image.size()) +
                           " bytes is shorter than its header and global "
                           "option");
  }
  SVR_CFG_HEADER header;
  std::memcpy(&header, image.data(), sizeof(header));
  Status s = ValidateHeader(header, image.size());
  if (!s.ok()) return s;
  snapshot->file_size = image.size();
  snapshot->layout = image.substr(0, static_cast<std::size_t>(LayoutEnd(header)));
  SplitLayout(snapshot);
  return Status::OK();
}

}  // namespace tool
}  // namespace brellox
