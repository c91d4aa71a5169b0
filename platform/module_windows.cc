#include <windows.h>
#include <stdlib.h>

#include "platform/module.h"

namespace brellox {

bool GetModuleDirectory(std::string* directory) {
  directory->clear();
  HMODULE module = nullptr;
  // Any address inside this module names it; this function's own will do.
  // The module is in use while its code runs, so no reference is taken.
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(&GetModuleDirectory),
                          &module)) {
    return false;
  }
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  // A name that fills the buffer was cut short and names another place.
  if (length == 0 || length >= MAX_PATH) return false;
  char drive[_MAX_DRIVE];
  char folder[_MAX_DIR];
  _splitpath(path, drive, folder, nullptr, nullptr);
  directory->assign(drive);
  directory->append(folder);
  return !directory->empty();
}

}  // namespace brellox
