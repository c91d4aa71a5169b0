// Loads copies of brellox.dll from fresh folders, as a server process would,
// and checks what the load does to the folder and that other processes see
// every change through the file.
#include <windows.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "src/store/default_file.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

using AddUserFn = SVR_LONG (*)(char*, char*);
using CheckUserFn = SVR_LONG (*)(char*, char*);
using SetTempDirFn = SVR_LONG (*)(char*);
using GetTempDirFn = SVR_LONG (*)(char*, short);

// One copy of the DLL loaded from a folder, with the exports the tests call,
// looked up under their decorated names.
class LoadedLibrary {
 public:
  explicit LoadedLibrary(const std::filesystem::path& folder) {
    const std::filesystem::path copy = folder / "brellox.dll";
    std::filesystem::copy_file(BRELLOX_LIBRARY_PATH, copy);
    module_ = LoadLibraryA(copy.string().c_str());
  }
  ~LoadedLibrary() { Unload(); }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  bool loaded() const { return module_ != nullptr; }
  void Unload() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
  }

  SVR_LONG AddUser(std::string name, std::string password) {
    return Export<AddUserFn>("_Z11Svr_AddUserPcS_")(&name[0], &password[0]);
  }
  SVR_LONG CheckUser(std::string name, std::string password) {
    return Export<CheckUserFn>("_Z13Svr_CheckUserPcS_")(&name[0], &password[0]);
  }
  SVR_LONG SetTempDir(std::string dir) {
    return Export<SetTempDirFn>("_Z14Svr_SetTempDirPc")(&dir[0]);
  }
  // The stored temporary directory, or "<failed>" when the call fails.
  std::string TempDir() {
    char buffer[129] = {};
    if (Export<GetTempDirFn>("_Z14Svr_GetTempDirPcs")(buffer, 128) != 1) {
      return "<failed>";
    }
    return buffer;
  }

 private:
  template <class Fn>
  Fn Export(const char* decorated_name) {
    FARPROC address = GetProcAddress(module_, decorated_name);
    EXPECT_NE(address, nullptr) << decorated_name << " is not exported";
    if (address == nullptr) throw std::runtime_error(decorated_name);
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(address));
  }

  HMODULE module_ = nullptr;
};

class ModuleLoadTest : public ::testing::Test {
 protected:
  std::filesystem::path ConfigPath() const {
    return dir_.path() / kConfigFileName;
  }

  // Runs the probe program, copied beside the loaded DLL, as its own process
  // and returns its exit status (-1 when it could not be started).
  int RunProbe(const std::string& arguments) {
    const std::filesystem::path probe = dir_.path() / "module_probe.exe";
    if (!std::filesystem::exists(probe)) {
      std::filesystem::copy_file(BRELLOX_PROBE_PATH, probe);
    }
    std::string command = "\"" + probe.string() + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                        nullptr, dir_.path().string().c_str(), &startup,
                        &process)) {
      return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
  }

  // Opens the configuration file as another program would, with `share`.
  HANDLE OpenConfigWithSharing(DWORD share) const {
    return CreateFileA(ConfigPath().string().c_str(), GENERIC_READ, share,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  ScopedTempDir dir_;  // outlives the libraries loaded from it
};

TEST_F(ModuleLoadTest, EmptyFolderGetsExactDefaultFileThatUnloadLeavesAlone) {
  LoadedLibrary library(dir_.path());
  ASSERT_TRUE(library.loaded()) << GetLastError();
  EXPECT_EQ(ReadBytes(ConfigPath()), DefaultConfigImage());
  // Nothing but the library, its file and the file's idle journal: no
  // temporary file left behind.
  std::size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 3u);
  EXPECT_EQ(ReadBytes(ConfigPath().string() + "-journal"), "");
  EXPECT_EQ(library.TempDir(), "");
  library.Unload();
  EXPECT_EQ(ReadBytes(ConfigPath()), DefaultConfigImage());
}

TEST_F(ModuleLoadTest, ExistingFileIsLeftByteForByte) {
  std::string existing = DefaultConfigImage();
  existing[785] = 'Q';  // renamed default connection
  existing += "trailing bytes";
  WriteBytes(ConfigPath(), existing);
  LoadedLibrary library(dir_.path());
  ASSERT_TRUE(library.loaded());
  EXPECT_EQ(ReadBytes(ConfigPath()), existing);
}

TEST_F(ModuleLoadTest, FolderNamedLikeTheFileMakesCallsFail) {
  std::filesystem::create_directory(ConfigPath());
  LoadedLibrary library(dir_.path());
  ASSERT_TRUE(library.loaded());
  EXPECT_TRUE(std::filesystem::is_directory(ConfigPath()));
  EXPECT_EQ(library.TempDir(), "<failed>");
  EXPECT_EQ(library.AddUser("ann", "pw"), 0);
}

TEST_F(ModuleLoadTest, OtherProcessesSeeEveryChange) {
  LoadedLibrary library(dir_.path());
  ASSERT_TRUE(library.loaded());
  ASSERT_EQ(library.AddUser("ann", "first"), 1);
  ASSERT_EQ(library.SetTempDir("C:\\spool"), 1);

  // A second process sees the first one's changes, and adds one of its own,
  // which a third process then sees.
  EXPECT_EQ(RunProbe("check ann first"), 0);
  EXPECT_EQ(RunProbe("temp-is C:\\spool"), 0);
  EXPECT_EQ(RunProbe("add bob second"), 0);
  EXPECT_EQ(RunProbe("check bob second"), 0);
  EXPECT_EQ(RunProbe("check bob wrong"), 1);

  EXPECT_EQ(library.CheckUser("bob", "second"), 1);
  EXPECT_EQ(library.AddUser("bob", "again"), 0);
}

TEST_F(ModuleLoadTest, CallsFailWhileAnotherOpenerSharesNothing) {
  LoadedLibrary library(dir_.path());
  ASSERT_TRUE(library.loaded());
  HANDLE shared = OpenConfigWithSharing(FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_NE(shared, INVALID_HANDLE_VALUE);
  EXPECT_EQ(library.SetTempDir("while shared"), 1);
  CloseHandle(shared);

  HANDLE exclusive = OpenConfigWithSharing(0);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(library.TempDir(), "<failed>");
  EXPECT_EQ(library.AddUser("ann", "pw"), 0);
  CloseHandle(exclusive);

  EXPECT_EQ(library.TempDir(), "while shared");
  EXPECT_EQ(library.AddUser("ann", "pw"), 1);
}

}  // namespace
}  // namespace test
}  // namespace brellox
