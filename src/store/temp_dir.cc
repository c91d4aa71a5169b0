#include "src/store/temp_dir.h"

#include <cstring>
#include <string>

#include "src/store/config_file.h"
#include "src/store/text.h"

namespace brellox {

constexpr std::size_t kTempDirWidth = sizeof(SVR_CFG_HEADER::tempDir);

namespace {

// A directory that does not fit with its NUL would be stored cut.
Status CheckTempDir(const char* dir) {
  if (dir == nullptr) return Status::Refused("no temp dir");
  if (FieldLength(dir, kTempDirWidth) >= kTempDirWidth) {
    return Status::Refused("temp dir is longer than " +
                           std::to_string(kTempDirWidth - 1) + " bytes");
  }
  return Status::OK();
}

}  // namespace

Status SetTempDir(ConfigSession& session, const char* dir) {
  Status s = CheckTempDir(dir);
  if (!s.ok()) return s;
  BoundedCopy(session.header().tempDir, kTempDirWidth, dir, kTempDirWidth);
  return session.WriteHeader();
}

SVR_LONG SetTempDir(const Store& store, const char* dir) {
  if (!CheckTempDir(dir).ok()) return 0;
  ConfigSession session;
  if (!session.Open(store, Access::kWrite).ok()) return 0;
  return SetTempDir(session, dir).ok() && session.Commit().ok() ? 1 : 0;
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
