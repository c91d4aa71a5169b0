// The admin tool bringing a server to a state of N users, each way it can:
// one `apply` to an empty file, one `apply` to a file that already matches
// (which must write nothing), one `import` of the same users, and one
// `user add` process per user. Every run is a whole process, as an
// administrator's script runs it. `user add` is timed over `adds` processes
// (1,000 stands for 10,000: the time per process does not grow with the
// file beyond what the read of its table costs).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "src/store/default_file.h"

extern char** environ;

namespace brellox {
namespace bench {
namespace {

namespace fs = std::filesystem;

// A private folder for the run's files, removed at exit.
const fs::path& WorkDir() {
  static const fs::path dir = [] {
    std::string name =
        (fs::temp_directory_path() / "brellox-apply-bench-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) std::abort();
    std::atexit([] { fs::remove_all(WorkDir()); });
    return fs::path(name);
  }();
  return dir;
}

// Runs the tool on `config` with `args`, its output discarded; the exit code.
int RunTool(const fs::path& config, const std::vector<std::string>& args) {
  std::vector<std::string> words = {BRELLOX_TOOL_PATH, "--config",
                                    config.string()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid;
  int status = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) ==
      0) {
    waitpid(pid, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh default file at `path`, without a journal.
void FreshFile(const fs::path& path) {
  fs::remove(path.string() + "-journal");
  WriteFile(path, DefaultConfigImage());
}

// The desired state of `n` users (names and passwords, no IDs), and the
// export of a file brought to it, for import.
struct States {
  fs::path apply;
  fs::path backup;
};

const States& StatesOf(int n) {
  static std::vector<std::pair<int, States>> made;
  for (const auto& entry : made) {
    if (entry.first == n) return entry.second;
  }
  States states{WorkDir() / ("state" + std::to_string(n) + ".json"),
                WorkDir() / ("backup" + std::to_string(n) + ".json")};
  std::string json = "{\"users\": [";
  for (int i = 1; i <= n; ++i) {
    json += (i > 1 ? ",\n" : "\n") + std::string("{\"name\": \"user") +
            std::to_string(i) + "\", \"password\": \"pw-" + std::to_string(i) +
            "\"}";
  }
  WriteFile(states.apply, json + "]}\n");
  const fs::path file = WorkDir() / "reference.CFG";
  FreshFile(file);
  if (RunTool(file, {"apply", states.apply.string()}) != 0 ||
      RunTool(file, {"export", "--with-passwords", "--force", "-o",
                     states.backup.string()}) != 0) {
    std::abort();
  }
  made.emplace_back(n, states);
  return made.back().second;
}

void BM_ImportToNewFile(benchmark::State& state) {
  const States& states = StatesOf(static_cast<int>(state.range(0)));
  const fs::path file = WorkDir() / "import.CFG";
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(file);
    fs::remove(file.string() + "-journal");
    state.ResumeTiming();
    if (RunTool(file, {"import", states.backup.string()}) != 0) {
      state.SkipWithError("import failed");
    }
  }
}

void BM_ApplyToEmptyFile(benchmark::State& state) {
  const States& states = StatesOf(static_cast<int>(state.range(0)));
  const fs::path file = WorkDir() / "apply.CFG";
  for (auto _ : state) {
    state.PauseTiming();
    FreshFile(file);
    state.ResumeTiming();
    if (RunTool(file, {"apply", states.apply.string()}) != 0) {
      state.SkipWithError("apply failed");
    }
  }
}

// The file already holds the state: apply must leave its bytes and mtime.
void BM_ApplyToMatchingFile(benchmark::State& state) {
  const States& states = StatesOf(static_cast<int>(state.range(0)));
  const fs::path file = WorkDir() / "matching.CFG";
  FreshFile(file);
  if (RunTool(file, {"apply", states.apply.string()}) != 0) std::abort();
  const std::string bytes = ReadFile(file);
  struct stat before;
  stat(file.c_str(), &before);
  for (auto _ : state) {
    if (RunTool(file, {"apply", states.apply.string()}) != 0) {
      state.SkipWithError("apply failed");
    }
  }
  struct stat after;
  stat(file.c_str(), &after);
  if (ReadFile(file) != bytes ||
      after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
      after.st_mtim.tv_nsec != before.st_mtim.tv_nsec) {
    state.SkipWithError("an apply that changes nothing wrote the file");
  }
}

// `adds` processes of `user add`, one user each, into one file.
void BM_UserAddProcesses(benchmark::State& state) {
  const int adds = static_cast<int>(state.range(0));
  const fs::path file = WorkDir() / "adds.CFG";
  for (auto _ : state) {
    state.PauseTiming();
    FreshFile(file);
    state.ResumeTiming();
    for (int i = 1; i <= adds; ++i) {
      if (RunTool(file, {"user", "add", "user" + std::to_string(i),
                         "--no-password"}) != 0) {
        state.SkipWithError("user add failed");
        break;
      }
    }
  }
  state.counters["seconds_per_add"] = benchmark::Counter(
      static_cast<double>(adds) * state.iterations(),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// "records:10" is the smoke run's size.
BENCHMARK(BM_ImportToNewFile)
    ->ArgName("records")
    ->Arg(10)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ApplyToEmptyFile)
    ->ArgName("records")
    ->Arg(10)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ApplyToMatchingFile)
    ->ArgName("records")
    ->Arg(10)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_UserAddProcesses)
    ->ArgName("adds")
    ->Arg(10)
    ->Arg(1000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace bench
}  // namespace brellox
