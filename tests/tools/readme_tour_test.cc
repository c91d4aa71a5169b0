// The README's tour of the admin tool, replayed: every command of its
// console blocks is run in one directory, in order, and must print exactly
// what the README shows and end with the exit code it shows.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {
namespace {

struct TourStep {
  std::string command;
  std::string output;  // stdout and stderr, as the README shows them
  int exit_code = 0;
};

std::string TrimTrailingBlankLines(std::string text) {
  while (text.size() >= 2 && text.compare(text.size() - 2, 2, "\n\n") == 0) {
    text.pop_back();
  }
  return text;
}

// The "$ " commands of every ```console block of the tour section and the
// lines after each; a last line "(exit N)" is the exit code.
std::vector<TourStep> ReadTour(const std::string& readme) {
  std::vector<TourStep> steps;
  std::istringstream in(readme);
  std::string line;
  bool in_tour = false;
  bool in_block = false;
  while (std::getline(in, line)) {
    if (line.rfind("## ", 0) == 0)
      in_tour = line == "## A tour of the admin tool";
    if (!in_tour) continue;
    if (line == "```console") {
      in_block = true;
    } else if (line == "```") {
      in_block = false;
    } else if (in_block && line.rfind("$ ", 0) == 0) {
      steps.push_back({line.substr(2), "", 0});
    } else if (in_block && !steps.empty()) {
      steps.back().output += line + "\n";
    }
  }
  for (TourStep& step : steps) {
    step.output = TrimTrailingBlankLines(step.output);
    if (step.output == "\n") step.output.clear();
    const std::string::size_type exit = step.output.rfind("(exit ");
    if (exit != std::string::npos) {
      step.exit_code = std::stoi(step.output.substr(exit + 6));
      step.output.erase(exit);
    }
  }
  return steps;
}

TourStep Replay(const std::filesystem::path& dir, const std::string& command) {
  const std::filesystem::path script = dir / ".step.sh";
  WriteBytes(script, command + "\n");
  const std::string shell =
      "cd '" + dir.string() + "' && PATH='" +
      std::filesystem::path(BRELLOX_TOOL_PATH).parent_path().string() +
      "':\"$PATH\" sh .step.sh 2>&1";
  TourStep result{command, "", -1};
  FILE* pipe = popen(shell.c_str(), "r");
  if (pipe == nullptr) return result;
  char chunk[4096];
  std::size_t n;
  while ((n = fread(chunk, 1, sizeof(chunk), pipe)) > 0)
    result.output.append(chunk, n);
  const int status = pclose(pipe);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST(ReadmeTourTest, EveryCommandPrintsWhatTheReadmeShows) {
  const std::vector<TourStep> steps = ReadTour(ReadBytes(BRELLOX_README_PATH));
  ASSERT_GE(steps.size(), 20u);
  ScopedTempDir dir;
  for (const TourStep& step : steps) {
    const TourStep seen = Replay(dir.path(), step.command);
    EXPECT_EQ(seen.output, step.output) << "$ " << step.command;
    EXPECT_EQ(seen.exit_code, step.exit_code) << "$ " << step.command;
  }
}

}  // namespace
}  // namespace test
}  // namespace brellox
