// Store: which configuration file a call works on, and through which Env.
#ifndef BRELLOX_STORE_STORE_H_
#define BRELLOX_STORE_STORE_H_

#include <new>
#include <string>

#include "brellox/export.h"
#include "platform/env.h"
#include "src/store/file_lock.h"
#include "src/store/last_error.h"

namespace brellox {

struct Store {
  Env* env;
  std::string path;
};

// Full path of the library's own "Svr_Config.CFG", set once when the module
// is attached. Empty when the path could not be worked out, so that every
// call then fails to open it.
constexpr int kMaxPath = 260;
extern char g_szCfgFile[kMaxPath];

// The store of the exported functions: g_szCfgFile through the system Env.
Store DefaultStore();

// Runs an exported function's `body` and returns its result; returns
// `failure` instead if anything inside throws, so no exception ever leaves
// the library. The thread's last error is cleared first, so that it tells
// only the failure that `body` reports (or the exception). Its locks share
// one busy deadline (CallDeadline).
template <class Body>
SVR_LONG Guarded(SVR_LONG failure, Body&& body) noexcept {
  ClearLastError();
  try {
    const CallDeadline call;
    return body();
  } catch (const std::bad_alloc&) {
    SetLastError(Status::Code::kNoMemory, "out of memory");
  } catch (...) {
    SetLastError(Status::Code::kIOError, "unexpected failure");
  }
  return failure;
}

}  // namespace brellox

#endif  // BRELLOX_STORE_STORE_H_
