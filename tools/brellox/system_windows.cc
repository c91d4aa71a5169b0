#include <windows.h>
#include <sddl.h>
#include <shellapi.h>

#include <cstdlib>

#include "platform/utf16.h"
#include "tools/brellox/system.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

// argv holds the arguments in the ANSI code page, which cannot hold every
// name; the wide command line can.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  SetConsoleOutputCP(CP_UTF8);
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> args(
      static_cast<std::size_t>(count > 1 ? count - 1 : 0));
  bool converted = true;
  for (int i = 1; i < count && converted; ++i) {
    converted = Utf16ToUtf8(wide[i], &args[static_cast<std::size_t>(i - 1)]);
  }
  LocalFree(wide);
  if (!converted) UsageError("an argument is not valid Unicode");
  return args;
}

std::string CallerIdentity() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  std::string identity;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<char> buffer(size);
  wchar_t* text = nullptr;
  if (size != 0 &&
      GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
      ConvertSidToStringSidW(
          reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
    if (!Utf16ToUtf8(text, &identity)) identity.clear();
    LocalFree(text);
  }
  CloseHandle(token);
  return identity;
}

bool EnvironmentVariable(const std::string& name, std::string* value) {
  std::wstring wide_name;
  if (!Utf8ToUtf16(name, &wide_name)) return false;
  const wchar_t* found = _wgetenv(wide_name.c_str());
  return found != nullptr && Utf16ToUtf8(found, value);
}

namespace {

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
