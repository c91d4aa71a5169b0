// Buffer: a working copy of part of the file, owned by one call.
//
// Its memory comes from, and goes back to, a small cache kept per thread,
// so that a call does not hand large blocks back to the system only to
// fault them in again on the next call.
#ifndef BRELLOX_STORE_BUFFER_H_
#define BRELLOX_STORE_BUFFER_H_

#include <cstddef>
#include <memory>

#include "platform/status.h"

namespace brellox {

class Buffer {
 public:
  Buffer() = default;
  Buffer(Buffer&& other) noexcept { *this = std::move(other); }
  Buffer& operator=(Buffer&& other) noexcept;
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  ~Buffer() { Release(); }

  // Replaces `*buffer` with `size` zero bytes. On failure (NoMemory)
  // `*buffer` is left as it was.
  static Status Allocate(std::size_t size, Buffer* buffer);

  // As Allocate, but the bytes are left as they come: for a buffer that a
  // read is about to fill whole.
  static Status AllocateUninitialized(std::size_t size, Buffer* buffer);

  char* data() { return data_.get(); }
  const char* data() const { return data_.get(); }
  std::size_t size() const { return size_; }

 private:
  void Release();

  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Makes the `nth` Buffer::Allocate from now on fail (1 = the next one);
// 0 turns this off. Lets tests reach every out-of-memory path.
void FailNthAllocationForTesting(int nth);

}  // namespace brellox

#endif  // BRELLOX_STORE_BUFFER_H_
