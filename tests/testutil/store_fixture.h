// StoreFixture: a fresh default configuration file in a private directory,
// reached through a FaultEnv, with verbs to look at and damage its bytes.
#ifndef BRELLOX_TESTS_TESTUTIL_STORE_FIXTURE_H_
#define BRELLOX_TESTS_TESTUTIL_STORE_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "src/store/default_file.h"
#include "src/store/format.h"
#include "src/store/store.h"
#include "tests/testutil/fault_env.h"

namespace brellox {
namespace test {

// A new directory in `parent` (by default the system's temporary directory),
// removed with everything in it when destroyed.
class ScopedTempDir {
 public:
  ScopedTempDir() : ScopedTempDir(std::filesystem::temp_directory_path()) {}
  explicit ScopedTempDir(const std::filesystem::path& parent);
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
// Writes `bytes` leaving every 4 KiB block of zeros a hole where the file
// system keeps holes.
void WriteSparseBytes(const std::filesystem::path& path,
                      const std::string& bytes);

class StoreFixture : public ::testing::Test {
 protected:
  StoreFixture();
  ~StoreFixture() override { g_szCfgFile[0] = '\0'; }

  Store store() { return Store{&env_, path_.string()}; }
  const std::filesystem::path& path() const { return path_; }

  std::string FileBytes() const { return ReadBytes(path_); }
  void SetFileBytes(const std::string& bytes) const {
    WriteBytes(path_, bytes);
  }
  SVR_CFG_HEADER Header() const;
  void SetHeader(const SVR_CFG_HEADER& header) const;
  // Flips every bit of the byte at `offset`.
  void CorruptByte(std::size_t offset) const;
  void Truncate(std::size_t size) const;
  void RemoveFile() const;
  // Points the exported functions (g_szCfgFile) at this file; the fixture
  // points them at nothing again when it ends. DetachLibraryFile() does so
  // at once.
  void AttachLibraryFile() const;
  void DetachLibraryFile() const { g_szCfgFile[0] = '\0'; }
  // Appends an option group of 2156 `fill` bytes at the end of the layout
  // and counts it in the header.
  void AddRawOptionGroup(char fill) const;
  // Puts the default file back.
  void ResetFile() const { SetFileBytes(DefaultConfigImage()); }

  ScopedTempDir dir_;
  std::filesystem::path path_;
  FaultEnv env_;
};

}  // namespace test
}  // namespace brellox

#endif  // BRELLOX_TESTS_TESTUTIL_STORE_FIXTURE_H_
