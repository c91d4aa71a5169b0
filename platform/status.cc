#include "platform/status.h"

namespace brellox {

std::string Status::ToString() const {
  const char* kind = "OK";
  switch (code_) {
    case Code::kOk:
      return kind;
    case Code::kNotFound:
      kind = "Not found: ";
      break;
    case Code::kRefused:
      kind = "Refused: ";
      break;
    case Code::kCorrupt:
      kind = "Corrupt: ";
      break;
    case Code::kIOError:
      kind = "I/O error: ";
      break;
    case Code::kBusy:
      kind = "Busy: ";
      break;
    case Code::kAlreadyExists:
      kind = "Already exists: ";
      break;
    case Code::kInvalidArgument:
      kind = "Invalid argument: ";
      break;
    case Code::kPermissionDenied:
      kind = "Permission denied: ";
      break;
    case Code::kFileMissing:
      kind = "File missing: ";
      break;
    case Code::kNoMemory:
      kind = "Out of memory: ";
      break;
  }
  return kind + message_;
}

}  // namespace brellox
