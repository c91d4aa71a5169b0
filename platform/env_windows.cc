#include <windows.h>

#include <limits>

#include "platform/env.h"

namespace brellox {
namespace {

std::string SystemMessage(DWORD error) {
  char text[512];
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, 0, text, sizeof(text), nullptr);
  // System messages end in ".\r\n"; the line break does not belong in ours.
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == ' ')) {
    --length;
  }
  if (length == 0) return "system error " + std::to_string(error);
  return std::string(text, length);
}

// Every failure of a Win32 file call becomes a Status here, so that a missing
// file reads the same on every system.
Status WindowsError(const std::string& context, DWORD error) {
  std::string message = context + ": " + SystemMessage(error);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    return Status::NotFound(std::move(message));
  }
  return Status::IOError(std::move(message));
}

Status LastError(const std::string& context) {
  return WindowsError(context, GetLastError());
}

// ReadFile and WriteFile move at most a DWORD's worth of bytes per call.
constexpr std::size_t kMaxTransfer = 1u << 30;

class WindowsFile final : public RandomRWFile {
 public:
  WindowsFile(std::string path, HANDLE handle)
      : path_(std::move(path)), handle_(handle) {}
  ~WindowsFile() override { CloseHandle(handle_); }

  Status Read(std::uint64_t offset, std::size_t n, void* dst) override {
    Status s = Seek(offset);
    if (!s.ok()) return s;
    char* out = static_cast<char*>(dst);
    while (n > 0) {
      DWORD got = 0;
      DWORD wanted = static_cast<DWORD>(n < kMaxTransfer ? n : kMaxTransfer);
      if (!ReadFile(handle_, out, wanted, &got, nullptr)) {
        return LastError(path_);
      }
      if (got == 0) return Status::IOError(path_ + ": unexpected end of file");
      out += got;
      n -= got;
    }
    return Status::OK();
  }

  Status Write(std::uint64_t offset, const void* src, std::size_t n) override {
    Status s = Seek(offset);
    if (!s.ok()) return s;
    const char* in = static_cast<const char*>(src);
    while (n > 0) {
      DWORD put = 0;
      DWORD wanted = static_cast<DWORD>(n < kMaxTransfer ? n : kMaxTransfer);
      if (!WriteFile(handle_, in, wanted, &put, nullptr)) {
        return LastError(path_);
      }
      // A disk file never takes zero bytes without an error; looping again
      // would never end.
      if (put == 0) return Status::IOError(path_ + ": nothing written");
      in += put;
      n -= put;
    }
    return Status::OK();
  }

  Status Size(std::uint64_t* size) override {
    LARGE_INTEGER length;
    if (!GetFileSizeEx(handle_, &length)) return LastError(path_);
    *size = static_cast<std::uint64_t>(length.QuadPart);
    return Status::OK();
  }

  Status Sync() override {
    if (!FlushFileBuffers(handle_)) return LastError(path_);
    return Status::OK();
  }

 private:
  Status Seek(std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(
                     std::numeric_limits<LONGLONG>::max())) {
      return Status::IOError(path_ + ": offset");
    }
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(handle_, position, nullptr, FILE_BEGIN)) {
      return LastError(path_);
    }
    return Status::OK();
  }

  const std::string path_;
  const HANDLE handle_;
};

class WindowsEnv final : public Env {
 public:
  Status OpenExisting(const std::string& path,
                      std::unique_ptr<RandomRWFile>* result) override {
    return Open(path, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                result);
  }

  Status CreateReplacing(const std::string& path,
                         std::unique_ptr<RandomRWFile>* result) override {
    return Open(path, 0, CREATE_ALWAYS, result);
  }

  Status RenameReplacing(const std::string& from,
                         const std::string& to) override {
    if (!MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return LastError(from);
    }
    return Status::OK();
  }

  Status RemoveFile(const std::string& path) override {
    if (!DeleteFileA(path.c_str())) return LastError(path);
    return Status::OK();
  }

  bool EntryExists(const std::string& path) override {
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
      return true;
    }
    // Only a definite "no such entry" counts as absent: an entry that cannot
    // be looked at (no rights, in use) must not be replaced.
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
  }

 private:
  static Status Open(const std::string& path, DWORD share, DWORD disposition,
                     std::unique_ptr<RandomRWFile>* result) {
    result->reset();
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                share, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastError(path);
    // Device names ("CON", "NUL", pipes) open too, but hold no file.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
      CloseHandle(handle);
      return Status::IOError(path + ": not a regular file");
    }
    result->reset(new WindowsFile(path, handle));
    return Status::OK();
  }
};

}  // namespace

Env* Env::Default() {
  static WindowsEnv* env = new WindowsEnv;  // never destroyed: used until exit
  return env;
}

}  // namespace brellox
