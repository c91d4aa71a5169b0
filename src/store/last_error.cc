#include "src/store/last_error.h"

#include <cstring>

#include "src/store/result.h"

namespace brellox {
namespace {

// Plain bytes, so that a thread's copy needs no destructor: a DLL may be
// unloaded before its threads end.
struct LastError {
  brellox_result result;
  char message[kLastErrorMessageSize];
};

thread_local LastError t_last_error{BRELLOX_OK, {}};

void CopyCut(char* destination, std::size_t size, const char* text,
             std::size_t length) {
  const std::size_t n = length < size - 1 ? length : size - 1;
  std::memcpy(destination, text, n);
  destination[n] = '\0';
}

}  // namespace

void SetLastError(Status::Code code, const char* message) noexcept {
  LastError& last = t_last_error;
  last.result = ResultOf(code);
  CopyCut(last.message, sizeof(last.message), message, std::strlen(message));
}

void SetLastError(const Status& s) noexcept {
  SetLastError(s.code(), s.message().c_str());
}

bool Reported(const Status& s) noexcept {
  if (!s.ok()) SetLastError(s);
  return s.ok();
}

brellox_result CopyLastError(char* message, std::size_t size) noexcept {
  const LastError& last = t_last_error;
  if (message != nullptr && size > 0) {
    CopyCut(message, size, last.message, std::strlen(last.message));
  }
  return last.result;
}

}  // namespace brellox
