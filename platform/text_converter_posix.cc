#include <iconv.h>

#include <cerrno>

#include "platform/text_converter.h"

namespace brellox {

namespace {

class IconvConverter final : public TextConverter {
 public:
  explicit IconvConverter(iconv_t cd) : cd_(cd) {}
  ~IconvConverter() override { iconv_close(cd_); }

  bool Convert(const std::string& input, std::string* output) override {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // fresh shift state
    output->clear();
    std::string in = input;  // iconv wants a mutable input pointer
    char* in_ptr = in.empty() ? nullptr : &in[0];
    size_t in_left = in.size();
    char chunk[256];
    while (in_left > 0) {
      char* out_ptr = chunk;
      size_t out_left = sizeof(chunk);
      size_t done = iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left);
      output->append(chunk, sizeof(chunk) - out_left);
      // E2BIG only means the chunk is full; anything else is bad input.
      if (done == static_cast<size_t>(-1) && errno != E2BIG) return false;
      // glibc counts characters it could only approximate; those would not
      // convert back to the same bytes.
      if (done != static_cast<size_t>(-1) && done > 0) return false;
    }
    char* out_ptr = chunk;
    size_t out_left = sizeof(chunk);
    if (iconv(cd_, nullptr, nullptr, &out_ptr, &out_left) ==
        static_cast<size_t>(-1)) {
      return false;
    }
    output->append(chunk, sizeof(chunk) - out_left);
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::unique_ptr<TextConverter> TextConverter::Open(const std::string& from,
                                                   const std::string& to) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return std::make_unique<IconvConverter>(cd);
}

}  // namespace brellox
