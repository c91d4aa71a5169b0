// The C interface's temporary directory, the reason of the last failure
// and the busy timeout.
#include <cstdint>
#include <string>

#include "brellox/brellox_c.h"
#include "src/c_api/c_call.h"
#include "src/store/file_lock.h"
#include "src/store/temp_dir.h"

using brellox::Access;
using brellox::CCall;
using brellox::ConfigSession;
using brellox::InSession;
using brellox::Status;
using brellox::StoreAt;

brellox_result brellox_set_temp_dir(const char* path, const char* dir) {
  return CCall([&] {
    Status s = brellox::CheckTempDir(dir);
    if (!s.ok()) return s;
    return InSession(StoreAt(path), Access::kWrite,
                     [&](ConfigSession& session) {
                       return brellox::SetTempDir(session, dir);
                     });
  });
}

brellox_result brellox_get_temp_dir(const char* path, char* buffer,
                                    int32_t size) {
  return CCall([&] {
    Status s = brellox::CheckTextBuffer(buffer, size);
    if (!s.ok()) return s;
    std::string dir;
    s = brellox::ReadTempDir(StoreAt(path), &dir);
    if (!s.ok()) return s;
    return brellox::CopyText(dir.c_str(), dir.size(), buffer, size, "temp dir");
  });
}

brellox_result brellox_last_error(char* message, int32_t size) {
  return brellox::CopyLastError(message,
                                size > 0 ? static_cast<std::size_t>(size) : 0);
}

const char* brellox_result_name(brellox_result result) {
  return brellox::ResultName(result);
}

brellox_result brellox_set_busy_timeout(int64_t microseconds) {
  return CCall([&] {
    if (microseconds < 0) {
      return Status::InvalidArgument(
          "busy timeout " + std::to_string(microseconds) + " is below 0");
    }
    brellox::SetProcessBusyTimeout(static_cast<std::uint64_t>(microseconds));
    return Status::OK();
  });
}

brellox_result brellox_set_thread_busy_timeout(int64_t microseconds) {
  return CCall([&] {
    brellox::SetThreadBusyTimeout(microseconds);
    return Status::OK();
  });
}
