#include "src/store/temp_dir.h"

#include <cstring>
#include <string>

#include "src/store/config_file.h"
#include "src/store/text.h"

namespace brellox {

constexpr std::size_t kTempDirWidth = sizeof(SVR_CFG_HEADER::tempDir);

// A directory that does not fit with its NUL would be stored cut.
Status CheckTempDir(const char* dir) {
  if (dir == nullptr) return Status::InvalidArgument("no temp dir");
  if (FieldLength(dir, kTempDirWidth) >= kTempDirWidth) {
    return Status::InvalidArgument("temp dir is longer than " +
                                   std::to_string(kTempDirWidth - 1) +
                                   " bytes");
  }
  return Status::OK();
}

Status SetTempDir(ConfigSession& session, const char* dir) {
  Status s = CheckTempDir(dir);
  if (!s.ok()) return s;
  BoundedCopy(session.header().tempDir, kTempDirWidth, dir, kTempDirWidth);
  return session.WriteHeader();
}

SVR_LONG SetTempDir(const Store& store, const char* dir) {
  if (!Reported(CheckTempDir(dir))) return 0;
  ConfigSession session;
  Status s = session.Open(store, Access::kWrite);
  if (s.ok()) s = SetTempDir(session, dir);
  if (s.ok()) s = session.Commit();
  return Reported(s) ? 1 : 0;
}

Status ReadTempDir(const Store& store, std::string* dir) {
  ConfigSession session;
  Status s = session.Open(store, Access::kRead);
  if (s.ok()) {
    const char* field = session.header().tempDir;
    dir->assign(field, FieldLength(field, kTempDirWidth));
  }
  return s;
}

SVR_LONG GetTempDir(const Store& store, char* buf, short len) {
  if (buf == nullptr || len <= 0) {
    SetLastError(Status::Code::kInvalidArgument, "no buffer for the temp dir");
    return 0;
  }
  std::string dir;
  if (!Reported(ReadTempDir(store, &dir))) return 0;
  const std::size_t n =
      len < static_cast<short>(kTempDirWidth) ? len : kTempDirWidth;
  BoundedCopy(buf, n, dir.c_str(), kTempDirWidth);
  return 1;
}

}  // namespace brellox
