// What every function of the C interface (brellox/brellox_c.h) shares: the
// store its path names, running one call with no exception escaping, and
// the checks and copies of caller-owned buffers.
//
// Each C function is a thin layer over the Status forms of its family: it
// judges its arguments before the file is opened, runs the Status form in
// one session (InSession), writes its out-values only on success, and
// records the outcome as the thread's last error.
#ifndef BRELLOX_C_API_C_CALL_H_
#define BRELLOX_C_API_C_CALL_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "brellox/brellox_c.h"
#include "src/store/in_session.h"
#include "src/store/last_error.h"
#include "src/store/result.h"
#include "src/store/store.h"
#include "src/store/table.h"

namespace brellox {

// The store at `path`, or the library's own file (DefaultStore) for NULL.
Store StoreAt(const char* path);

// Runs `body`, which returns the call's Status, records it as the calling
// thread's last error and returns its result. Its locks share one busy
// deadline (CallDeadline). An exception becomes BRELLOX_NO_MEMORY
// (std::bad_alloc) or BRELLOX_IO_ERROR.
template <class Body>
brellox_result CCall(Body&& body) noexcept {
  try {
    const CallDeadline call;
    const Status s = body();
    SetLastError(s);
    return ResultOf(s);
  } catch (const std::bad_alloc&) {
    SetLastError(Status::Code::kNoMemory, "out of memory");
    return BRELLOX_NO_MEMORY;
  } catch (...) {
    SetLastError(Status::Code::kIOError, "unexpected failure");
    return BRELLOX_IO_ERROR;
  }
}

// InvalidArgument "no WHAT" for a NULL pointer.
Status Required(const void* pointer, const char* what);

// InvalidArgument unless `id` > 0: "WHAT N is not above 0".
Status PositiveId(std::int32_t id, const char* what);

// InvalidArgument unless (`array`, `capacity`, `count`) can take a list:
// `count` not NULL, `capacity` >= 0, `array` not NULL unless `capacity` is 0.
Status CheckListArguments(const void* array, std::int32_t capacity,
                          const std::int32_t* count);

// InvalidArgument unless `buffer` is not NULL and `size` > 0.
Status CheckTextBuffer(const char* buffer, std::int32_t size);

// Copies the text of `field` (up to its NUL or `width` bytes) with a NUL
// into `buffer` of `size` bytes. InvalidArgument, with `buffer` set to "",
// when it does not fit: "a buffer of N bytes cannot hold the WHAT of M
// bytes and its NUL".
Status CopyText(const char* field, std::size_t width, char* buffer,
                std::int32_t size, const char* what);

// The first min(capacity, `n`) records of `records` into `array`, each
// `record_size` bytes; `*count` = `n`.
void CopyList(const void* records, std::int32_t n, std::size_t record_size,
              void* array, std::int32_t capacity, std::int32_t* count);

// The IDs of the records of `image`, listed as CopyList lists.
void CopyIds(const TableImage& image, std::int32_t* ids, std::int32_t capacity,
             std::int32_t* count);

}  // namespace brellox

#endif  // BRELLOX_C_API_C_CALL_H_
