#include "src/c_api/c_call.h"

#include <string>

#include "src/store/text.h"

namespace brellox {

Store StoreAt(const char* path) {
  if (path == nullptr) return DefaultStore();
  return Store{Env::Default(), path};
}

Status Required(const void* pointer, const char* what) {
  if (pointer != nullptr) return Status::OK();
  return Status::InvalidArgument(std::string("no ") + what);
}

Status PositiveId(std::int32_t id, const char* what) {
  if (id > 0) return Status::OK();
  return Status::InvalidArgument(std::string(what) + " " + std::to_string(id) +
                                 " is not above 0");
}

Status CheckListArguments(const void* array, std::int32_t capacity,
                          const std::int32_t* count) {
  if (count == nullptr) return Status::InvalidArgument("no count");
  if (capacity < 0) {
    return Status::InvalidArgument("capacity " + std::to_string(capacity) +
                                   " is below 0");
  }
  if (array == nullptr && capacity > 0) {
    return Status::InvalidArgument("no array for a capacity above 0");
  }
  return Status::OK();
}

Status CheckTextBuffer(const char* buffer, std::int32_t size) {
  if (buffer == nullptr) return Status::InvalidArgument("no buffer");
  if (size <= 0) {
    return Status::InvalidArgument("buffer size " + std::to_string(size) +
                                   " is not above 0");
  }
  return Status::OK();
}

Status CopyText(const char* field, std::size_t width, char* buffer,
                std::int32_t size, const char* what) {
  const std::size_t length = FieldLength(field, width);
  if (length >= static_cast<std::size_t>(size)) {
    buffer[0] = '\0';
    return Status::InvalidArgument(
        "a buffer of " + std::to_string(size) + " bytes cannot hold the " +
        what + " of " + std::to_string(length) + " bytes and its NUL");
  }
  std::memcpy(buffer, field, length);
  buffer[length] = '\0';
  return Status::OK();
}

void CopyList(const void* records, std::int32_t n, std::size_t record_size,
              void* array, std::int32_t capacity, std::int32_t* count) {
  const std::int32_t copied = n < capacity ? n : capacity;
  if (copied > 0) {
    std::memcpy(array, records, static_cast<std::size_t>(copied) * record_size);
  }
  *count = n;
}

void CopyIds(const TableImage& image, std::int32_t* ids, std::int32_t capacity,
             std::int32_t* count) {
  const std::int32_t copied =
      image.count() < capacity ? image.count() : capacity;
  for (std::int32_t i = 0; i < copied; ++i) ids[i] = image.id(i);
  *count = image.count();
}

}  // namespace brellox
