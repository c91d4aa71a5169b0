#include <windows.h>

#include <string>

#include "platform/module.h"
#include "platform/utf16.h"

namespace brellox {

bool GetModuleDirectory(const void* address, std::string* directory) {
  directory->clear();
  HMODULE module = nullptr;
  // The module is in use while code or data of it is, so no reference is
  // taken.
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(address), &module)) {
    return false;
  }
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  // A name that fills the buffer was cut short and names another place.
  if (length == 0 || length >= MAX_PATH) return false;
  std::string utf8;
  if (!Utf16ToUtf8(std::wstring(path, length), &utf8)) return false;
  const std::string::size_type separator = utf8.find_last_of("\\/");
  if (separator == std::string::npos) return false;
  directory->assign(utf8, 0, separator + 1);
  return true;
}

}  // namespace brellox
