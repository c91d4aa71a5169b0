#include "src/store/format.h"

#include <string>

namespace brellox {
namespace {

SVR_CFG_SECTION* TableEntry(SVR_CFG_HEADER* header, Section s) {
  switch (s) {
    case Section::kConns:
      return &header->conns;
    case Section::kGdbs:
      return &header->gdbs;
    case Section::kUsers:
      return &header->users;
    case Section::kPrivs:
      return &header->privs;
    case Section::kOptionGroups:
      break;
  }
  return nullptr;
}

}  // namespace

SectionView GetSection(const SVR_CFG_HEADER& header, Section s) {
  if (s == Section::kOptionGroups) {
    return {header.optionGroupsOffset, header.optionGroupsCount,
            header.optionGroupsCount};
  }
  const SVR_CFG_SECTION* entry =
      TableEntry(const_cast<SVR_CFG_HEADER*>(&header), s);
  return {entry->offset, entry->count, entry->capacity};
}

void SetSection(SVR_CFG_HEADER* header, Section s, const SectionView& view) {
  if (s == Section::kOptionGroups) {
    header->optionGroupsOffset = view.offset;
    header->optionGroupsCount = view.count;
    return;
  }
  SVR_CFG_SECTION* entry = TableEntry(header, s);
  *entry = {view.offset, view.count, view.capacity};
}

Status ValidateHeader(const SVR_CFG_HEADER& header, std::uint64_t file_size) {
  std::int64_t expected_offset = kFirstTableOffset;
  for (int i = 0; i < kSectionCount; ++i) {
    const Section s = static_cast<Section>(i);
    const SectionView view = GetSection(header, s);
    if (view.offset != expected_offset) {
      return Status::Corrupt(std::string(TableName(s)) + " table at offset " +
                             std::to_string(view.offset) + ", expected " +
                             std::to_string(expected_offset));
    }
    if (view.count < 0 || view.count > view.capacity) {
      return Status::Corrupt(std::string(TableName(s)) + " table count " +
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

Status ReadHeader(RandomRWFile& file, std::uint64_t file_size,
                  SVR_CFG_HEADER* header) {
  if (file_size < static_cast<std::uint64_t>(kHeaderSize)) {
    return Status::Corrupt("file shorter than its header");
  }
  Status s = file.Read(0, sizeof(*header), header);
  if (!s.ok()) return s;
  return ValidateHeader(*header, file_size);
}

std::int64_t LayoutEnd(const SVR_CFG_HEADER& header) {
  return static_cast<std::int64_t>(header.optionGroupsOffset) +
         static_cast<std::int64_t>(header.optionGroupsCount) *
             RecordSize(Section::kOptionGroups);
}

}  // namespace brellox
