// BenchStore: a configuration file in a private temporary directory, removed
// with everything beside it (its journal) when the benchmark is done.
#ifndef BRELLOX_BENCH_BENCH_STORE_H_
#define BRELLOX_BENCH_BENCH_STORE_H_

#include <filesystem>
#include <string>

#include "src/store/store.h"

namespace brellox {
namespace bench {

class BenchStore {
 public:
  // Creates the directory and writes `image` as the file.
  explicit BenchStore(const std::string& image);
  ~BenchStore();
  BenchStore(const BenchStore&) = delete;
  BenchStore& operator=(const BenchStore&) = delete;

  const std::string& path() const { return path_; }
  // A file beside the configuration file, for baselines that keep their
  // own data next to it.
  std::string Beside(const std::string& name) const;

  // The file reached through the system Env, as the library reaches it.
  Store store() const { return Store{Env::Default(), path_}; }
  Store store(Env* env) const { return Store{env, path_}; }

  // Leaves an empty journal beside the file, as every change does: the
  // state of a file that has been changed at least once.
  void CreateIdleJournal() const;

  // Replaces the file with `image`, durably.
  void Write(const std::string& image) const;

  // Makes the file `image` again after a change, durably, rewriting only
  // the blocks that differ: a change's own sync must not pay for flushing
  // what putting the file back dirtied. False on an I/O error.
  bool Restore(const std::string& image) const;

 private:
  std::filesystem::path directory_;
  std::string path_;
};

}  // namespace bench
}  // namespace brellox

#endif  // BRELLOX_BENCH_BENCH_STORE_H_
