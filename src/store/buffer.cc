#include "src/store/buffer.h"

#include <atomic>
#include <cstring>
#include <new>

namespace brellox {
namespace {
std::atomic<int> g_allocations_until_failure{0};
}  // namespace

void FailNthAllocationForTesting(int nth) { g_allocations_until_failure = nth; }

Status Buffer::Allocate(std::size_t size, Buffer* buffer) {
  if (g_allocations_until_failure.load() > 0 &&
      --g_allocations_until_failure == 0) {
    return Status::IOError("out of memory (injected)");
  }
  // One extra byte keeps data() non-null for empty buffers.
  char* data = new (std::nothrow) char[size + 1];
  if (data == nullptr) return Status::IOError("out of memory");
  std::memset(data, 0, size + 1);
  buffer->data_.reset(data);
  buffer->size_ = size;
  return Status::OK();
}

}  // namespace brellox
