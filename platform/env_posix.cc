#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>

#include "platform/env.h"

namespace brellox {
namespace {

Status PosixError(const std::string& context, int error_number) {
  std::string message = context + ": " + strerror(error_number);
  if (error_number == ENOENT) return Status::NotFound(std::move(message));
  return Status::IOError(std::move(message));
}

// Offsets beyond off_t's range cannot name a byte of any file we open.
bool ToOffset(std::uint64_t offset, off_t* result) {
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
    return false;
  }
  *result = static_cast<off_t>(offset);
  return true;
}

class PosixFile final : public RandomRWFile {
 public:
  PosixFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~PosixFile() override { close(fd_); }

  Status Read(std::uint64_t offset, std::size_t n, void* dst) override {
    off_t position;
    if (!ToOffset(offset, &position)) return Status::IOError(path_ + ": offset");
    char* out = static_cast<char*>(dst);
    while (n > 0) {
      ssize_t got = pread(fd_, out, n, position);
      if (got < 0) {
        if (errno == EINTR) continue;
        return PosixError(path_, errno);
      }
      if (got == 0) return Status::IOError(path_ + ": unexpected end of file");
      out += got;
      position += got;
      n -= static_cast<std::size_t>(got);
    }
    return Status::OK();
  }

  Status Write(std::uint64_t offset, const void* src, std::size_t n) override {
    off_t position;
    if (!ToOffset(offset, &position)) return Status::IOError(path_ + ": offset");
    const char* in = static_cast<const char*>(src);
    while (n > 0) {
      ssize_t put = pwrite(fd_, in, n, position);
      if (put < 0) {
        if (errno == EINTR) continue;
        return PosixError(path_, errno);
      }
      in += put;
      position += put;
      n -= static_cast<std::size_t>(put);
    }
    return Status::OK();
  }

  Status Size(std::uint64_t* size) override {
    struct stat st;
    if (fstat(fd_, &st) != 0) return PosixError(path_, errno);
    *size = static_cast<std::uint64_t>(st.st_size);
    return Status::OK();
  }

  Status Sync() override {
    if (fsync(fd_) != 0) return PosixError(path_, errno);
    return Status::OK();
  }

 private:
  const std::string path_;
  const int fd_;
};

class PosixEnv final : public Env {
 public:
  Status OpenExisting(const std::string& path,
                      std::unique_ptr<RandomRWFile>* result) override {
    return Open(path, O_RDWR, result);
  }

  Status CreateReplacing(const std::string& path,
                         std::unique_ptr<RandomRWFile>* result) override {
    return Open(path, O_RDWR | O_CREAT | O_TRUNC, result);
  }

  Status RenameReplacing(const std::string& from,
                         const std::string& to) override {
    if (rename(from.c_str(), to.c_str()) != 0) return PosixError(from, errno);
    return Status::OK();
  }

  Status RemoveFile(const std::string& path) override {
    if (unlink(path.c_str()) != 0) return PosixError(path, errno);
    return Status::OK();
  }

  bool EntryExists(const std::string& path) override {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
  }

 private:
  static Status Open(const std::string& path, int flags,
                     std::unique_ptr<RandomRWFile>* result) {
    result->reset();
    int fd;
    do {
      fd = open(path.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return PosixError(path, errno);
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      return Status::IOError(path + ": not a regular file");
    }
    result->reset(new PosixFile(path, fd));
    return Status::OK();
  }
};

}  // namespace

Env* Env::Default() {
  // Stateless, so destroying it at unload is harmless; a heap copy would
  // leak with every unloaded copy of the library.
  static PosixEnv env;
  return &env;
}

}  // namespace brellox
