// The library's application object: works out where the configuration file
// lives when the module is attached, and writes the default file if none is
// there.
#ifndef BRELLOX_STORE_BRELLOX_APP_H_
#define BRELLOX_STORE_BRELLOX_APP_H_

#include <string>

#include "platform/app_framework.h"
#include "platform/env.h"

namespace brellox {

// Joins `module_directory` and "Svr_Config.CFG" into `cfg_path` (kMaxPath
// bytes). A path that does not fit with its NUL leaves `cfg_path` empty and
// writes nothing. Otherwise, when no directory entry of that name exists,
// writes the default file; an existing entry (even a directory) is left
// alone and never read.
void LocateConfigFile(Env* env, const std::string& module_directory,
                      char* cfg_path);

}  // namespace brellox

class CBrelloxApp : public CWinApp {
 public:
  CBrelloxApp() = default;
  ~CBrelloxApp() override = default;

  // Sets g_szCfgFile from the module's own location (LocateConfigFile).
  // Always TRUE: a missing or unwritable file fails the calls, not the load.
  BOOL InitInstance() override;
  // Writes nothing.
  int ExitInstance() override;
};

#endif  // BRELLOX_STORE_BRELLOX_APP_H_
