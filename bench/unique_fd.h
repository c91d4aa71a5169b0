// UniqueFd: a POSIX file descriptor closed when it goes out of scope.
#ifndef BRELLOX_BENCH_UNIQUE_FD_H_
#define BRELLOX_BENCH_UNIQUE_FD_H_

#include <unistd.h>

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

}  // namespace bench
}  // namespace brellox

#endif  // BRELLOX_BENCH_UNIQUE_FD_H_
