// The reason of each thread's last failed exported call, for
// Svr_GetLastError and brellox_last_error.
//
// Every exported function (a Svr_ function through Guarded, a brellox_
// function through its C call) clears it when it starts and records its
// failure before it returns, so that it always describes the thread's last
// call. Nothing here allocates or throws.
#ifndef BRELLOX_STORE_LAST_ERROR_H_
#define BRELLOX_STORE_LAST_ERROR_H_

#include <cstddef>

#include "brellox/brellox_c.h"
#include "platform/status.h"

namespace brellox {

// Records `s` as the calling thread's last outcome: a failure's result and
// message (cut to kLastErrorMessageSize - 1 bytes), or none for OK.
void SetLastError(const Status& s) noexcept;
void SetLastError(Status::Code code, const char* message) noexcept;
inline void ClearLastError() noexcept { SetLastError(Status::OK()); }

// For the SVR_LONG forms: records `s` when it is a failure (leaving what is
// recorded otherwise) and returns s.ok().
bool Reported(const Status& s) noexcept;

// The recorded result, and its message copied NUL-terminated and cut to
// `size` bytes into `message` (when not NULL and `size` > 0).
brellox_result CopyLastError(char* message, std::size_t size) noexcept;

// The longest message kept, with its NUL.
constexpr std::size_t kLastErrorMessageSize = 1024;

}  // namespace brellox

#endif  // BRELLOX_STORE_LAST_ERROR_H_
