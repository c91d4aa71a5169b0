#include <windows.h>

#include <cstdlib>

#include "platform/text_converter.h"

namespace brellox {

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

}  // namespace brellox
