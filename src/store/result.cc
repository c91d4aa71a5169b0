#include "src/store/result.h"

namespace brellox {

brellox_result ResultOf(Status::Code code) {
  switch (code) {
    case Status::Code::kOk:
      return BRELLOX_OK;
    case Status::Code::kInvalidArgument:
      return BRELLOX_INVALID_ARGUMENT;
    case Status::Code::kNotFound:
      return BRELLOX_NOT_FOUND;
    case Status::Code::kAlreadyExists:
      return BRELLOX_ALREADY_EXISTS;
    case Status::Code::kRefused:
      return BRELLOX_REFUSED;
    case Status::Code::kBusy:
      return BRELLOX_BUSY;
    case Status::Code::kFileMissing:
      return BRELLOX_FILE_MISSING;
    case Status::Code::kPermissionDenied:
      return BRELLOX_PERMISSION_DENIED;
    case Status::Code::kCorrupt:
      return BRELLOX_DAMAGED;
    case Status::Code::kIOError:
      return BRELLOX_IO_ERROR;
    case Status::Code::kNoMemory:
      return BRELLOX_NO_MEMORY;
  }
  return BRELLOX_IO_ERROR;
}

const char* ResultName(brellox_result result) {
  switch (result) {
    case BRELLOX_OK:
      return "ok";
    case BRELLOX_INVALID_ARGUMENT:
      return "invalid argument";
    case BRELLOX_NOT_FOUND:
      return "not found";
    case BRELLOX_ALREADY_EXISTS:
      return "already exists";
    case BRELLOX_REFUSED:
      return "refused";
    case BRELLOX_BUSY:
      return "busy";
    case BRELLOX_FILE_MISSING:
      return "file missing";
    case BRELLOX_PERMISSION_DENIED:
      return "permission denied";
    case BRELLOX_DAMAGED:
      return "damaged";
    case BRELLOX_IO_ERROR:
      return "I/O error";
    case BRELLOX_NO_MEMORY:
      return "out of memory";
  }
  return "unknown result";
}

}  // namespace brellox
