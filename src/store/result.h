// The one mapping from a Status to the stable result codes callers see:
// the C interface's results, the Python package's exceptions and the
// reason codes of Svr_GetLastError all come from ResultOf.
#ifndef BRELLOX_STORE_RESULT_H_
#define BRELLOX_STORE_RESULT_H_

#include "brellox/brellox_c.h"
#include "platform/status.h"

namespace brellox {

// BRELLOX_OK for OK; otherwise the result of the status's kind. A corrupt
// file is BRELLOX_DAMAGED.
brellox_result ResultOf(Status::Code code);
inline brellox_result ResultOf(const Status& s) { return ResultOf(s.code()); }

// A short English name of `result` ("already exists"); "unknown result"
// for a number no result has.
const char* ResultName(brellox_result result);

}  // namespace brellox

#endif  // BRELLOX_STORE_RESULT_H_
