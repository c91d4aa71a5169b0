#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include "platform/module.h"

namespace brellox {

bool GetModuleDirectory(const void* address, std::string* directory) {
  directory->clear();
  Dl_info info;
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return false;
  char* resolved = realpath(info.dli_fname, nullptr);
  if (resolved == nullptr) return false;
  std::string path(resolved);
  free(resolved);
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return false;
  directory->assign(path, 0, slash + 1);
  return true;
}

}  // namespace brellox
