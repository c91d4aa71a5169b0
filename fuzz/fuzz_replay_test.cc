// Runs the fuzz target over damaged versions of a well-filled file, so that
// every build exercises it without a fuzzing engine.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>

#include "src/options/options.h"
#include "src/sources/sources.h"
#include "src/users/users.h"
#include "tests/testutil/store_fixture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size);

namespace brellox {
namespace test {
namespace {

class FuzzReplay : public StoreFixture {
 protected:
  // A file with every table in use and grown at least once.
  std::string FilledImage() {
    const Store s = store();
    for (int i = 0; i < 5; ++i) {
      const std::string name = "n" + std::to_string(i);
      AddUser(s, name.c_str(), "pw");
      SetUserPriv(s, i + 1, 1, i);
      SVC_GDB_CONN_INFO conn{};
      std::strcpy(conn.name, name.c_str());
      AddConn(s, conn);
      SVC_GDB_INFO gdb{};
      std::strcpy(gdb.name, name.c_str());
      AddGDB(s, gdb);
    }
    CONFIG_OPTION option{};
    option.type = SVR_OPTION_INT32;
    AddOptionInfo(s, "group", 1, &option, 1);
    return FileBytes();
  }

  static void Run(const std::string& bytes) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                           bytes.size());
  }
};

TEST_F(FuzzReplay, DamagedFilesNeverCrashOrLoseConsistency) {
  const std::string image = FilledImage();
  std::mt19937 random(20261207);
  Run(image);
  Run(std::string());
  for (int round = 0; round < 600; ++round) {
    std::string bytes = image;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips; ++i) {
      // Mostly the header, where damage changes what is read and written.
      const std::size_t at = random() % 3 != 0 ? random() % sizeof(SVR_CFG_HEADER)
                                               : random() % bytes.size();
      bytes[at] = static_cast<char>(random());
    }
    if (random() % 8 == 0) bytes.resize(random() % bytes.size());
    Run(bytes);
  }
}

}  // namespace
}  // namespace test
}  // namespace brellox
