// ChildProcess runs another program of the test suite as its own process,
// and LibraryFolder gives it a fresh folder holding a copy of the library, so
// that tests can put several processes on one configuration file.
#ifndef BRELLOX_TESTS_CONCURRENCY_CHILD_PROCESS_H_
#define BRELLOX_TESTS_CONCURRENCY_CHILD_PROCESS_H_

#include <filesystem>
#include <string>
#include <vector>

#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {

// Files a child's standard streams are connected to: input read from
// `input`, output and errors written (created or emptied) to `output` and
// `error`. An empty path leaves that stream the parent's.
struct StandardStreams {
  std::filesystem::path input;
  std::filesystem::path output;
  std::filesystem::path error;
};

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(ChildProcess&& other) noexcept { *this = std::move(other); }
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  // A process still running is killed: a failed test leaves none behind.
  ~ChildProcess();

  // Starts `program` with `args` (UTF-8, whatever the system's code page)
  // in `directory`, its standard streams connected to `streams`. False when
  // it could not be started.
  bool Start(const std::filesystem::path& program,
             const std::vector<std::string>& args,
             const std::filesystem::path& directory,
             const StandardStreams& streams = {});

  // Waits for the process to end; its exit status, or -1 when it did not
  // exit normally (killed) or was never started.
  int Wait();

  // Ends the process at once, as a crash would, without letting it clean up.
  void Kill();

  bool running() const { return started_; }

 private:
#if defined(_WIN32)
  void* process_ = nullptr;  // HANDLE
#else
  int pid_ = -1;
#endif
  bool started_ = false;
};

// A fresh folder in `parent` with a copy of the library, whose Svr_Config.CFG
// every program started there works on: programs are copied in beside the
// library, so that they load that copy. Removed with everything in it.
class LibraryFolder {
 public:
  explicit LibraryFolder(const std::filesystem::path& parent =
                             std::filesystem::temp_directory_path());

  const std::filesystem::path& path() const { return dir_.path(); }
  std::filesystem::path ConfigPath() const;

  // Copies `program` in (once) and starts the copy in the folder.
  ChildProcess Start(const std::filesystem::path& program,
                     const std::vector<std::string>& args,
                     const StandardStreams& streams = {});

 private:
  ScopedTempDir dir_;
};

// Waits until `path` exists; false when it did not appear within `seconds`,
// a bound far beyond what a working system needs.
bool WaitForFile(const std::filesystem::path& path, int seconds = 60);

}  // namespace test
}  // namespace brellox

#endif  // BRELLOX_TESTS_CONCURRENCY_CHILD_PROCESS_H_
