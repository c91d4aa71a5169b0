#include "src/desired/table_edit.h"

#include <algorithm>

namespace brellox {
namespace desired {

Status TableEdit::Load(ConfigSession& session, const TableSpec& spec) {
  spec_ = &spec;
  first_changed_ = -1;
  const Status s = TableImage::Load(session, spec, &image_);
  removed_.assign(static_cast<std::size_t>(s.ok() ? image_.count() : 0), false);
  return s;
}

char* TableEdit::Change(std::int32_t index) {
  first_changed_ = first_changed_ < 0 ? index : std::min(first_changed_, index);
  return image_.mutable_record(index);
}

void TableEdit::Remove(std::int32_t index) {
  first_changed_ = first_changed_ < 0 ? index : std::min(first_changed_, index);
  removed_[static_cast<std::size_t>(index)] = true;
}

Status TableEdit::Write(ConfigSession& session, const void* added,
                        std::int32_t n, NewIds numbering, std::int32_t* ids) {
  Status s;
  if (first_changed_ >= 0) {
    const std::int32_t before = image_.count();
    // EraseIf asks about each record once, in table order.
    std::int32_t next = 0;
    image_.EraseIf([&](const char*) {
      return removed_[static_cast<std::size_t>(next++)];
    });
    SectionView view = GetSection(session.header(), spec_->section);
    const std::int64_t size = spec_->record_size();
    // The freed slots, still addressable past count(), go out as zeros.
    s = session.Write(
        view.offset + first_changed_ * size, image_.record(first_changed_),
        static_cast<std::size_t>((before - first_changed_) * size));
    if (s.ok() && image_.count() != before) {
      view.count = image_.count();
      SetSection(&session.header(), spec_->section, view);
      s = session.WriteHeader();
    }
    first_changed_ = -1;
    removed_.assign(static_cast<std::size_t>(image_.count()), false);
  }
  if (s.ok() && n > 0) {
    s = AppendRecords(session, *spec_, image_, added, n, numbering, ids);
  }
  return s;
}

}  // namespace desired
}  // namespace brellox
