#include <windows.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "brellox/brellox.h"
#include "src/store/format.h"
#include "tools/brellox/system.h"

namespace brellox {
namespace tool {
namespace {

std::string ToUtf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(),
                                         static_cast<int>(wide.size()), nullptr,
                                         0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                      &utf8[0], length, nullptr, nullptr);
  return utf8;
}

}  // namespace

std::string LibraryConfigPath() {
  // The tool does not contain the exported functions itself, so the address
  // of one lies inside the loaded DLL and names its file.
  SVR_LONG (*exported)(char*, short) = &Svr_GetTempDir;
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(exported), &module)) {
    return std::string();
  }
  // Paths are UTF-8 inside the tool, as the file layer takes them.
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  const std::string directory = ToUtf8(std::wstring(path, length));
  const std::string::size_type slash = directory.find_last_of("\\/");
  if (slash == std::string::npos) return std::string();
  return directory.substr(0, slash + 1) + kConfigFileName;
}

// argv holds the arguments in the ANSI code page, which cannot hold every
// name; the wide command line can.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  SetConsoleOutputCP(CP_UTF8);
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(ToUtf8(wide[i]));
  LocalFree(wide);
  return args;
}

bool StdinIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

namespace {

// Restores the console mode when leaving scope, also on an exception.
class EchoOff {
 public:
  EchoOff() : input_(GetStdHandle(STD_INPUT_HANDLE)) {
    if (!GetConsoleMode(input_, &saved_)) return;
    active_ = SetConsoleMode(
                  input_, saved_ & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
  }
  ~EchoOff() {
    if (active_) SetConsoleMode(input_, saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;
  bool active() const { return active_; }

 private:
  HANDLE input_;
  DWORD saved_ = 0;
  bool active_ = false;
};

// Code pages by the names the tool accepts: GBK, UTF-8, or CPnnn.
UINT CodePage(const std::string& name) {
  if (name == "GBK" || name == "gbk") return 936;
  if (name == "UTF-8" || name == "utf-8" || name == "UTF8") return CP_UTF8;
  if ((name.size() > 2) && (name[0] == 'C' || name[0] == 'c') &&
      (name[1] == 'P' || name[1] == 'p')) {
    return static_cast<UINT>(std::strtoul(name.c_str() + 2, nullptr, 10));
  }
  return 0;
}

class CodePageConverter final : public TextConverter {
 public:
  CodePageConverter(UINT from, UINT to) : from_(from), to_(to) {}

  bool Convert(const std::string& input, std::string* output) override {
    output->clear();
    if (input.empty()) return true;
    const int in_length = static_cast<int>(input.size());
    const int wide_length = MultiByteToWideChar(
        from_, MB_ERR_INVALID_CHARS, input.data(), in_length, nullptr, 0);
    if (wide_length == 0) return false;
    std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
    MultiByteToWideChar(from_, MB_ERR_INVALID_CHARS, input.data(), in_length,
                        &wide[0], wide_length);
    // A character without an equivalent must fail, not become '?'.
    BOOL used_default = FALSE;
    const bool utf8 = to_ == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL* used = utf8 ? nullptr : &used_default;
    const int out_length = WideCharToMultiByte(
        to_, flags, wide.data(), wide_length, nullptr, 0, nullptr, used);
    if (out_length == 0 || used_default) return false;
    output->assign(static_cast<std::size_t>(out_length), '\0');
    WideCharToMultiByte(to_, flags, wide.data(), wide_length, &(*output)[0],
                        out_length, nullptr, used);
    return !used_default;
  }

 private:
  UINT from_;
  UINT to_;
};

}  // namespace

bool ReadPasswordNoEcho(const std::string& prompt, std::string* password) {
  std::cerr << prompt << std::flush;
  std::string line;
  bool got;
  {
    EchoOff echo_off;
    if (!echo_off.active()) return false;
    got = static_cast<bool>(std::getline(std::cin, line));
  }
  std::cerr << '\n';
  if (!got) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  *password = line;
  return true;
}

std::unique_ptr<TextConverter> TextConverter::Open(const std::string& from,
                                                   const std::string& to) {
  const UINT from_page = CodePage(from);
  const UINT to_page = CodePage(to);
  if (from_page == 0 || to_page == 0 || !IsValidCodePage(from_page) ||
      !IsValidCodePage(to_page)) {
    return nullptr;
  }
  return std::make_unique<CodePageConverter>(from_page, to_page);
}

}  // namespace tool
}  // namespace brellox
