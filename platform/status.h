// Status: the outcome of an internal operation. Exported functions turn it
// into the numeric results of the interface; src/store/result.h maps each
// kind to the stable result code that callers see.
#ifndef BRELLOX_PLATFORM_STATUS_H_
#define BRELLOX_PLATFORM_STATUS_H_

#include <string>
#include <utility>

namespace brellox {

class Status {
 public:
  enum class Code : unsigned char {
    kOk,
    kNotFound,  // the record or group asked for is not there
    kRefused,   // a rule forbids the request (none of the kinds below)
    kCorrupt,   // the file does not describe a consistent layout
    kIOError,   // the system failed a read, write or other file operation
    kBusy,      // another call held the file's lock for the whole busy timeout
    kAlreadyExists,     // a name (of a file or a record) is already taken
    kInvalidArgument,   // an argument can never be accepted, whatever the file
    kPermissionDenied,  // the system does not let this process do it
    kFileMissing,       // a file or folder named is not there
    kNoMemory,          // memory for the work could not be had
  };

  Status() = default;

  static Status OK() { return Status(); }
  static Status NotFound(std::string message) {
    return Status(Code::kNotFound, std::move(message));
  }
  static Status Refused(std::string message) {
    return Status(Code::kRefused, std::move(message));
  }
  static Status Corrupt(std::string message) {
    return Status(Code::kCorrupt, std::move(message));
  }
  static Status IOError(std::string message) {
    return Status(Code::kIOError, std::move(message));
  }
  static Status Busy(std::string message) {
    return Status(Code::kBusy, std::move(message));
  }
  static Status AlreadyExists(std::string message) {
    return Status(Code::kAlreadyExists, std::move(message));
  }
  static Status InvalidArgument(std::string message) {
    return Status(Code::kInvalidArgument, std::move(message));
  }
  static Status PermissionDenied(std::string message) {
    return Status(Code::kPermissionDenied, std::move(message));
  }
  static Status FileMissing(std::string message) {
    return Status(Code::kFileMissing, std::move(message));
  }
  static Status NoMemory(std::string message) {
    return Status(Code::kNoMemory, std::move(message));
  }

  bool ok() const { return code_ == Code::kOk; }
  bool IsNotFound() const { return code_ == Code::kNotFound; }
  bool IsRefused() const { return code_ == Code::kRefused; }
  bool IsCorrupt() const { return code_ == Code::kCorrupt; }
  bool IsIOError() const { return code_ == Code::kIOError; }
  bool IsBusy() const { return code_ == Code::kBusy; }
  bool IsAlreadyExists() const { return code_ == Code::kAlreadyExists; }
  bool IsInvalidArgument() const { return code_ == Code::kInvalidArgument; }
  bool IsPermissionDenied() const { return code_ == Code::kPermissionDenied; }
  bool IsFileMissing() const { return code_ == Code::kFileMissing; }
  bool IsNoMemory() const { return code_ == Code::kNoMemory; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }

  // "OK", or the kind of failure followed by its message.
  std::string ToString() const;

 private:
  Status(Code code, std::string message)
      : code_(code), message_(std::move(message)) {}

  Code code_ = Code::kOk;
  std::string message_;
};

}  // namespace brellox

#endif  // BRELLOX_PLATFORM_STATUS_H_
