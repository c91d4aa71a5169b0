#include "src/store/growth.h"

#include <limits>

namespace brellox {

Status ShiftSection(ConfigSession& session, Section section,
                    std::int32_t delta) {
  SectionView view = GetSection(session.header(), section);
  const std::int64_t size = RecordSize(section);
  const std::int64_t in_use = view.count * size;
  const std::int64_t slots =
      section == Section::kOptionGroups ? in_use : view.capacity * size;
  const std::int64_t to = static_cast<std::int64_t>(view.offset) + delta;
  // Moved, not read: the table may be as large as the file.
  Status s = session.Move(to, view.offset, static_cast<std::uint64_t>(in_use));
  if (s.ok()) {
    s = session.Zero(to + in_use, static_cast<std::uint64_t>(slots - in_use));
  }
  if (!s.ok()) return s;
  view.offset = static_cast<std::int32_t>(to);
  SetSection(&session.header(), section, view);
  return Status::OK();
}

Status GrowTable(ConfigSession& session, Section table, std::int32_t slots) {
  if (table == Section::kOptionGroups) {
    return Status::Refused("the option-group table grows by appending");
  }
  const std::int64_t delta =
      static_cast<std::int64_t>(slots) * RecordSize(table);
  if (LayoutEnd(session.header()) + delta >
      std::numeric_limits<std::int32_t>::max()) {
    return Status::Refused("the file would outgrow its 32-bit offsets");
  }
  // Last table first, so that no table is written over one not yet moved.
  for (int i = kSectionCount - 1; i > static_cast<int>(table); --i) {
    Status s = ShiftSection(session, static_cast<Section>(i),
                            static_cast<std::int32_t>(delta));
    if (!s.ok()) return s;
  }
  return Status::OK();
}

}  // namespace brellox
