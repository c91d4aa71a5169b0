// BenchStore: a default configuration file in a private temporary directory,
// removed again when the benchmark is done with it.
#ifndef BRELLOX_BENCH_BENCH_STORE_H_
#define BRELLOX_BENCH_BENCH_STORE_H_

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "src/store/default_file.h"
#include "src/store/format.h"
#include "src/store/store.h"

namespace brellox {

class BenchStore {
 public:
  BenchStore()
      : directory_(std::filesystem::temp_directory_path() /
                   ("brellox-bench-" + std::to_string(std::random_device{}()))) {
    std::filesystem::create_directories(directory_);
    Reset();
  }
  ~BenchStore() {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }
  BenchStore(const BenchStore&) = delete;
  BenchStore& operator=(const BenchStore&) = delete;

  // Puts the default file back.
  void Reset() { Write(DefaultConfigImage()); }

  // Replaces the file with `image`.
  void Write(const std::string& image) {
    std::ofstream out(directory_ / kConfigFileName,
                      std::ios::binary | std::ios::trunc);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
  }

  Store store() const {
    return Store{Env::Default(), (directory_ / kConfigFileName).string()};
  }

 private:
  std::filesystem::path directory_;
};

}  // namespace brellox

#endif  // BRELLOX_BENCH_BENCH_STORE_H_
