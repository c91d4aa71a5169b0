#include "src/store/file_image.h"

#include <algorithm>
#include <cstring>

#include "src/store/buffer.h"
#include "src/store/file_ranges.h"

namespace brellox {
namespace {

// Where the tables' bytes come from: the session's file, or an image.
class SessionBytes {
 public:
  explicit SessionBytes(ConfigSession& session) : session_(session) {}
  Status Read(std::int64_t offset, std::size_t n, void* out) {
    return session_.Read(offset, n, out);
  }
  Status NextData(std::int64_t offset, std::uint64_t* begin,
                  std::uint64_t* end) {
    return session_.NextData(offset, begin, end);
  }

 private:
  ConfigSession& session_;
};

// An image whose header has been validated: every table lies within it.
class ImageBytes {
 public:
  explicit ImageBytes(const std::string& image) : image_(image) {}
  Status Read(std::int64_t offset, std::size_t n, void* out) {
    std::memcpy(out, image_.data() + offset, n);
    return Status::OK();
  }
  Status NextData(std::int64_t offset, std::uint64_t* begin,
                  std::uint64_t* end) {
    *begin = static_cast<std::uint64_t>(offset);
    *end = std::max<std::uint64_t>(*begin, image_.size());
    return Status::OK();
  }

 private:
  const std::string& image_;
};

template <class Record, class Bytes>
Status ReadRecords(Bytes& bytes, const SectionView& view,
                   std::vector<Record>* records) {
  records->assign(static_cast<std::size_t>(view.count), Record{});
  if (records->empty()) return Status::OK();
  return bytes.Read(view.offset, records->size() * sizeof(Record),
                    records->data());
}

template <class Bytes>
Status ReadAll(Bytes& bytes, const SVR_CFG_HEADER& header, FileTables* tables) {
  tables->header = header;
  const SVR_CFG_HEADER& h = header;
  Status s = bytes.Read(kGlobalOptionOffset, sizeof(tables->global_option),
                        &tables->global_option);
  if (s.ok())
    s = ReadRecords(bytes, GetSection(h, Section::kConns), &tables->conns);
  if (s.ok())
    s = ReadRecords(bytes, GetSection(h, Section::kGdbs), &tables->gdbs);
  if (s.ok())
    s = ReadRecords(bytes, GetSection(h, Section::kUsers), &tables->users);
  if (s.ok())
    s = ReadRecords(bytes, GetSection(h, Section::kPrivs), &tables->privs);
  if (s.ok()) {
    s = ReadRecords(bytes, GetSection(h, Section::kOptionGroups),
                    &tables->groups);
  }
  return s;
}

// Reads the free slots of the four slotted tables whole slots at a time,
// from the first that may hold data on, and notes those not all zero.
template <class Bytes>
Status ScanSlots(Bytes& bytes, FileTables* tables) {
  Buffer chunk;
  Status s = Buffer::AllocateUninitialized(kChunkBytes, &chunk);
  for (int t = 0; s.ok() && t < 4; ++t) {
    const Section section = static_cast<Section>(t);
    const SectionView view = GetSection(tables->header, section);
    const std::int64_t size = RecordSize(section);
    const std::int64_t per_chunk =
        static_cast<std::int64_t>(kChunkBytes) / size;
    const std::int64_t end = view.offset + view.capacity * size;
    DirtyFreeSlots& dirty = tables->dirty_free_slots[t];
    dirty = DirtyFreeSlots{};
    for (std::int64_t slot = view.count; slot < view.capacity;) {
      std::uint64_t data = 0, data_end = 0;
      s = bytes.NextData(view.offset + slot * size, &data, &data_end);
      if (!s.ok() || static_cast<std::int64_t>(data) >= end) break;
      slot = std::max(slot,
                      (static_cast<std::int64_t>(data) - view.offset) / size);
      // Whole slots, up to the one where the stretch of data ends.
      const std::int64_t stretch =
          (static_cast<std::int64_t>(data_end) - view.offset + size - 1) / size;
      const std::int64_t n =
          std::min({per_chunk, view.capacity - slot,
                    std::max<std::int64_t>(1, stretch - slot)});
      s = bytes.Read(view.offset + slot * size,
                     static_cast<std::size_t>(n * size), chunk.data());
      for (std::int64_t i = 0; s.ok() && i < n; ++i) {
        if (AllZero(chunk.data() + i * size, static_cast<std::size_t>(size)))
          continue;
        if (dirty.listed.size() < DirtyFreeSlots::kMostListed) {
          dirty.listed.push_back(static_cast<std::int32_t>(slot + i));
        }
        ++dirty.total;
      }
      slot += n;
    }
  }
  return s;
}

// Appends a table's records and its free slots (zero), and sets its place.
template <class Record>
void PlaceTable(Section section, const std::vector<Record>& records,
                std::int32_t capacity, SVR_CFG_HEADER* header,
                std::string* image) {
  SetSection(header, section,
             {static_cast<std::int32_t>(image->size()),
              static_cast<std::int32_t>(records.size()), capacity});
  const std::size_t begin = image->size();
  image->resize(begin + static_cast<std::size_t>(capacity) * sizeof(Record));
  if (!records.empty()) {
    std::memcpy(&(*image)[begin], records.data(),
                records.size() * sizeof(Record));
  }
}

}  // namespace

Status ReadTables(ConfigSession& session, FileTables* tables) {
  tables->file_size = session.Size();
  SessionBytes bytes(session);
  return ReadAll(bytes, session.header(), tables);
}

Status ScanFreeSlots(ConfigSession& session, FileTables* tables) {
  SessionBytes bytes(session);
  return ScanSlots(bytes, tables);
}

Status DecodeImage(const std::string& image, FileTables* tables) {
  if (image.size() < static_cast<std::size_t>(kFirstTableOffset)) {
    return Status::Corrupt("file of " + std::to_string(image.size()) +
                           " bytes is shorter than its header and global "
                           "option");
  }
  SVR_CFG_HEADER header;
  std::memcpy(&header, image.data(), sizeof(header));
  Status s = ValidateHeader(header, image.size());
  if (!s.ok()) return s;
  tables->file_size = image.size();
  ImageBytes bytes(image);
  s = ReadAll(bytes, header, tables);
  if (s.ok()) s = ScanSlots(bytes, tables);
  return s;
}

std::string LayoutImage(const FileTables& tables,
                        const SlotCapacities& capacities) {
  SVR_CFG_HEADER header = tables.header;
  std::string image(static_cast<std::size_t>(kFirstTableOffset), '\0');
  std::memcpy(&image[kGlobalOptionOffset], &tables.global_option,
              sizeof(tables.global_option));
  PlaceTable(Section::kConns, tables.conns, capacities[0], &header, &image);
  PlaceTable(Section::kGdbs, tables.gdbs, capacities[1], &header, &image);
  PlaceTable(Section::kUsers, tables.users, capacities[2], &header, &image);
  PlaceTable(Section::kPrivs, tables.privs, capacities[3], &header, &image);
  PlaceTable(Section::kOptionGroups, tables.groups,
             static_cast<std::int32_t>(tables.groups.size()), &header, &image);
  std::memcpy(&image[0], &header, sizeof(header));
  return image;
}

}  // namespace brellox
