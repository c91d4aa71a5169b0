#include "src/store/growth.h"

#include <limits>

#include "src/store/buffer.h"
#include "src/store/config_file.h"

namespace brellox {
namespace {

struct ShiftPlan {
  std::int64_t read_bytes;   // the records in use
  std::int64_t write_bytes;  // what goes out at the new offset
};

ShiftPlan PlanShift(const SVR_CFG_HEADER& header, Section section) {
  const SectionView view = GetSection(header, section);
  const std::int64_t size = RecordSize(section);
  return {view.count * size, view.capacity * size};
}

Status AllocateFor(const SVR_CFG_HEADER& header, Section section,
                   Buffer* buffer) {
  return Buffer::Allocate(
      static_cast<std::size_t>(PlanShift(header, section).write_bytes),
      buffer);
}

// `buffer` is zero-filled and large enough for the section's slots.
Status MoveSection(RandomRWFile& file, SVR_CFG_HEADER* header, Section section,
                   std::int32_t delta, Buffer* buffer) {
  SectionView view = GetSection(*header, section);
  const ShiftPlan plan = PlanShift(*header, section);
  if (plan.read_bytes > 0) {
    Status s = file.Read(static_cast<std::uint64_t>(view.offset),
                         static_cast<std::size_t>(plan.read_bytes),
                         buffer->data());
    if (!s.ok()) return s;
  }
  view.offset += delta;
  SetSection(header, section, view);
  if (plan.write_bytes == 0) return Status::OK();
  return file.Write(static_cast<std::uint64_t>(view.offset), buffer->data(),
                    static_cast<std::size_t>(plan.write_bytes));
}

}  // namespace

Status ShiftSection(RandomRWFile& file, SVR_CFG_HEADER* header,
                    Section section, std::int32_t delta) {
  Buffer buffer;
  Status s = AllocateFor(*header, section, &buffer);
  if (!s.ok()) return s;
  return MoveSection(file, header, section, delta, &buffer);
}

Status GrowTable(RandomRWFile& file, SVR_CFG_HEADER* header, Section table) {
  const int first_moved = static_cast<int>(table) + 1;
  const std::int32_t delta = 2 * RecordSize(table);
  if (table == Section::kOptionGroups) {
    return Status::Refused("the option-group table grows by appending");
  }
  if (LayoutEnd(*header) + delta > std::numeric_limits<std::int32_t>::max()) {
    return Status::Refused("the file would outgrow its 32-bit offsets");
  }
  Buffer buffers[kSectionCount];
  for (int i = first_moved; i < kSectionCount; ++i) {
    Status s = AllocateFor(*header, static_cast<Section>(i), &buffers[i]);
    if (!s.ok()) return s;
  }
  // Last table first, so that no table is written over one not yet moved.
  for (int i = kSectionCount - 1; i >= first_moved; --i) {
    Status s =
        MoveSection(file, header, static_cast<Section>(i), delta, &buffers[i]);
    if (!s.ok()) return s;
  }
  return Status::OK();
}

}  // namespace brellox
