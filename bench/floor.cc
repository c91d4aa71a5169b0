#include "bench/floor.h"

#include <algorithm>
#include <cstring>

#include "src/store/config_file.h"
#include "src/store/journal.h"

namespace brellox {
namespace bench {
namespace {

constexpr std::size_t kUserNameWidth = sizeof(SVR_USER_REC::name);
constexpr std::size_t kPasswordWidth = sizeof(SVR_USER_REC::password);
constexpr std::size_t kTwinNameWidth = 32;
constexpr std::size_t kNameAt = 4;  // every named record: ID, then name

// One pass: the field's text equals `text` (NUL-terminated) when every byte
// up to the text's NUL matches and the field ends there too.
bool FieldIs(const char* field, std::size_t width, const char* text) {
  for (std::size_t i = 0; i < width; ++i) {
    if (field[i] != text[i]) return false;
    if (text[i] == '\0') return true;
  }
  return text[width] == '\0';
}

// The same answer in a time that does not depend on where they differ.
bool SecretIs(const char* field, std::size_t width, const char* text) {
  const std::size_t length = ::strnlen(text, width + 1);
  unsigned char difference = length > width ? 1 : 0;
  bool ended = false;
  for (std::size_t i = 0; i < width; ++i) {
    ended = ended || field[i] == '\0';
    const unsigned char stored =
        ended ? 0 : static_cast<unsigned char>(field[i]);
    const unsigned char given =
        i < length ? static_cast<unsigned char>(text[i]) : 0;
    difference |= static_cast<unsigned char>(stored ^ given);
  }
  return difference == 0;
}

std::int32_t IdOf(const char* record) {
  std::int32_t id;
  std::memcpy(&id, record, sizeof(id));
  return id;
}

std::int64_t SlotOffset(const SectionView& view, Section s, std::int32_t i) {
  return static_cast<std::int64_t>(view.offset) +
         static_cast<std::int64_t>(i) * RecordSize(s);
}

// The option's value bytes that its stored type keeps.
void CopyValue(CONFIG_OPTION* stored, const CONFIG_OPTION& given) {
  std::size_t n = 0;
  switch (stored->type) {
    case SVR_OPTION_TEXT:
      n = ::strnlen(reinterpret_cast<const char*>(given.value),
                    sizeof(given.value) - 1);
      stored->value[n] = 0;
      break;
    case SVR_OPTION_INT32:
      n = 4;
      break;
    case SVR_OPTION_DOUBLE:
      n = 8;
      break;
    case SVR_OPTION_BLOCK:
      n = sizeof(given.value);
      break;
    default:
      break;
  }
  std::memcpy(stored->value, given.value, n);
}

}  // namespace

Floor::Floor(std::string path, Guards guards)
    : path_(std::move(path)),
      journal_path_(JournalPathFor(path_)),
      file_name_(BaseName(path_)),
      guards_(guards) {}

bool Floor::Open(bool write, FloorFile* file) {
  return file->Open(path_, journal_path_, write, guards_, &counts_);
}

bool Floor::ReadTable(FloorFile& file, Section section, std::int32_t slots) {
  const SectionView view = GetSection(file.header(), section);
  const std::size_t n = static_cast<std::size_t>(slots) * RecordSize(section);
  // Grows once, then is reused as is: no zero fill of bytes the read
  // overwrites.
  if (table_.size() < n) table_.resize(n);
  return n == 0 || file.Read(view.offset, n, table_.data());
}

std::int32_t Floor::FindName(Section section, std::int32_t count,
                             std::size_t width, const char* name) const {
  const std::int32_t size = RecordSize(section);
  for (std::int32_t i = 0; i < count; ++i) {
    if (FieldIs(table_.data() + i * size + kNameAt, width, name)) return i;
  }
  return -1;
}

std::int32_t Floor::FindId(Section section, std::int32_t count,
                           std::int32_t id) const {
  const std::int32_t size = RecordSize(section);
  for (std::int32_t i = 0; i < count; ++i) {
    if (IdOf(table_.data() + i * size) == id) return i;
  }
  return -1;
}

SVR_LONG Floor::CheckUser(const char* name, const char* password) {
  FloorFile file;
  if (!Open(false, &file)) return 0;
  const std::int32_t count = file.header().users.count;
  if (!ReadTable(file, Section::kUsers, count)) return 0;
  const std::int32_t i = FindName(Section::kUsers, count, kUserNameWidth, name);
  if (i < 0) return 0;
  const char* record = table_.data() + i * sizeof(SVR_USER_REC);
  return SecretIs(record + offsetof(SVR_USER_REC, password), kPasswordWidth,
                  password)
             ? 1
             : 0;
}

SVR_LONG Floor::GetUser(std::int32_t id, char* name, std::size_t len) {
  FloorFile file;
  if (!Open(false, &file)) return 0;
  const std::int32_t count = file.header().users.count;
  if (!ReadTable(file, Section::kUsers, count)) return 0;
  const std::int32_t i = FindId(Section::kUsers, count, id);
  if (i < 0) return 0;
  const char* field =
      table_.data() + i * sizeof(SVR_USER_REC) + offsetof(SVR_USER_REC, name);
  const std::size_t n = ::strnlen(field, std::min(len, kUserNameWidth));
  std::memcpy(name, field, n);
  std::memset(name + n, 0, len - n);
  return 1;
}

SVR_LONG Floor::GetConn(std::int32_t id, SVC_GDB_CONN_INFO* info) {
  FloorFile file;
  if (!Open(false, &file)) return 0;
  const std::int32_t count = file.header().conns.count;
  if (!ReadTable(file, Section::kConns, count)) return 0;
  const std::int32_t i = FindId(Section::kConns, count, id);
  if (i < 0) return 0;
  std::memcpy(info, table_.data() + i * sizeof(*info), sizeof(*info));
  return 1;
}

SVR_LONG Floor::GetGDBID(const char* name, std::int32_t* id) {
  *id = 0;
  FloorFile file;
  if (!Open(false, &file)) return 0;
  const std::int32_t count = file.header().gdbs.count;
  if (count == 0 || !ReadTable(file, Section::kGdbs, count)) return 0;
  const std::int32_t i = FindName(Section::kGdbs, count, kTwinNameWidth, name);
  if (i >= 0) *id = IdOf(table_.data() + i * sizeof(SVC_GDB_INFO));
  return 1;
}

SVR_LONG Floor::AddUser(const char* name, const char* password) {
  SVR_USER_REC record{};
  std::memcpy(record.name, name, ::strnlen(name, sizeof(record.name)));
  std::memcpy(record.password, password,
              ::strnlen(password, sizeof(record.password)));
  return Append(Section::kUsers, &SVR_CFG_HEADER::lastUserID,
                reinterpret_cast<const char*>(&record), kUserNameWidth);
}

SVR_LONG Floor::AddGDB(const SVC_GDB_INFO& info) {
  return Append(Section::kGdbs, &SVR_CFG_HEADER::lastGDBID,
                reinterpret_cast<const char*>(&info), kTwinNameWidth);
}

SVR_LONG Floor::Append(Section section, std::int32_t SVR_CFG_HEADER::*last_id,
                       const char* record, std::size_t name_width) {
  FloorFile file;
  if (!Open(true, &file)) return 0;
  SVR_CFG_HEADER& header = file.header();
  const SVR_CFG_HEADER original = header;
  SectionView view = GetSection(header, section);
  const std::int32_t size = RecordSize(section);
  // Every slot, free ones too: the journal needs the new slot's bytes, and
  // one read gets them with the records.
  if (!ReadTable(file, section, view.capacity)) return 0;
  const std::int32_t last = header.*last_id;
  for (std::int32_t i = 0; i < view.count; ++i) {
    const char* r = table_.data() + i * size;
    if (IdOf(r) > last || FieldIs(r + kNameAt, name_width, record + kNameAt)) {
      return 0;
    }
  }
  const std::int32_t id = last + 1;
  const std::int64_t slot = SlotOffset(view, section, view.count);
  const std::int64_t end = LayoutEnd(original);
  FloorJournal journal(&journal_, file_name_, static_cast<std::uint64_t>(end),
                       original);
  writes_.clear();
  if (view.count < view.capacity) {
    journal.Save(slot, table_.data() + view.count * size, size);
    std::memcpy(table_.data() + view.count * size, record, size);
    std::memcpy(table_.data() + view.count * size, &id, sizeof(id));
    writes_.push_back({slot, table_.data() + view.count * size,
                       static_cast<std::size_t>(size)});
  } else {
    // Full: the new record and a zero slot take the place of everything
    // behind the table, which moves back by two slots; one write.
    const std::size_t tail = static_cast<std::size_t>(end - slot);
    const std::size_t grown = 2 * static_cast<std::size_t>(size) + tail;
    if (moved_.size() < grown) moved_.resize(grown);
    if (tail > 0 && !file.Read(slot, tail, moved_.data() + 2 * size)) return 0;
    journal.Save(slot, moved_.data() + 2 * size, tail);
    std::memcpy(moved_.data(), record, size);
    std::memcpy(moved_.data(), &id, sizeof(id));
    std::memset(moved_.data() + size, 0, size);
    writes_.push_back({slot, moved_.data(), grown});
    for (int s = static_cast<int>(section) + 1; s < kSectionCount; ++s) {
      SectionView later = GetSection(header, static_cast<Section>(s));
      later.offset += 2 * size;
      SetSection(&header, static_cast<Section>(s), later);
    }
    view.capacity += 2;
  }
  view.count += 1;
  SetSection(&header, section, view);
  header.*last_id = id;
  writes_.push_back(
      {0, reinterpret_cast<const char*>(&header), sizeof(header)});
  return journal.Commit(journal_path_, file, writes_, &counts_) ? id : 0;
}

SVR_LONG Floor::DelUser(std::int32_t id) {
  FloorFile file;
  if (!Open(true, &file)) return 0;
  SVR_CFG_HEADER& header = file.header();
  const SVR_CFG_HEADER original = header;
  SectionView view = GetSection(header, Section::kUsers);
  if (!ReadTable(file, Section::kUsers, view.count)) return 0;
  const std::int32_t i = FindId(Section::kUsers, view.count, id);
  if (i < 0) return 1;
  // The records behind it move down one slot, the last slot is cleared:
  // one write over the span.
  const std::size_t size = sizeof(SVR_USER_REC);
  const std::size_t span = static_cast<std::size_t>(view.count - i) * size;
  char* from = table_.data() + i * size;
  FloorJournal journal(&journal_, file_name_,
                       static_cast<std::uint64_t>(LayoutEnd(original)),
                       original);
  journal.Save(SlotOffset(view, Section::kUsers, i), from, span);
  std::memmove(from, from + size, span - size);
  std::memset(from + span - size, 0, size);
  view.count -= 1;
  SetSection(&header, Section::kUsers, view);
  writes_.assign({{SlotOffset(view, Section::kUsers, i), from, span},
                  {0, reinterpret_cast<const char*>(&header), sizeof(header)}});
  return journal.Commit(journal_path_, file, writes_, &counts_) ? 1 : 0;
}

SVR_LONG Floor::SetOptionInfo(const char* name, std::int32_t type, int index,
                              const CONFIG_OPTION& option) {
  FloorFile file;
  if (!Open(true, &file)) return 0;
  const SVR_CFG_HEADER& header = file.header();
  const std::int32_t count = header.optionGroupsCount;
  const std::size_t size = sizeof(SVR_OPTION_GROUP);
  const std::size_t n = static_cast<std::size_t>(count) * size;
  if (table_.size() < n) table_.resize(n);
  if (n == 0 || !file.Read(header.optionGroupsOffset, n, table_.data())) {
    return 0;
  }
  for (std::int32_t i = 0; i < count; ++i) {
    char* group = table_.data() + i * size;
    if (IdOf(group) != type ||
        !FieldIs(group + offsetof(SVR_OPTION_GROUP, groupName),
                 sizeof(SVR_OPTION_GROUP::groupName), name)) {
      continue;
    }
    const std::int64_t at = header.optionGroupsOffset + i * size;
    FloorJournal journal(&journal_, file_name_,
                         static_cast<std::uint64_t>(LayoutEnd(header)), header);
    journal.Save(at, group, size);
    CONFIG_OPTION stored;
    char* slot = group + offsetof(SVR_OPTION_GROUP, options) +
                 index * sizeof(CONFIG_OPTION);
    std::memcpy(&stored, slot, sizeof(stored));
    CopyValue(&stored, option);
    std::memcpy(slot, &stored, sizeof(stored));
    // The header does not change; the journal saves it all the same, as
    // the protocol's first range.
    writes_.assign({{at, group, size}});
    return journal.Commit(journal_path_, file, writes_, &counts_) ? 1 : 0;
  }
  return 0;
}

}  // namespace bench
}  // namespace brellox
