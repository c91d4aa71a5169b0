#include "tests/tools/tool_fixture.h"

#include <sys/wait.h>

#include <atomic>
#include <cstdlib>

#include "src/store/default_file.h"

namespace brellox {
namespace test {

namespace {

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace

int ToolResult::ErrLines() const {
  int lines = 0;
  for (char c : err) lines += c == '\n' ? 1 : 0;
  return lines;
}

nlohmann::ordered_json ToolResult::Json() const {
  return nlohmann::ordered_json::parse(out);
}

ToolFixture::ToolFixture() : path_(dir_.path() / "test.CFG") {
  WriteBytes(path_, DefaultConfigImage());
}

ToolResult ToolFixture::Execute(const std::string& environment,
                                const std::vector<std::string>& args,
                                const std::string& input) const {
  // Numbered, so that runs in parallel threads keep their streams apart.
  static std::atomic<int> runs{0};
  const std::string n = std::to_string(runs++);
  const std::filesystem::path in = dir_.path() / ("stdin" + n);
  const std::filesystem::path out = dir_.path() / ("stdout" + n);
  const std::filesystem::path err = dir_.path() / ("stderr" + n);
  WriteBytes(in, input);
  std::string command = environment + ShellQuoted(BRELLOX_TOOL_PATH);
  for (const std::string& arg : args) command += " " + ShellQuoted(arg);
  command += " <" + ShellQuoted(in.string()) + " >" +
             ShellQuoted(out.string()) + " 2>" + ShellQuoted(err.string());
  const int status = std::system(command.c_str());
  ToolResult result;
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadBytes(out);
  result.err = ReadBytes(err);
  return result;
}

ToolResult ToolFixture::RunOn(const std::filesystem::path& file,
                              const std::vector<std::string>& args,
                              const std::string& input) const {
  std::vector<std::string> full = {"--config", file.string()};
  full.insert(full.end(), args.begin(), args.end());
  return Execute("", full, input);
}

ToolResult ToolFixture::RunOnLibraryFile(const std::vector<std::string>& args,
                                         const std::string& input) const {
  // Under the name the tool asks the loader for, and the plain one.
  for (const char* name : {BRELLOX_LIBRARY_SONAME, "libbrellox.so"}) {
    const std::filesystem::path library = dir_.path() / name;
    if (!std::filesystem::exists(library)) {
      std::filesystem::copy_file(BRELLOX_LIBRARY_PATH, library);
    }
  }
  return Execute("LD_LIBRARY_PATH=" + ShellQuoted(dir_.path().string()) + " ",
                 args, input);
}

nlohmann::ordered_json ToolFixture::Json(
    const std::vector<std::string>& args) const {
  const ToolResult result = Run(args);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  return result.Json();
}

void ToolFixture::AddUsers(int n) const {
  for (int i = 1; i <= n; ++i) {
    const ToolResult r =
        Run({"user", "add", "user" + std::to_string(i), "--password-stdin"},
            "pw" + std::to_string(i) + "\n");
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }
}

SVR_CFG_HEADER ToolFixture::Header() const {
  SVR_CFG_HEADER header;
  std::memcpy(&header, FileBytes().data(), sizeof(header));
  return header;
}

void ToolFixture::SetHeader(const SVR_CFG_HEADER& header) const {
  std::string bytes = FileBytes();
  std::memcpy(&bytes[0], &header, sizeof(header));
  SetFileBytes(bytes);
}

}  // namespace test
}  // namespace brellox
