#include <cstdlib>
#include <cstring>

#include "brellox/smart_array.h"

CSmartFile::CSmartFile(char kind, unsigned int growBy, SVR_LONG initialLength,
                       unsigned int reserve)
    : data_(nullptr),
      length_(0),
      capacity_(0),
      position_(0),
      growBy_(growBy == 0 ? 1 : growBy) {
  if (kind != 1) return;  // only in-memory streams exist; others stay empty
  std::size_t initial =
      initialLength > 0 ? static_cast<std::size_t>(initialLength) : 0;
  if (Reserve(initial > reserve ? initial : reserve)) length_ = initial;
}

CSmartFile::~CSmartFile() { std::free(data_); }

void* CSmartFile::operator new(std::size_t size) noexcept {
  return std::malloc(size);
}

void CSmartFile::operator delete(void* object) noexcept { std::free(object); }

bool CSmartFile::Reserve(std::size_t length) {
  if (length <= capacity_) return true;
  // Grow geometrically, in whole steps of growBy_, so appending one element
  // at a time stays linear overall.
  std::size_t wanted = capacity_ * 2 > length ? capacity_ * 2 : length;
  wanted = (wanted + growBy_ - 1) / growBy_ * growBy_;
  void* grown = std::realloc(data_, wanted);
  if (grown == nullptr) return false;
  data_ = static_cast<unsigned char*>(grown);
  std::memset(data_ + capacity_, 0, wanted - capacity_);
  capacity_ = wanted;
  return true;
}

SVR_LONG CSmartFile::Seek(SVR_LONG offset, unsigned int from) {
  long long base;
  switch (from) {
    case 0:
      base = 0;
      break;
    case 1:
      base = static_cast<long long>(position_);
      break;
    case 2:
      base = static_cast<long long>(length_);
      break;
    default:
      return -1;
  }
  long long target = base + offset;
  if (target < 0 || target > 0x7fffffffLL) return -1;
  position_ = static_cast<std::size_t>(target);
  return static_cast<SVR_LONG>(target);
}

void CSmartFile::Write(const void* data, unsigned int size) {
  std::size_t end = position_ + size;
  if (!Reserve(end)) return;
  // Bytes between the old end and the position were zeroed by Reserve or
  // by an earlier truncation, so a gap reads as zeros.
  std::memcpy(data_ + position_, data, size);
  position_ = end;
  if (end > length_) length_ = end;
}

void* CSmartFile::ReadMemPtr(unsigned int size) {
  if (position_ > length_ || length_ - position_ < size) return nullptr;
  void* at = data_ + position_;
  position_ += size;
  return at;
}

void CSmartFile::SetLength(SVR_ULONG length) {
  if (!Reserve(length)) return;
  if (length < length_) {
    // Keep the bytes past the end zero, which Write relies on for gaps.
    std::memset(data_ + length, 0, length_ - length);
  }
  length_ = length;
}
