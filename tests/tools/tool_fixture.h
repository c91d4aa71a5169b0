// ToolFixture: runs the built brellox tool on a configuration file in a
// private directory and looks at its exit code, output and file bytes.
#ifndef BRELLOX_TESTS_TOOLS_TOOL_FIXTURE_H_
#define BRELLOX_TESTS_TOOLS_TOOL_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "src/store/format.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {

struct ToolResult {
  int exit_code = -1;
  std::string out;
  std::string err;

  // Lines written to stderr.
  int ErrLines() const;
  nlohmann::ordered_json Json() const;
};

class ToolFixture : public ::testing::Test {
 protected:
  ToolFixture();

  // Runs `brellox --config <file> args...` with `input` on stdin.
  ToolResult Run(const std::vector<std::string>& args,
                 const std::string& input = "") const {
    return RunOn(path_, args, input);
  }
  // The same on another file.
  ToolResult RunOn(const std::filesystem::path& file,
                   const std::vector<std::string>& args,
                   const std::string& input = "") const;
  // Runs without --config, with a copy of the library in the private
  // directory first on the library path, so that the library's own file is
  // that directory's Svr_Config.CFG.
  ToolResult RunOnLibraryFile(const std::vector<std::string>& args,
                              const std::string& input = "") const;
  // Runs, expects exit 0, returns stdout parsed as JSON.
  nlohmann::ordered_json Json(const std::vector<std::string>& args) const;

  // Adds users "user1".."userN", each with password "pw<i>".
  void AddUsers(int n) const;

  const std::filesystem::path& path() const { return path_; }
  std::string FileBytes() const { return ReadBytes(path_); }
  void SetFileBytes(const std::string& bytes) const {
    WriteBytes(path_, bytes);
  }
  SVR_CFG_HEADER Header() const;
  void SetHeader(const SVR_CFG_HEADER& header) const;

  // Rewrites slot `slot` of a table (in use or free) in place.
  template <class Record, class Change>
  void PatchSlot(Section section, int slot, Change change) const {
    std::string bytes = FileBytes();
    const std::size_t at = static_cast<std::size_t>(
        GetSection(Header(), section).offset + slot * RecordSize(section));
    Record record;
    std::memcpy(&record, &bytes[at], sizeof(record));
    change(record);
    std::memcpy(&bytes[at], &record, sizeof(record));
    SetFileBytes(bytes);
  }

  ScopedTempDir dir_;
  std::filesystem::path path_;

 private:
  ToolResult Execute(const std::string& environment,
                     const std::vector<std::string>& args,
                     const std::string& input) const;
};

}  // namespace test
}  // namespace brellox

#endif  // BRELLOX_TESTS_TOOLS_TOOL_FIXTURE_H_
