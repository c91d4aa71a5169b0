// Without --config the tool works on the library's own file: the same file
// the exported functions of the loaded library read and write, so a change
// made either way is seen the other way.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "brellox/brellox.h"
#include "src/store/default_file.h"
#include "tests/tools/tool_fixture.h"

namespace brellox {
namespace test {
namespace {

// The exported functions of a copy of the library in the fixture's
// directory, the copy the tool loads there too.
class ExportedFunctions {
 public:
  explicit ExportedFunctions(const std::filesystem::path& library)
      : handle_(dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
  ~ExportedFunctions() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  ExportedFunctions(const ExportedFunctions&) = delete;
  ExportedFunctions& operator=(const ExportedFunctions&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  SVR_LONG AddUser(std::string name, std::string password) const {
    return Call<SVR_LONG (*)(char*, char*)>("_Z11Svr_AddUserPcS_")(
        &name[0], &password[0]);
  }
  SVR_LONG CheckUser(std::string name, std::string password) const {
    return Call<SVR_LONG (*)(char*, char*)>("_Z13Svr_CheckUserPcS_")(
        &name[0], &password[0]);
  }
  SVR_LONG GetUserPriv(SVR_LONG user, SVR_LONG priv, SVR_LONG& value) const {
    return Call<SVR_LONG (*)(SVR_LONG, SVR_LONG, SVR_LONG&)>(
        "_Z15Svr_GetUserPriviiRi")(user, priv, value);
  }

 private:
  template <class Function>
  Function Call(const char* symbol) const {
    void* address = dlsym(handle_, symbol);
    EXPECT_NE(address, nullptr) << symbol;
    return reinterpret_cast<Function>(address);
  }

  void* handle_;
};

class ToolLibraryFileTest : public ToolFixture {};

TEST_F(ToolLibraryFileTest, ToolAndExportedFunctionsShareTheLibrarysFile) {
  // The tool's first run copies the library beside the file it creates.
  ASSERT_EQ(
      RunOnLibraryFile({"user", "add", "root", "--password-stdin"}, "pw\n")
          .exit_code,
      0);
  const ExportedFunctions library(dir_.path() / "libbrellox.so");
  ASSERT_TRUE(library.loaded()) << dlerror();

  EXPECT_EQ(library.CheckUser("root", "pw"), 1);
  EXPECT_EQ(library.CheckUser("root", "wrong"), 0);
  EXPECT_EQ(library.AddUser("server", "s"), 2);
  ASSERT_EQ(RunOnLibraryFile({"priv", "set", "server", "4", "9"}).exit_code, 0);
  SVR_LONG value = 0;
  EXPECT_EQ(library.GetUserPriv(2, 4, value), 1);
  EXPECT_EQ(value, 9);
  const ToolResult list = RunOnLibraryFile({"user", "list", "--json"});
  ASSERT_EQ(list.exit_code, 0) << list.err;
  EXPECT_EQ(list.Json()[1]["name"], "server");
  EXPECT_EQ(RunOnLibraryFile({"check"}).exit_code, 0);
  EXPECT_EQ(FileBytes(), DefaultConfigImage());  // the --config file untouched
}

}  // namespace
}  // namespace test
}  // namespace brellox
