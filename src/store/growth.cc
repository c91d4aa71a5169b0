#include "src/store/growth.h"

#include <limits>

#include "src/store/buffer.h"

namespace brellox {

Status ShiftSection(ConfigSession& session, Section section,
                    std::int32_t delta) {
  SectionView view = GetSection(session.header(), section);
  const std::size_t size = static_cast<std::size_t>(RecordSize(section));
  const std::size_t in_use = static_cast<std::size_t>(view.count) * size;
  const std::size_t slots = static_cast<std::size_t>(view.capacity) * size;
  Buffer buffer;
  Status s = Buffer::Allocate(slots, &buffer);
  if (s.ok() && in_use > 0) {
    s = session.Read(view.offset, in_use, buffer.data());
  }
  if (!s.ok()) return s;
  view.offset += delta;
  SetSection(&session.header(), section, view);
  if (slots == 0) return Status::OK();
  return session.Write(view.offset, buffer.data(), slots);
}

Status GrowTable(ConfigSession& session, Section table) {
  if (table == Section::kOptionGroups) {
    return Status::Refused("the option-group table grows by appending");
  }
  const std::int32_t delta = 2 * RecordSize(table);
  if (LayoutEnd(session.header()) + delta >
      std::numeric_limits<std::int32_t>::max()) {
    return Status::Refused("the file would outgrow its 32-bit offsets");
  }
  // Last table first, so that no table is written over one not yet moved.
  for (int i = kSectionCount - 1; i > static_cast<int>(table); --i) {
    Status s = ShiftSection(session, static_cast<Section>(i), delta);
    if (!s.ok()) return s;
  }
  return Status::OK();
}

}  // namespace brellox
