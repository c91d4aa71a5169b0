#include "bench/bench_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

#include "bench/unique_fd.h"
#include "src/store/format.h"
#include "src/store/journal.h"

namespace brellox {
namespace bench {
namespace {

// The unit of comparison when putting a file back: a page, which is also
// what a write dirties.
constexpr std::size_t kBlock = 4096;

}  // namespace

BenchStore::BenchStore(const std::string& image)
    : directory_(std::filesystem::temp_directory_path() /
                 ("brellox-bench-" + std::to_string(std::random_device{}()))),
      path_((directory_ / kConfigFileName).string()) {
  std::filesystem::create_directories(directory_);
  Write(image);
}

BenchStore::~BenchStore() {
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

std::string BenchStore::Beside(const std::string& name) const {
  return (directory_ / name).string();
}

void BenchStore::Write(const std::string& image) const {
  UniqueFd fd(
      ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!fd.valid() || !PwriteAll(fd.get(), image.data(), image.size(), 0) ||
      ::fsync(fd.get()) != 0) {
    throw std::runtime_error("cannot write " + path_);
  }
}

void BenchStore::CreateIdleJournal() const {
  const std::string journal = JournalPathFor(path_);
  UniqueFd fd(
      ::open(journal.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!fd.valid() || ::fsync(fd.get()) != 0) {
    throw std::runtime_error("cannot create " + journal);
  }
}

bool BenchStore::Restore(const std::string& image) const {
  UniqueFd fd(::open(path_.c_str(), O_RDWR | O_CLOEXEC));
  struct stat st;
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0) return false;
  const std::size_t size = static_cast<std::size_t>(st.st_size);
  std::vector<char> block(kBlock);
  for (std::size_t at = 0; at < image.size(); at += kBlock) {
    const std::size_t n = std::min(kBlock, image.size() - at);
    const std::size_t on_disk = at < size ? std::min(n, size - at) : 0;
    if (on_disk == n &&
        PreadAll(fd.get(), block.data(), n, static_cast<off_t>(at)) &&
        std::memcmp(block.data(), image.data() + at, n) == 0) {
      continue;
    }
    if (!PwriteAll(fd.get(), image.data() + at, n, static_cast<off_t>(at))) {
      return false;
    }
  }
  if (size != image.size() &&
      ::ftruncate(fd.get(), static_cast<off_t>(image.size())) != 0) {
    return false;
  }
  return ::fsync(fd.get()) == 0;
}

}  // namespace bench
}  // namespace brellox
