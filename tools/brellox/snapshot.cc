#include "tools/brellox/snapshot.h"

#include <cstring>
#include <memory>

#include "src/store/config_file.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {
namespace {

template <class Record>
std::vector<Record> Records(const std::string& bytes, const SectionView& view) {
  std::vector<Record> records(static_cast<std::size_t>(view.count));
  if (!records.empty()) {
    std::memcpy(records.data(), bytes.data() + view.offset,
                records.size() * sizeof(Record));
  }
  return records;
}

}  // namespace

Status ReadFileBytes(Env* env, const std::string& path, std::string* bytes) {
  std::unique_ptr<RandomRWFile> file;
  Status s = env->Open(path, OpenAccess::kReadOnly, &file);
  if (!s.ok()) return s;
  std::uint64_t size = 0;
  s = file->Size(&size);
  if (!s.ok()) return s;
  bytes->assign(static_cast<std::size_t>(size), '\0');
  return size == 0 ? Status::OK() : file->Read(0, bytes->size(), &(*bytes)[0]);
}

Status ParseSnapshot(std::string bytes, Snapshot* snapshot) {
  if (bytes.size() < static_cast<std::size_t>(kFirstTableOffset)) {
    return Status::Corrupt("file of " + std::to_string(bytes.size()) +
                           " bytes is shorter than its header and global option");
  }
  std::memcpy(&snapshot->header, bytes.data(), sizeof(snapshot->header));
  Status s = ValidateHeader(snapshot->header, bytes.size());
  if (!s.ok()) return s;
  std::memcpy(&snapshot->global_option, bytes.data() + kGlobalOptionOffset,
              sizeof(snapshot->global_option));
  const SVR_CFG_HEADER& h = snapshot->header;
  snapshot->conns = Records<SVC_GDB_CONN_INFO>(bytes, GetSection(h, Section::kConns));
  snapshot->gdbs = Records<SVC_GDB_INFO>(bytes, GetSection(h, Section::kGdbs));
  snapshot->users = Records<SVR_USER_REC>(bytes, GetSection(h, Section::kUsers));
  snapshot->privs = Records<SVR_USER_PRIV>(bytes, GetSection(h, Section::kPrivs));
  snapshot->groups =
      Records<SVR_OPTION_GROUP>(bytes, GetSection(h, Section::kOptionGroups));
  snapshot->bytes = std::move(bytes);
  return Status::OK();
}

Snapshot LoadSnapshot(Env* env, const std::string& path) {
  if (path.empty()) {
    FileError("cannot tell where the brellox library was loaded from; "
              "name a file with --config");
  }
  std::string bytes;
  Status s = ReadFileBytes(env, path, &bytes);
  if (!s.ok()) FileError("cannot open " + path + ": " + s.message());
  Snapshot snapshot;
  s = ParseSnapshot(std::move(bytes), &snapshot);
  if (!s.ok()) FileError(path + " fails the header check: " + s.message());
  return snapshot;
}

}  // namespace tool
}  // namespace brellox
