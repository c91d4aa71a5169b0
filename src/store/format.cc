#include "src/store/format.h"

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

}  // namespace brellox
