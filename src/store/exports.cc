// Exported functions of the configuration store itself.
#include "brellox/brellox.h"
#include "src/store/last_error.h"
#include "src/store/temp_dir.h"

using brellox::DefaultStore;
using brellox::Guarded;

SVR_LONG Svr_SetTempDir(char* dir) {
  return Guarded(0, [&] { return brellox::SetTempDir(DefaultStore(), dir); });
}

SVR_LONG Svr_GetTempDir(char* buf, short len) {
  return Guarded(0,
                 [&] { return brellox::GetTempDir(DefaultStore(), buf, len); });
}

SVR_LONG Svr_GetLastError(char* buffer, SVR_LONG size) {
  // Not Guarded: reading the last error must not clear it.
  return brellox::CopyLastError(buffer,
                                size > 0 ? static_cast<std::size_t>(size) : 0);
}
