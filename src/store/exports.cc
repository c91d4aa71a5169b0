// Exported functions of the configuration store itself.
#include "brellox/brellox.h"
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
