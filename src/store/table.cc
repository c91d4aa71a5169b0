#include "src/store/table.h"

#include <algorithm>
#include <limits>
#include <string>

#include "src/store/file_ranges.h"
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
  Status s = Buffer::AllocateUninitialized(bytes, &image->buffer_);
  if (!s.ok()) return s;
  image->records_ = image->buffer_.data();
  image->count_ = n;
  image->record_size_ = spec.record_size();
  if (bytes == 0) return Status::OK();
  return session.Read(view.offset, bytes, image->buffer_.data());
}

void TableImage::Share(std::shared_ptr<const TableImage> shared,
                       std::int32_t limit, TableImage* image) {
  const std::int32_t n =
      (limit >= 0 && limit < shared->count_) ? limit : shared->count_;
  image->records_ = shared->records_;
  image->count_ = n;
  image->record_size_ = shared->record_size_;
  image->shared_ = std::move(shared);
}

bool TableImage::FindIndexed(RecordKeys keys, std::string_view key,
                             std::int32_t* index) const {
  if (shared_ == nullptr ||
      !shared_->indexes_.Find(*shared_, keys, key, index)) {
    return false;
  }
  // A view of fewer records than the image finds none past its end.
  if (*index >= count_) *index = -1;
  return true;
}

namespace {

// The records' IDs: their first four bytes, with IdKey's bytes.
void IdKeys(const TableImage& table, KeyList* keys) {
  keys->reserve(static_cast<std::size_t>(table.count()));
  for (std::int32_t i = 0; i < table.count(); ++i) {
    keys->emplace_back(std::string_view(table.record(i), sizeof(std::int32_t)),
                       i);
  }
}

// The key IdKeys files a record with ID `*id` under; views `*id`.
std::string_view IdKey(const std::int32_t* id) {
  return std::string_view(reinterpret_cast<const char*>(id), sizeof(*id));
}

}  // namespace

std::int32_t TableImage::FindId(std::int32_t wanted) const {
  std::int32_t index;
  if (FindIndexed(IdKeys, IdKey(&wanted), &index)) return index;
  for (std::int32_t i = 0; i < count_; ++i) {
    if (id(i) == wanted) return i;
  }
  return -1;
}

SVR_LONG ListIds(const TableImage& image, CSmartArray<SVR_LONG>& ids) {
  ids.RemoveAll();
  for (std::int32_t i = 0; i < image.count(); ++i) ids.Add(image.record(i));
  // The stream drops a write it has no memory for; a list that cannot
  // reach its last element is incomplete and must not pass for the table.
  if (ids.GetSize() > 0 && ids.GetAt(ids.GetSize() - 1) == nullptr) {
    ids.RemoveAll();
    SetLastError(Status::Code::kNoMemory, "out of memory for the list of IDs");
    return 0;
  }
  return ids.GetSize();
}

void TableImage::Erase(std::int32_t index) {
  const std::int32_t last = count_ - 1;
  std::memmove(mutable_record(index), record(index + 1),
               static_cast<std::size_t>(last - index) * record_size_);
  std::memset(mutable_record(last), 0, record_size_);
  count_ = last;
}

std::int32_t TableImage::EraseIf(
    const std::function<bool(const char*)>& remove) {
  std::int32_t first = count_;
  std::int32_t kept = 0;
  for (std::int32_t i = 0; i < count_; ++i) {
    if (remove(record(i))) {
      first = std::min(first, i);
      continue;
    }
    if (kept != i) std::memcpy(mutable_record(kept), record(i), record_size_);
    ++kept;
  }
  std::memset(mutable_record(kept), 0,
              static_cast<std::size_t>(count_ - kept) * record_size_);
  count_ = kept;
  return first;
}

namespace {

// The ID the next record of a table with IDs gets, if the counter can issue
// one: a damaged counter would hand out an ID already in use.
Status NextId(const SVR_CFG_HEADER& header, const TableSpec& spec,
              const TableImage& in_use, std::int32_t* id) {
  const std::int32_t last = header.*spec.last_id;
  if (last < 0) {
    return Status::Corrupt("the table's ID counter is negative (" +
                           std::to_string(last) + ")");
  }
  if (last == std::numeric_limits<std::int32_t>::max()) {
    return Status::Refused("the table has issued every ID");
  }
  for (std::int32_t i = 0; i < in_use.count(); ++i) {
    if (in_use.id(i) > last) {
      return Status::Corrupt("the table's ID counter " + std::to_string(last) +
                             " is below ID " + std::to_string(in_use.id(i)) +
                             " of a record");
    }
  }
  *id = last + 1;
  return Status::OK();
}

// Zeros the slots [from, to) where they are not zero already (the usual
// case), so a file whose free slots hold stray bytes ends as if the table
// had been rewritten whole, and slots past the file's end extend it. The
// slots are read a chunk at a time, the file's holes skipped: a table may
// reserve far more than memory holds.
Status ClearSlots(ConfigSession& session, const TableSpec& spec,
                  std::int32_t from, std::int32_t to) {
  if (from >= to) return Status::OK();
  const SectionView view = GetSection(session.header(), spec.section);
  const std::uint64_t begin =
      static_cast<std::uint64_t>(SlotOffset(view, spec, from));
  const std::uint64_t end =
      static_cast<std::uint64_t>(SlotOffset(view, spec, to));
  const std::uint64_t inside = std::min(end, std::max(begin, session.Size()));
  Buffer chunk;
  Status s = Buffer::AllocateUninitialized(
      static_cast<std::size_t>(
          std::min<std::uint64_t>(inside - begin, kChunkBytes)),
      &chunk);
  for (std::uint64_t at = begin; s.ok() && at < inside;) {
    std::uint64_t data = at, data_end = inside;
    s = session.NextData(static_cast<std::int64_t>(at), &data, &data_end);
    if (!s.ok() || data >= inside) break;
    at = std::max(at, data);
    const std::size_t n = ScanLength(at, data_end, inside, chunk.size());
    s = session.Read(static_cast<std::int64_t>(at), n, chunk.data());
    if (!s.ok()) break;
    const char* bytes = chunk.data();
    if (!AllZero(bytes, n)) {
      // Only the stretch from the first stray byte to the last is recorded.
      std::size_t first = 0;
      while (bytes[first] == 0) ++first;
      std::size_t last = n;
      while (bytes[last - 1] == 0) --last;
      s = session.Zero(static_cast<std::int64_t>(at + first), last - first);
    }
    at += n;
  }
  if (s.ok() && inside < end) {
    s = session.Zero(static_cast<std::int64_t>(inside), end - inside);
  }
  return s;
}

}  // namespace

