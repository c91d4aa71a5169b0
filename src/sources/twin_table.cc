#include "src/sources/twin_table.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "src/store/in_session.h"
#include "src/store/read_cache.h"
#include "src/store/text.h"

namespace brellox {

static_assert(sizeof(SVC_GDB_CONN_INFO) == RecordSize(Section::kConns),
              "connection records fill their slots");
static_assert(sizeof(SVC_GDB_INFO) == RecordSize(Section::kGdbs),
              "GDB records fill their slots");
static_assert(offsetof(SVC_GDB_CONN_INFO, name) == 4 &&
                  offsetof(SVC_GDB_INFO, name) == 4,
              "TwinName finds the name right after the ID");

namespace {

// A caller's name field as a terminated string: a name that fills its field
// without a NUL stops at the field's end instead of running into the next
// field.
class NameText {
 public:
  explicit NameText(const char* field) {
    BoundedCopy(text_, kTwinNameWidth, field, kTwinNameWidth);
    text_[kTwinNameWidth] = '\0';
  }
  const char* c_str() const { return text_; }

 private:
  char text_[kTwinNameWidth + 1];
};

void NameKeys(const TableImage& image, KeyList* keys) {
  keys->reserve(static_cast<std::size_t>(image.count()));
  for (std::int32_t i = 0; i < image.count(); ++i) {
    const char* name = TwinName(image.record(i));
    keys->emplace_back(FieldView(name, kTwinNameWidth), i);
  }
}

// Index of the first record other than `skip` whose name is `name`, or -1.
std::int32_t FindName(const TableImage& image, const char* name,
                      std::int32_t skip = -1) {
  std::int32_t index;
  // A name longer than the field matches no record, nor any key.
  if (skip < 0 && image.FindIndexed(NameKeys, name, &index)) return index;
  for (std::int32_t i = 0; i < image.count(); ++i) {
    if (i != skip &&
        FieldEquals(TwinName(image.record(i)), kTwinNameWidth, name)) {
      return i;
    }
  }
  return -1;
}

template <class Description>
Status NoSuchId(std::int32_t id) {
  return Status::NotFound(std::string("no ") + Description::kNoun +
                          " with ID " + std::to_string(id));
}

Status IdNotAboveZero(std::int32_t id) {
  return Status::InvalidArgument("ID " + std::to_string(id) +
                                 " is not above 0");
}

template <class Description>
Status NameTaken(const NameText& name) {
  return Status::AlreadyExists(std::string(Description::kNoun) + " '" +
                               name.c_str() + "' already exists");
}

template <class Description>
Status FindIdIn(const TableImage& image, std::int32_t id,
                typename Description::Record* record) {
  const std::int32_t index = id > 0 ? image.FindId(id) : -1;
  if (index < 0) return NoSuchId<Description>(id);
  std::memcpy(record, image.record(index), sizeof(*record));
  return Status::OK();
}

template <class Description>
Status FindNameIn(const TableImage& image, const char* name,
                  typename Description::Record* record) {
  const std::int32_t index = FindName(image, name);
  if (index < 0) {
    return Status::NotFound(std::string("no ") + Description::kNoun + " '" +
                            name + "'");
  }
  std::memcpy(record, image.record(index), sizeof(*record));
  return Status::OK();
}

}  // namespace

std::int32_t FindTwinName(const TableImage& image, const char* name) {
  return FindName(image, name);
}

template <class Description>
SVR_LONG TwinTable<Description>::Count(const Store& store) {
  std::int32_t count = 0;
  return Reported(CountRecords(store, Description::spec(), &count))
             ? count
             : Description::kCountFailure;
}

template <class Description>
SVR_LONG TwinTable<Description>::Get(const Store& store, SVR_LONG id,
                                     Record& record) {
  if (id <= 0) {
    Reported(IdNotAboveZero(id));
    return 0;
  }
  std::memset(&record, 0, sizeof(record));
  return Reported(Find(store, id, &record)) ? 1 : 0;
}

template <class Description>
SVR_LONG TwinTable<Description>::GetAll(const Store& store, Record* records,
                                        SVR_LONG count) {
  if (records == nullptr || count <= 0) {
    SetLastError(Status::Code::kInvalidArgument, "no records to fill");
    return 0;
  }
  std::memset(records, 0, static_cast<std::size_t>(count) * sizeof(Record));
  TableImage image;
  if (!Reported(ReadTable(store, Description::spec(), &image, count))) {
    return 0;
  }
  if (image.count() > 0) {
    std::memcpy(records, image.record(0),
                static_cast<std::size_t>(image.count()) * sizeof(Record));
  }
  return 1;
}

template <class Description>
SVR_LONG TwinTable<Description>::GetIds(const Store& store,
                                        CSmartArray<SVR_LONG>& ids) {
  ids.RemoveAll();
  TableImage image;
  if (!Reported(ReadTable(store, Description::spec(), &image))) {
    return 0;
  }
  return ListIds(image, ids);
}

template <class Description>
SVR_LONG TwinTable<Description>::Exists(const Store& store, const char* name) {
  Record found;
  const Status s = FindByName(store, name, &found);
  if (s.IsNotFound()) return 0;
  return Reported(s) ? 1 : 0;
}

template <class Description>
Status TwinTable<Description>::Add(ConfigSession& session, const Record& record,
                                   std::int32_t* id) {
  const NameText name(record.name);
  if (IsBlankName(name.c_str())) {
    return Status::InvalidArgument("name is blank");
  }
  TableImage image;
  const TableSpec& spec = Description::spec();
  Status s = TableImage::Load(session, spec, &image);
  if (!s.ok()) return s;
  if (FindName(image, name.c_str()) >= 0) return NameTaken<Description>(name);
  return AppendRecord(session, spec, image, &record, id);
}

template <class Description>
Status TwinTable<Description>::Update(ConfigSession& session,
                                      const Record& record) {
  TableImage image;
  const TableSpec& spec = Description::spec();
  Status s = TableImage::Load(session, spec, &image);
  if (!s.ok()) return s;
  const std::int32_t index = image.FindId(record.id);
  if (index < 0) return NoSuchId<Description>(record.id);
  // The record itself is skipped, so it may keep its own name.
  const NameText name(record.name);
  if (FindName(image, name.c_str(), index) >= 0)
    return NameTaken<Description>(name);
  std::memcpy(image.mutable_record(index), &record, sizeof(record));
  return WriteRecord(session, spec, image, index);
}

template <class Description>
Status TwinTable<Description>::Remove(ConfigSession& session, std::int32_t id) {
  if (id <= 0) return IdNotAboveZero(id);
  TableImage image;
  const TableSpec& spec = Description::spec();
  Status s = TableImage::Load(session, spec, &image);
  if (!s.ok()) return s;
  const std::int32_t index = image.FindId(id);
  if (index < 0) return NoSuchId<Description>(id);
  return RemoveRecord(session, spec, &image, index);
}

template <class Description>
Status TwinTable<Description>::Find(ConfigSession& session, std::int32_t id,
                                    Record* record) {
  TableImage image;
  Status s = TableImage::Load(session, Description::spec(), &image);
  return s.ok() ? FindIdIn<Description>(image, id, record) : s;
}

template <class Description>
Status TwinTable<Description>::FindByName(ConfigSession& session,
                                          const char* name, Record* record) {
  if (name == nullptr) return Status::InvalidArgument("no name");
  TableImage image;
  Status s = TableImage::Load(session, Description::spec(), &image);
  return s.ok() ? FindNameIn<Description>(image, name, record) : s;
}

template <class Description>
Status TwinTable<Description>::Find(const Store& store, std::int32_t id,
                                    Record* record) {
  TableImage image;
  Status s = ReadTable(store, Description::spec(), &image);
  return s.ok() ? FindIdIn<Description>(image, id, record) : s;
}

template <class Description>
Status TwinTable<Description>::FindByName(const Store& store, const char* name,
                                          Record* record) {
  if (name == nullptr) return Status::InvalidArgument("no name");
  TableImage image;
  Status s = ReadTable(store, Description::spec(), &image);
  return s.ok() ? FindNameIn<Description>(image, name, record) : s;
}

template <class Description>
SVR_LONG TwinTable<Description>::Add(const Store& store, const Record& record) {
  // A blank name is refused before the file is opened.
  if (IsBlankName(NameText(record.name).c_str())) {
    SetLastError(Status::Code::kInvalidArgument, "name is blank");
    return 0;
  }
  std::int32_t id = 0;
  Status s = InSession(store, Access::kWrite, [&](ConfigSession& session) {
    return Add(session, record, &id);
  });
  return Reported(s) ? id : 0;
}

template <class Description>
SVR_LONG TwinTable<Description>::Update(const Store& store,
                                        const Record& record) {
  return Reported(InSession(
             store, Access::kWrite,
             [&](ConfigSession& session) { return Update(session, record); }))
             ? 1
             : 0;
}

template <class Description>
SVR_LONG TwinTable<Description>::Remove(const Store& store, SVR_LONG id) {
  if (id <= 0) {
    Reported(IdNotAboveZero(id));
    return 0;
  }
  ConfigSession session;
  if (!Reported(session.Open(store, Access::kWrite))) return 0;
  Status s = Remove(session, id);
  // Removing a record that is not there leaves what was asked for.
  if (s.IsNotFound()) return 1;
  if (s.ok()) s = session.Commit();
  return Reported(s) ? 1 : 0;
}

template class TwinTable<ConnTableDescription>;
template class TwinTable<GdbTableDescription>;

}  // namespace brellox
