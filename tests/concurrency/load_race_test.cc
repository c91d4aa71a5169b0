// Several processes loading the library at once in a folder without a
// configuration file: each may find the file missing and write the default
// file, and the first one published must be the one all of them use.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "src/store/config_file.h"
#include "src/store/default_file.h"
#include "src/store/journal.h"
#include "tests/concurrency/child_process.h"
#include "tests/concurrency/stress_log.h"

namespace brellox {
namespace test {
namespace {

constexpr int kProcesses = 8;
constexpr int kRounds = 3;

// Every entry of `folder` that the library or the test did not put there on
// purpose: a temporary file left behind, say. An idle journal is allowed.
std::vector<std::string> StrayEntries(const LibraryFolder& folder) {
  const std::set<std::string> known = {
      std::filesystem::path(BRELLOX_LIBRARY_PATH).filename().string(),
      std::filesystem::path(BRELLOX_WORKER_PATH).filename().string(),
      kConfigFileName, "go"};
  std::vector<std::string> stray;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    const std::string name = entry.path().filename().string();
    const bool idle_journal =
        name == std::string(kConfigFileName) + kJournalSuffix &&
        std::filesystem::file_size(entry.path()) == 0;
    if (known.count(name) == 0 && name.rfind("loaded-", 0) != 0 &&
        !idle_journal) {
      stray.push_back(name);
    }
  }
  return stray;
}

// Starts kProcesses workers in `folder` at once, each adding "user<i>".
std::vector<ChildProcess> StartAdders(LibraryFolder& folder, const char* when) {
  std::vector<ChildProcess> workers;
  for (int i = 0; i < kProcesses; ++i) {
    const std::string name = "user" + std::to_string(i);
    workers.push_back(
        folder.Start(BRELLOX_WORKER_PATH, {"add-user", name, "pw", when}));
  }
  return workers;
}

// Every worker succeeded and its user is in the file, with an ID of its own;
// nothing else changed and no temporary file is left.
void ExpectEveryAdd(std::vector<ChildProcess>& workers,
                    const LibraryFolder& folder) {
  for (ChildProcess& worker : workers) EXPECT_EQ(worker.Wait(), 0);
  const std::string bytes = ReadBytes(folder.ConfigPath());
  SVR_CFG_HEADER header;
  ASSERT_GE(bytes.size(), sizeof(header));
  std::memcpy(&header, bytes.data(), sizeof(header));
  ASSERT_TRUE(ValidateHeader(header, bytes.size()).ok());
  EXPECT_EQ(header.lastUserID, kProcesses);
  std::set<std::string> names;
  std::set<SVR_LONG> ids;
  for (int i = 0; i < header.users.count; ++i) {
    SVR_USER_REC user;
    std::memcpy(&user, &bytes[header.users.offset + i * sizeof(user)],
                sizeof(user));
    names.insert(stress::FieldText(user.name));
    ids.insert(user.id);
  }
  std::set<std::string> want;
  for (int i = 0; i < kProcesses; ++i) want.insert("user" + std::to_string(i));
  EXPECT_EQ(names, want);
  EXPECT_EQ(ids.size(), static_cast<std::size_t>(kProcesses));
  // The global option and the connection table are the default file's.
  const std::size_t from = kGlobalOptionOffset;
  const std::size_t to = kFirstTableOffset + 2 * sizeof(SVC_GDB_CONN_INFO);
  EXPECT_EQ(bytes.substr(from, to - from),
            DefaultConfigImage().substr(from, to - from));
  EXPECT_EQ(StrayEntries(folder), std::vector<std::string>{});
}

// On the system's temporary disk in both tests: the slower the default file
// is to write, the wider the window in which the loads overlap.

TEST(LoadRace, ProcessesLoadingAtOnceShareOneIntactDefaultFile) {
  LibraryFolder folder;
  std::vector<ChildProcess> workers = StartAdders(folder, "on-go");
  for (int i = 0; i < kProcesses; ++i) {
    ASSERT_TRUE(
        WaitForFile(folder.path() / ("loaded-user" + std::to_string(i))));
  }
  // All loaded, none has called yet: one default file, nothing else.
  EXPECT_EQ(ReadBytes(folder.ConfigPath()), DefaultConfigImage());
  EXPECT_EQ(StrayEntries(folder), std::vector<std::string>{});
  WriteBytes(folder.path() / "go", "");
  ExpectEveryAdd(workers, folder);
}

// A process that loads late must not replace a default file that others
// have already changed.
TEST(LoadRace, ChangesMadeWhileOthersStillLoadAreKept) {
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    LibraryFolder folder;
    std::vector<ChildProcess> workers = StartAdders(folder, "now");
    ExpectEveryAdd(workers, folder);
  }
}

}  // namespace
}  // namespace test
}  // namespace brellox
