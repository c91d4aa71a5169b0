// Loads copies of the shared library from fresh directories, as a server
// process would, and checks what the load does to the directory.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "src/store/default_file.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

class LoadedLibrary {
 public:
  explicit LoadedLibrary(const std::filesystem::path& directory) {
    std::filesystem::path copy = directory / "libbrellox.so";
    std::filesystem::copy_file(BRELLOX_LIBRARY_PATH, copy);
    handle_ = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  ~LoadedLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  bool loaded() const { return handle_ != nullptr; }
  // Svr_GetTempDir through the loaded copy: 1 when it can read its file.
  SVR_LONG CanRead() const {
    auto get = reinterpret_cast<SVR_LONG (*)(char*, short)>(
        dlsym(handle_, "_Z14Svr_GetTempDirPcs"));
    char buffer[8];
    return get == nullptr ? -100 : get(buffer, sizeof(buffer));
  }

 private:
  void* handle_ = nullptr;
};

TEST(ModuleLoad, WritesTheDefaultFileBesideAnEmptyDirectorysLibrary) {
  ScopedTempDir dir;
  LoadedLibrary library(dir.path());
  ASSERT_TRUE(library.loaded()) << dlerror();
  EXPECT_EQ(ReadBytes(dir.path() / "Svr_Config.CFG"), DefaultConfigImage());
  EXPECT_EQ(library.CanRead(), 1);
}

TEST(ModuleLoad, LeavesAnExistingFileByteForByte) {
  ScopedTempDir dir;
  std::string existing = DefaultConfigImage();
  existing[785] = 'Q';  // renamed default connection
  existing += "trailing bytes";
  WriteBytes(dir.path() / "Svr_Config.CFG", existing);
  LoadedLibrary library(dir.path());
  ASSERT_TRUE(library.loaded());
  EXPECT_EQ(ReadBytes(dir.path() / "Svr_Config.CFG"), existing);
}

TEST(ModuleLoad, DirectoryOfTheFilesNameMakesCallsFail) {
  ScopedTempDir dir;
  std::filesystem::create_directory(dir.path() / "Svr_Config.CFG");
  LoadedLibrary library(dir.path());
  ASSERT_TRUE(library.loaded());
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "Svr_Config.CFG"));
  EXPECT_EQ(library.CanRead(), 0);
}

}  // namespace
}  // namespace test
}  // namespace brellox