Status AppendRecord(ConfigSession& session, const TableSpec& spec,
                    const TableImage& in_use, const void* record,
                    std::int32_t* new_id) {
  return AppendRecords(session, spec, in_use, record, 1, NewIds::kNext, new_id);
}

Status AppendRecords(ConfigSession& session, const TableSpec& spec,
                     const TableImage& in_use, const void* records,
                     std::int32_t n, NewIds numbering, std::int32_t* ids) {
  if (n <= 0) return Status::OK();
  SVR_CFG_HEADER& header = session.header();
  const std::size_t size = spec.record_size();
  Buffer added;
  Status s = Buffer::Allocate(static_cast<std::size_t>(n) * size, &added);
  if (!s.ok()) return s;
  std::memcpy(added.data(), records, static_cast<std::size_t>(n) * size);
  std::int32_t last_id = 0;
  if (spec.last_id != nullptr) {
    // Checks the counter against the table even when the IDs are given.
    std::int32_t next = 0;
    s = NextId(header, spec, in_use, &next);
    if (!s.ok()) return s;
    last_id = next - 1;
    for (std::int32_t i = 0; i < n; ++i) {
      char* record = added.data() + static_cast<std::size_t>(i) * size;
      std::int32_t id;
      std::memcpy(&id, record, sizeof(id));
      if (numbering == NewIds::kNext) {
        if (last_id == std::numeric_limits<std::int32_t>::max()) {
          return Status::Refused("the table has issued every ID");
        }
        id = last_id + 1;
      } else if (id <= last_id) {
        return Status::Refused("ID " + std::to_string(id) +
                               " is not above the last ID issued, " +
                               std::to_string(last_id));
      }
      std::memcpy(record, &id, sizeof(id));
      last_id = id;
    }
  }
  SectionView view = GetSection(header, spec.section);
  // Two slots each time the table is full, as one add after another grows it.
  const std::int32_t short_by = view.count + n - view.capacity;
  if (short_by > 0) {
    const std::int32_t slots = short_by + short_by % 2;
    s = GrowTable(session, spec.section, slots);
    if (!s.ok()) return s;
    view.capacity += slots;
  }
  s = session.Write(SlotOffset(view, spec, view.count), added.data(),
                    static_cast<std::size_t>(n) * size);
  if (s.ok()) s = ClearSlots(session, spec, view.count + n, view.capacity);
  if (!s.ok()) return s;
  view.count += n;
  SetSection(&header, spec.section, view);
  if (spec.last_id != nullptr) header.*spec.last_id = last_id;
  s = session.WriteHeader();
  if (s.ok() && ids != nullptr) {
    // Records of a table without IDs report 0.
    for (std::int32_t i = 0; i < n; ++i) {
      ids[i] = 0;
      if (spec.last_id != nullptr) {
        std::memcpy(&ids[i], added.data() + static_cast<std::size_t>(i) * size,
                    sizeof(ids[i]));
      }
    }
  }
  return s;
}

Status RemoveRecord(ConfigSession& session, const TableSpec& spec,
                    TableImage* in_use, std::int32_t index) {
  SectionView view = GetSection(session.header(), spec.section);
  const std::int32_t moved = in_use->count() - index;
  // The freed slot goes out as zeros too, so no removed data stays in the
  // file; the whole span is one write.
  in_use->Erase(index);
  Status s =
      session.Write(SlotOffset(view, spec, index), in_use->record(index),
                    static_cast<std::size_t>(moved) * spec.record_size());
  if (!s.ok()) return s;
  view.count -= 1;
  SetSection(&session.header(), spec.section, view);
  return session.WriteHeader();
}

Status RemoveRecordsIf(ConfigSession& session, const TableSpec& spec,
                       TableImage* in_use,
                       const std::function<bool(const char*)>& remove,
                       std::int32_t* removed) {
  SectionView view = GetSection(session.header(), spec.section);
  const std::int32_t before = in_use->count();
  const std::int32_t first = in_use->EraseIf(remove);
  *removed = before - in_use->count();
  if (*removed == 0) return Status::OK();
  Status s = session.Write(
      SlotOffset(view, spec, first), in_use->record(first),
      static_cast<std::size_t>(before - first) * spec.record_size());
  if (!s.ok()) return s;
  view.count = in_use->count();
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
