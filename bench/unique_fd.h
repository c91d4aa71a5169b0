// UniqueFd: a POSIX file descriptor closed when it goes out of scope, and
// whole transfers on one.
#ifndef BRELLOX_BENCH_UNIQUE_FD_H_
#define BRELLOX_BENCH_UNIQUE_FD_H_

#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <utility>

namespace brellox {
namespace bench {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// All `n` bytes at `at`, or false.
inline bool PreadAll(int fd, char* out, std::size_t n, off_t at) {
  while (n > 0) {
    const ssize_t got = ::pread(fd, out, n, at);
    if (got <= 0) return false;
    out += got;
    at += got;
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

inline bool PwriteAll(int fd, const char* in, std::size_t n, off_t at) {
  while (n > 0) {
    const ssize_t put = ::pwrite(fd, in, n, at);
    if (put <= 0) return false;
    in += put;
    at += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace bench
}  // namespace brellox

#endif  // BRELLOX_BENCH_UNIQUE_FD_H_
