// Runs the fuzz target over damaged versions of a well-filled file, so that
// every build exercises it without a fuzzing engine.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "src/options/options.h"
#include "src/sources/twin_table.h"
#include "src/store/journal.h"
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
      ConnTable::Add(s, conn);
      SVC_GDB_INFO gdb{};
      std::strcpy(gdb.name, name.c_str());
      GdbTable::Add(s, gdb);
    }
    CONFIG_OPTION option{};
    option.type = SVR_OPTION_INT32;
    AddOptionInfo(s, "group", 1, &option, 1);
    return FileBytes();
  }

  static std::string Input(const std::string& file,
                           const std::string& journal) {
    std::string input(4, '\0');
    const std::uint32_t size = static_cast<std::uint32_t>(file.size());
    std::memcpy(&input[0], &size, sizeof(size));
    return input + file + journal;
  }

  static void Run(const std::string& file, const std::string& journal = "") {
    const std::string input = Input(file, journal);
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()),
                           input.size());
  }

  // Runs a well-formed case; with BRELLOX_FUZZ_SEEDS set to a directory, also
  // writes it there, which is how fuzz/corpus was made.
  static void Seed(const std::string& name, const std::string& file,
                   const std::string& journal = "") {
    Run(file, journal);
    if (const char* seeds = std::getenv("BRELLOX_FUZZ_SEEDS")) {
      WriteBytes(std::filesystem::path(seeds) / name, Input(file, journal));
    }
  }

  // The journal a change leaves when it dies right after writing it (its
  // body, then its header): the file's first write never happens.
  std::string JournalOfAnInterruptedAdd() {
    env_.Arm(FaultEnv::Op::kWrite, 3, FaultEnv::Fault::kCrash);
    EXPECT_EQ(AddUser(store(), "late", "pw"), 0);
    env_.Disarm();
    return ReadBytes(JournalPathFor(path().string()));
  }

  // Well-formed journals, checksums and all, that do not fit `file`.
  static std::vector<std::string> MismatchedJournals(const std::string& file) {
    auto journal = [&](const std::string& name, std::uint64_t size,
                       std::uint64_t header_at, std::uint64_t extra_at) {
      JournalBuilder builder(name, size);
      std::memcpy(builder.AddRange(header_at, kHeaderSize), file.data(),
                  kHeaderSize);
      std::memset(builder.AddRange(extra_at, 16), 'x', 16);
      builder.Finish();
      return builder.bytes();
    };
    const std::string name = kConfigFileName;
    return {
        journal("Other.CFG", file.size(), 0, 800),       // another file's
        journal(name, file.size() + 100, 0, 800),        // a longer file
        journal(name, file.size(), 0, file.size() - 8),  // past the end
        journal(name, file.size(), 16, 800),             // no header
        journal(name, 600, 0, 500),                      // header past 600
        journal(name, file.size(), 0, 800),              // fits: restores
    };
  }
};

TEST_F(FuzzReplay, DamagedFilesNeverCrashOrLoseConsistency) {
  const std::string image = FilledImage();
  std::mt19937 random(20261207);
  Seed("filled", image);
  Seed("default", DefaultConfigImage());
  Run(std::string());
  for (int round = 0; round < 600; ++round) {
    std::string bytes = image;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips; ++i) {
      // Mostly the header, where damage changes what is read and written.
      const std::size_t at = random() % 3 != 0
                                 ? random() % sizeof(SVR_CFG_HEADER)
                                 : random() % bytes.size();
      bytes[at] = static_cast<char>(random());
    }
    if (random() % 8 == 0) bytes.resize(random() % bytes.size());
    Run(bytes);
  }
}

TEST_F(FuzzReplay, DamagedOrForeignJournalsNeverCrashOrWriteOutsideTheFile) {
  const std::string image = FilledImage();
  const std::string interrupted = JournalOfAnInterruptedAdd();
  ASSERT_GT(interrupted.size(), static_cast<std::size_t>(kHeaderSize));
  Seed("interrupted-add", image, interrupted);
  int n = 0;
  for (const std::string& journal : MismatchedJournals(image)) {
    Seed("journal-" + std::to_string(n++), image, journal);
  }
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    std::string journal = interrupted;
    const int flips = 1 + static_cast<int>(random() % 3);
    for (int i = 0; i < flips; ++i) {
      journal[random() % journal.size()] = static_cast<char>(random());
    }
    if (random() % 4 == 0) journal.resize(random() % journal.size());
    Run(image, journal);
  }
}

// A journal that does not fit its file is left alone, and every call fails
// rather than read a file that may be half changed.
TEST_F(FuzzReplay, MismatchedJournalStopsEveryCallAndStays) {
  const std::string image = FilledImage();
  const std::string journal = MismatchedJournals(image)[0];
  WriteBytes(JournalPathFor(path().string()), journal);
  EXPECT_EQ(GetUserCount(store()), 0);
  EXPECT_EQ(AddUser(store(), "blocked", "pw"), 0);
  EXPECT_EQ(ReadBytes(JournalPathFor(path().string())), journal);
  EXPECT_EQ(FileBytes(), image);
}

}  // namespace
}  // namespace test
}  // namespace brellox
