#include <windows.h>

#include <string>

#include "platform/module.h"

namespace brellox {

bool GetModuleDirectory(std::string* directory) {
  directory->clear();
  HMODULE module = nullptr;
  // Any address inside this module names it; this function's own will do.
  // The module is in use while its code runs, so no reference is taken.
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&GetModuleDirectory),
                          &module)) {
    return false;
  }
  // The wide name holds every folder name; the file layer takes paths in
  // UTF-8, so that is what the directory is given in.
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  // A name that fills the buffer was cut short and names another place.
  if (length == 0 || length >= MAX_PATH) return false;
  const int bytes = WideCharToMultiByte(
      CP_UTF8, 0, path, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), &utf8[0],
                      bytes, nullptr, nullptr);
  const std::string::size_type separator = utf8.find_last_of("\\/");
  if (separator == std::string::npos) return false;
  directory->assign(utf8, 0, separator + 1);
  return true;
}

}  // namespace brellox
