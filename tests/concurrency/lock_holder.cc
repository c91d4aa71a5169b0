// Holds the lock on a configuration file for the lock tests, as one call of
// the library would for as long as it works: opens a session on FILE, then
// creates HELD and keeps the lock until RELEASE appears or it is killed.
//
//   lock_holder FILE read|write HELD RELEASE
//
// Exit status 0 after a release, 1 when the session could not be opened,
// 2 for a malformed command line.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "src/store/config_file.h"

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  const std::string mode = argv[2];
  if (mode != "read" && mode != "write") return 2;
  brellox::ConfigSession session;
  const brellox::Status s = session.Open(
      brellox::Store{brellox::Env::Default(), argv[1]},
      mode == "read" ? brellox::Access::kRead : brellox::Access::kWrite);
  if (!s.ok()) {
    std::fprintf(stderr, "lock_holder: %s\n", s.ToString().c_str());
    return 1;
  }
  std::ofstream(argv[3]).put('\n');
  // Bounded, so that a test that fails before releasing leaves no process
  // behind for long.
  for (int i = 0; i < 6000 && !std::filesystem::exists(argv[4]); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}
