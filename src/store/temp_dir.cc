#include "src/store/temp_dir.h"

#include <cstring>

#include "src/store/config_file.h"
#include "src/store/text.h"

namespace brellox {

constexpr std::size_t kTempDirWidth = sizeof(SVR_CFG_HEADER::tempDir);

SVR_LONG SetTempDir(const Store& store, const char* dir) {
  // A directory that does not fit with its NUL would be stored cut.
  if (dir == nullptr || FieldLength(dir, kTempDirWidth) >= kTempDirWidth) {
    return 0;
  }
  ConfigSession session;
  if (!session.Open(store, Access::kWrite).ok()) return 0;
  BoundedCopy(session.header().tempDir, kTempDirWidth, dir, kTempDirWidth);
  return session.WriteHeader().ok() && session.Commit().ok() ? 1 : 0;
}

SVR_LONG GetTempDir(const Store& store, char* buf, short len) {
  if (buf == nullptr || len <= 0) return 0;
  ConfigSession session;
  if (!session.Open(store, Access::kRead).ok()) return 0;
  const std::size_t n =
      len < static_cast<short>(kTempDirWidth) ? len : kTempDirWidth;
  BoundedCopy(buf, n, session.header().tempDir, kTempDirWidth);
  return 1;
}

}  // namespace brellox
