#include "src/store/table.h"

#include <limits>

#include "src/store/growth.h"

namespace brellox {

const TableSpec kConnTable{Section::kConns, &SVR_CFG_HEADER::lastConnID};
const TableSpec kGdbTable{Section::kGdbs, &SVR_CFG_HEADER::lastGDBID};
const TableSpec kUserTable{Section::kUsers, &SVR_CFG_HEADER::lastUserID};
const TableSpec kPrivTable{Section::kPrivs, nullptr};

namespace {

std::int64_t SlotOffset(const SectionView& view, const TableSpec& spec,
                        std::int32_t slot) {
  return static_cast<std::int64_t>(view.offset) +
         static_cast<std::int64_t>(slot) * spec.record_size();
}

}  // namespace

Status TableImage::Load(ConfigSession& session, const TableSpec& spec,
                        TableImage* image, std::int32_t limit) {
  const SectionView view = GetSection(session.header(), spec.section);
  const std::int32_t n =
      (limit >= 0 && limit < view.count) ? limit : view.count;
  const std::size_t bytes = static_cast<std::size_t>(n) * spec.record_size();
  Status s = Buffer::Allocate(bytes, &image->buffer_);
  if (!s.ok()) return s;
  image->count_ = n;
  image->record_size_ = spec.record_size();
  if (bytes == 0) return Status::OK();
  return session.Read(view.offset, bytes, image->buffer_.data());
}

std::int32_t TableImage::FindId(std::int32_t wanted) const {
  for (std::int32_t i = 0; i < count_; ++i) {
    if (id(i) == wanted) return i;
  }
  return -1;
}

Status OpenTable(const Store& store, const TableSpec& spec,
                 ConfigSession* session, TableImage* image,
                 std::int32_t limit) {
  Status s = session->Open(store);
  if (s.ok()) s = TableImage::Load(*session, spec, image, limit);
  return s;
}

SVR_LONG ListIds(const TableImage& image, CSmartArray<SVR_LONG>& ids) {
  ids.RemoveAll();
  for (std::int32_t i = 0; i < image.count(); ++i) ids.Add(image.record(i));
  // The stream drops a write it has no memory for; a list that cannot
  // reach its last element is incomplete and must not pass for the table.
  if (ids.GetSize() > 0 && ids.GetAt(ids.GetSize() - 1) == nullptr) {
    ids.RemoveAll();
    return 0;
  }
  return ids.GetSize();
}

void TableImage::Erase(std::int32_t index) {
  const std::int32_t last = count_ - 1;
  std::memmove(record(index), record(index + 1),
               static_cast<std::size_t>(last - index) * record_size_);
  std::memset(record(last), 0, record_size_);
  count_ = last;
}

Status AppendRecord(ConfigSession& session, const TableSpec& spec,
                    const TableImage& in_use, const void* record,
                    std::int32_t* new_id) {
  SVR_CFG_HEADER& header = session.header();
  SectionView view = GetSection(header, spec.section);
  std::int32_t id = 0;
  if (spec.last_id != nullptr) {
    if (header.*spec.last_id == std::numeric_limits<std::int32_t>::max()) {
      return Status::Refused("the table has issued every ID");
    }
    id = header.*spec.last_id + 1;
  }
  const bool full = view.count >= view.capacity;
  const std::int32_t capacity = full ? view.capacity + 2 : view.capacity;
  const std::size_t size = spec.record_size();

  Buffer slots;
  Status s = Buffer::Allocate(capacity * size, &slots);
  if (!s.ok()) return s;
  std::memcpy(slots.data(), in_use.record(0), view.count * size);
  char* added = slots.data() + view.count * size;
  std::memcpy(added, record, size);
  if (spec.last_id != nullptr) std::memcpy(added, &id, sizeof(id));

  if (full) {
    s = GrowTable(session.file(), &header, spec.section);
    if (!s.ok()) return s;
  }
  s = session.Write(view.offset, slots.data(), slots.size());
  if (!s.ok()) return s;
  view.count += 1;
  view.capacity = capacity;
  SetSection(&header, spec.section, view);
  if (spec.last_id != nullptr) header.*spec.last_id = id;
  s = session.WriteHeader();
  if (s.ok() && new_id != nullptr) *new_id = id;
  return s;
}

Status RemoveRecord(ConfigSession& session, const TableSpec& spec,
                    TableImage* in_use, std::int32_t index) {
  SectionView view = GetSection(session.header(), spec.section);
  const std::int32_t moved = in_use->count() - index;
  // The freed slot goes out as zeros too, so no removed data stays in the
  // file; the whole span is one write.
  in_use->Erase(index);
  Status s = session.Write(SlotOffset(view, spec, index), in_use->record(index),
                           static_cast<std::size_t>(moved) * spec.record_size());
  if (!s.ok()) return s;
  view.count -= 1;
  SetSection(&session.header(), spec.section, view);
  return session.WriteHeader();
}

Status WriteRecord(ConfigSession& session, const TableSpec& spec,
                   const TableImage& image, std::int32_t index) {
  const SectionView view = GetSection(session.header(), spec.section);
  return session.Write(SlotOffset(view, spec, index), image.record(index),
                       spec.record_size());
}

}  // namespace brellox
