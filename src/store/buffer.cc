#include "src/store/buffer.h"

#include <atomic>
#include <cstring>
#include <new>
#include <utility>

namespace brellox {
namespace {

std::atomic<int> g_allocations_until_failure{0};

// A few released blocks per thread, up to a bound, reused largest-fit-first.
// Not on Windows: a thread-local object with a destructor in a DLL that may
// be unloaded before its threads end would be destroyed by code no longer
// there; the process heap's low-fragmentation allocator keeps freed blocks
// anyway.
#ifndef _WIN32
class BlockCache {
 public:
  static constexpr int kSlots = 4;
  static constexpr std::size_t kMaxKept = std::size_t{64} << 20;

  // A block of at least `size` bytes, or null.
  std::unique_ptr<char[]> Take(std::size_t size, std::size_t* capacity) {
    int best = -1;
    for (int i = 0; i < kSlots; ++i) {
      if (blocks_[i] && capacities_[i] >= size &&
          (best < 0 || capacities_[i] < capacities_[best])) {
        best = i;
      }
    }
    if (best < 0) return nullptr;
    *capacity = capacities_[best];
    kept_ -= capacities_[best];
    return std::move(blocks_[best]);
  }

  // Keeps `block` if there is room, replacing the smallest block kept.
  void Give(std::unique_ptr<char[]> block, std::size_t capacity) {
    if (capacity > kMaxKept) return;
    int slot = 0;
    for (int i = 0; i < kSlots; ++i) {
      if (!blocks_[i]) {
        slot = i;
        break;
      }
      if (capacities_[i] < capacities_[slot]) slot = i;
    }
    if (blocks_[slot] && capacities_[slot] >= capacity) return;
    if (kept_ - (blocks_[slot] ? capacities_[slot] : 0) + capacity > kMaxKept) {
      return;
    }
    if (blocks_[slot]) kept_ -= capacities_[slot];
    blocks_[slot] = std::move(block);
    capacities_[slot] = capacity;
    kept_ += capacity;
  }

 private:
  std::unique_ptr<char[]> blocks_[kSlots];
  std::size_t capacities_[kSlots] = {};
  std::size_t kept_ = 0;
};

thread_local BlockCache t_cache;
#endif

}  // namespace

void FailNthAllocationForTesting(int nth) { g_allocations_until_failure = nth; }

Buffer& Buffer::operator=(Buffer&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::move(other.data_);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

void Buffer::Release() {
#ifndef _WIN32
  if (data_) t_cache.Give(std::move(data_), capacity_);
#endif
  data_.reset();
  size_ = capacity_ = 0;
}

Status Buffer::AllocateUninitialized(std::size_t size, Buffer* buffer) {
  if (g_allocations_until_failure.load() > 0 &&
      --g_allocations_until_failure == 0) {
    return Status::NoMemory("out of memory (injected)");
  }
  // One extra byte keeps data() non-null for empty buffers.
  std::size_t capacity = size + 1;
  std::unique_ptr<char[]> data;
#ifndef _WIN32
  data = t_cache.Take(capacity, &capacity);
#endif
  if (!data) {
    data.reset(new (std::nothrow) char[capacity]);
    if (!data) return Status::NoMemory("out of memory");
  }
  buffer->Release();
  buffer->data_ = std::move(data);
  buffer->size_ = size;
  buffer->capacity_ = capacity;
  return Status::OK();
}

Status Buffer::Allocate(std::size_t size, Buffer* buffer) {
  Buffer fresh;
  Status s = AllocateUninitialized(size, &fresh);
  if (!s.ok()) return s;
  std::memset(fresh.data(), 0, size + 1);
  *buffer = std::move(fresh);
  return Status::OK();
}

}  // namespace brellox
