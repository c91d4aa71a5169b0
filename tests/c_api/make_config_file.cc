// Writes a new configuration file as the library writes its own when it
// finds none, for tests that work on a file of their own:
//
//   make_config_file PATH
//
// Replaces PATH (and its journal) when they exist, creating its folder.
// Exit status 0 when written, 1 when not, 2 for a malformed command line.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "src/store/default_file.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::filesystem::path path = argv[1];
  std::error_code ignored;
  std::filesystem::create_directories(path.parent_path(), ignored);
  std::filesystem::remove(path, ignored);
  std::filesystem::remove(path.string() + "-journal", ignored);
  const brellox::Status s =
      brellox::CreateDefaultConfigFile(brellox::Env::Default(), path.string());
  if (!s.ok()) {
    std::fprintf(stderr, "make_config_file: %s\n", s.ToString().c_str());
    return 1;
  }
  return 0;
}
