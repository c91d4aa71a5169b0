#include "src/sources/sources.h"

#include <cstring>

#include "src/sources/twin_table.h"
#include "src/store/config_file.h"
#include "src/store/read_cache.h"
#include "src/store/text.h"

namespace brellox {

namespace {

// Opens the file and reads every GDB. Fails for an empty table as well:
// both lookups answer 0 when there is nothing to look in.
bool LoadNonEmptyGdbTable(const Store& store, TableImage* image) {
  if (!Reported(ReadTable(store, kGdbTable, image))) {
    return false;
  }
  if (image->count() > 0) return true;
  SetLastError(Status::Code::kNotFound, "no GDB");
  return false;
}

}  // namespace

SVR_LONG GetGDBAliasName(const Store& store, SVR_LONG gdbID, char* name,
                         short len) {
  if (name == nullptr || len <= 0) {
    SetLastError(Status::Code::kInvalidArgument, "no buffer for the name");
    return 0;
  }
  std::memset(name, 0, static_cast<std::size_t>(len));
  TableImage image;
  if (!LoadNonEmptyGdbTable(store, &image)) return 0;
  const std::int32_t index = image.FindId(gdbID);
  if (index >= 0) {
    const std::size_t n = len < static_cast<short>(kTwinNameWidth)
                              ? static_cast<std::size_t>(len)
                              : kTwinNameWidth;
    BoundedCopy(name, n, TwinName(image.record(index)), kTwinNameWidth);
  }
  return 1;
}

SVR_LONG GetGDBID(const Store& store, const char* name, SVR_LONG& gdbID) {
  gdbID = 0;
  if (name == nullptr) {
    SetLastError(Status::Code::kInvalidArgument, "no name");
    return 0;
  }
  TableImage image;
  if (!LoadNonEmptyGdbTable(store, &image)) return 0;
  const std::int32_t index = FindTwinName(image, name);
  if (index >= 0) gdbID = image.id(index);
  return 1;
}

}  // namespace brellox
