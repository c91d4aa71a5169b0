#include "src/store/brellox_app.h"

#include <cstring>

#include "platform/module.h"
#include "src/store/default_file.h"
#include "src/store/format.h"
#include "src/store/store.h"

namespace brellox {

void LocateConfigFile(Env* env, const std::string& module_directory,
                      char* cfg_path) {
  cfg_path[0] = '\0';
  const std::string path = module_directory + kConfigFileName;
  // A cut path would name another file; better no file at all.
  if (module_directory.empty() || path.size() >= kMaxPath) return;
  std::memcpy(cfg_path, path.c_str(), path.size() + 1);
  // A failure here surfaces in every later call, which cannot open the file.
  if (!env->EntryExists(path)) CreateDefaultConfigFile(env, path);
}

}  // namespace brellox

BOOL CBrelloxApp::InitInstance() {
  try {
    std::string directory;
    // Any address inside the library names it.
    if (brellox::GetModuleDirectory(
            reinterpret_cast<const void*>(&brellox::LocateConfigFile),
            &directory)) {
      brellox::LocateConfigFile(brellox::Env::Default(), directory,
                                brellox::g_szCfgFile);
    }
  } catch (...) {
    // Out of memory at load: no path, so every call fails to open.
    brellox::g_szCfgFile[0] = '\0';
  }
  return CWinApp::InitInstance();
}

int CBrelloxApp::ExitInstance() { return CWinApp::ExitInstance(); }

CBrelloxApp theApp BRELLOX_APP_OBJECT;
