#include "src/store/config_file.h"

#include <string>

namespace brellox {

Status OpenConfigFile(const Store& store, std::unique_ptr<RandomRWFile>* file) {
  if (store.path.empty()) return Status::NotFound("no configuration file path");
  return store.env->OpenExisting(store.path, file);
}

void CloseConfigFile(std::unique_ptr<RandomRWFile>* file) { file->reset(); }

Status ReadHeader(RandomRWFile& file, SVR_CFG_HEADER* header) {
  std::uint64_t size;
  Status s = file.Size(&size);
  if (!s.ok()) return s;
  if (size < static_cast<std::uint64_t>(kHeaderSize)) {
    return Status::Corrupt("file shorter than its header");
  }
  s = file.Read(0, sizeof(*header), header);
  if (!s.ok()) return s;
  return ValidateHeader(*header, size);
}

std::int64_t LayoutEnd(const SVR_CFG_HEADER& header) {
  return static_cast<std::int64_t>(header.optionGroupsOffset) +
         static_cast<std::int64_t>(header.optionGroupsCount) *
             RecordSize(Section::kOptionGroups);
}

Status ValidateHeader(const SVR_CFG_HEADER& header, std::uint64_t file_size) {
  static const char* const kNames[] = {"connection", "GDB", "user",
                                       "privilege", "option-group"};
  std::int64_t expected_offset = kFirstTableOffset;
  for (int i = 0; i < kSectionCount; ++i) {
    const Section s = static_cast<Section>(i);
    const SectionView view = GetSection(header, s);
    const std::string table = kNames[i];
    if (view.offset != expected_offset) {
      return Status::Corrupt(table + " table at offset " +
                             std::to_string(view.offset) + ", expected " +
                             std::to_string(expected_offset));
    }
    if (view.count < 0 || view.count > view.capacity) {
      return Status::Corrupt(table + " table count " +
                             std::to_string(view.count) + " outside [0, " +
                             std::to_string(view.capacity) + "]");
    }
    expected_offset += static_cast<std::int64_t>(view.capacity) * RecordSize(s);
  }
  if (static_cast<std::uint64_t>(expected_offset) > file_size) {
    return Status::Corrupt("tables end at " + std::to_string(expected_offset) +
                           ", past the end of a " + std::to_string(file_size) +
                           "-byte file");
  }
  return Status::OK();
}

Status WriteHeader(RandomRWFile& file, const SVR_CFG_HEADER& header) {
  return file.Write(0, &header, sizeof(header));
}

Status ConfigSession::Open(const Store& store) {
  Status s = OpenConfigFile(store, &file_);
  if (s.ok()) s = ReadHeader(*file_, &header_);
  if (!s.ok()) CloseConfigFile(&file_);
  return s;
}

}  // namespace brellox
