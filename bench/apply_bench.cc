// The admin tool bringing a server to a state of N users with a privilege
// each, of N connections or of N option groups, each way it can: one `apply` to an empty
// file, one `apply` to a file that already matches (which must write
// nothing), one `apply --prune` of half the records, one `import` of the
// same records and one `import --force` of the half, and one `user add`
// process per user. Every run is a whole process, as an administrator's
// script runs it; beside its time each reports `lock_ms`, the mean of the
// runs' longest stretch for which a reader could not have taken the file's
// shared lock (polled every 50 us from this process). `user add` is timed over
// `adds` processes (1,000 stands for 10,000: the time per process does not grow
// with the file beyond what the read of its table costs).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/run_process.h"
#include "src/store/default_file.h"
#include "src/store/file_lock.h"

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
  return RunProcess(std::move(words));
}

// Runs RunTool(config, args) while a thread polls whether a reader could
// take the shared lock of `config` (which must exist); `*lock_ms` gets the
// longest stretch it could not, in milliseconds.
int RunToolTimingLock(const fs::path& config,
                      const std::vector<std::string>& args, double* lock_ms) {
  const int fd = open(config.c_str(), O_RDONLY);
  std::atomic<bool> done{false};
  double longest = 0;
  std::thread probe([&] {
    using Clock = std::chrono::steady_clock;
    bool held = false;
    Clock::time_point since;
    while (!done.load()) {
      struct flock lock {};
      lock.l_type = F_RDLCK;
      lock.l_whence = SEEK_SET;
      lock.l_start = static_cast<off_t>(kSharedByte);
      lock.l_len = 1;
      const bool taken = fd >= 0 && fcntl(fd, F_OFD_GETLK, &lock) == 0 &&
                         lock.l_type != F_UNLCK;
      const Clock::time_point now = Clock::now();
      if (taken && !held) since = now;
      if (held || taken) {
        longest = std::max(
            longest,
            std::chrono::duration<double, std::milli>(now - since).count());
      }
      held = taken;
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  });
  const int code = RunTool(config, args);
  done.store(true);
  probe.join();
  if (fd >= 0) close(fd);
  *lock_ms = longest;
  return code;
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

// The desired states of `n` records (users with a privilege each, or option
// groups), all and the first half, with the exports of files brought to
// them, for import.
struct States {
  fs::path apply;
  fs::path half;
  fs::path backup;
  fs::path half_backup;
};

enum Kind { kUsers = 0, kGroups = 1, kConnections = 2 };

std::string StateJson(Kind kind, int n) {
  std::string json = kind == kUsers    ? "{\"users\": ["
                     : kind == kGroups ? "{\"optionGroups\": ["
                                       : "{\"connections\": [";
  for (int i = 1; i <= n; ++i) {
    const std::string k = std::to_string(i);
    json += (i > 1 ? ",\n" : "\n");
    switch (kind) {
      case kUsers:
        json += "{\"name\": \"user" + k + "\", \"password\": \"pw-" + k + "\"}";
        break;
      case kGroups:
        json += "{\"groupType\": 1, \"groupName\": \"group" + k +
                "\", \"options\": [{\"name\": \"depth\", \"type\": "
                "\"integer\", \"value\": " +
                k + "}]}";
        break;
      case kConnections:
        json += "{\"name\": \"conn" + k + "\", \"info1\": \"host" + k +
                ".example\", \"info2\": \"5432\", \"info3\": \"gis\"}";
        break;
    }
  }
  json += "]";
  if (kind == kUsers) {
    json += ", \"privileges\": [";
    for (int i = 1; i <= n; ++i) {
      json += (i > 1 ? ",\n" : "\n") + std::string("{\"user\": \"user") +
              std::to_string(i) +
              "\", \"privID\": 3, \"value\": " + std::to_string(i % 7) + "}";
    }
    json += "]";
  }
  return json + "}\n";
}

const States& StatesOf(Kind kind, int n) {
  static std::vector<std::pair<std::pair<Kind, int>, States>> made;
  for (const auto& entry : made) {
    if (entry.first == std::make_pair(kind, n)) return entry.second;
  }
  const std::string tag = std::to_string(kind) + "-" + std::to_string(n);
  States states{WorkDir() / ("state" + tag + ".json"),
                WorkDir() / ("half" + tag + ".json"),
                WorkDir() / ("backup" + tag + ".json"),
                WorkDir() / ("half-backup" + tag + ".json")};
  WriteFile(states.apply, StateJson(kind, n));
  WriteFile(states.half, StateJson(kind, n / 2));
  const fs::path file = WorkDir() / "reference.CFG";
  for (const auto& state : {std::make_pair(states.apply, states.backup),
                            std::make_pair(states.half, states.half_backup)}) {
    FreshFile(file);
    if (RunTool(file, {"apply", state.first.string()}) != 0 ||
        RunTool(file, {"export", "--with-passwords", "--force", "-o",
                       state.second.string()}) != 0) {
      std::abort();
    }
  }
  made.emplace_back(std::make_pair(kind, n), states);
  return made.back().second;
}

Kind KindOf(const benchmark::State& state) {
  return static_cast<Kind>(state.range(1));
}

// Runs `args` on `file` as set up by `prepare` each iteration, timing the
// process and reporting the runs' mean lock hold. Each run starts with the
// writes of the earlier ones on disk, so that none pays for another's.
template <class Prepare>
void TimeRuns(benchmark::State& state, const fs::path& file,
              const std::vector<std::string>& args, Prepare prepare) {
  double lock_ms = 0;
  for (auto _ : state) {
    state.PauseTiming();
    prepare();
    sync();
    state.ResumeTiming();
    double held = 0;
    if (RunToolTimingLock(file, args, &held) != 0) {
      state.SkipWithError("the tool failed");
    }
    lock_ms += held;
  }
  state.counters["lock_ms"] =
      state.iterations() == 0 ? 0.0 : lock_ms / state.iterations();
}

void BM_ImportToNewFile(benchmark::State& state) {
  const States& states =
      StatesOf(KindOf(state), static_cast<int>(state.range(0)));
  const fs::path file = WorkDir() / "import.CFG";
  TimeRuns(state, file, {"import", "--force", states.backup.string()},
           [&] { FreshFile(file); });
}

void BM_ApplyToEmptyFile(benchmark::State& state) {
  const States& states =
      StatesOf(KindOf(state), static_cast<int>(state.range(0)));
  const fs::path file = WorkDir() / "apply.CFG";
  TimeRuns(state, file, {"apply", states.apply.string()},
           [&] { FreshFile(file); });
}

// The file already holds the state: apply must leave its bytes and mtime.
void BM_ApplyToMatchingFile(benchmark::State& state) {
  const States& states =
      StatesOf(KindOf(state), static_cast<int>(state.range(0)));
  const fs::path file = WorkDir() / "matching.CFG";
  FreshFile(file);
  if (RunTool(file, {"apply", states.apply.string()}) != 0) std::abort();
  const std::string bytes = ReadFile(file);
  struct stat before;
  stat(file.c_str(), &before);
  TimeRuns(state, file, {"apply", states.apply.string()}, [] {});
  struct stat after;
  stat(file.c_str(), &after);
  if (ReadFile(file) != bytes ||
      after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
      after.st_mtim.tv_nsec != before.st_mtim.tv_nsec) {
    state.SkipWithError("an apply that changes nothing wrote the file");
  }
}

// The bytes of a file brought to all of `states`' users, which each run of
// a half benchmark starts from.
std::string FullFileBytes(const States& states) {
  const fs::path full = WorkDir() / "full.CFG";
  FreshFile(full);
  if (RunTool(full, {"apply", states.apply.string()}) != 0) std::abort();
  return ReadFile(full);
}

// Times `args` on the file `name`, which each run starts as `bytes`.
void TimeFromBytes(benchmark::State& state, const char* name,
                   const std::vector<std::string>& args,
                   const std::string& bytes) {
  const fs::path file = WorkDir() / name;
  TimeRuns(state, file, args, [&] {
    fs::remove(file.string() + "-journal");
    WriteFile(file, bytes);
  });
}

// Half the users go, with their privileges: apply --prune of the first
// half against import --force of that half's export.
void BM_ApplyPruneHalf(benchmark::State& state) {
  const States& states = StatesOf(kUsers, static_cast<int>(state.range(0)));
  TimeFromBytes(state, "prune.CFG", {"apply", "--prune", states.half.string()},
                FullFileBytes(states));
}

void BM_ImportForceHalf(benchmark::State& state) {
  const States& states = StatesOf(kUsers, static_cast<int>(state.range(0)));
  TimeFromBytes(state, "forced.CFG",
                {"import", "--force", states.half_backup.string()},
                FullFileBytes(states));
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

// "records:10" is the smoke run's size; kind 0 is users with a privilege
// each, kind 1 option groups, kind 2 connections.
void Sizes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"records", "kind"});
  for (const int n : {10, 2500, 10000, 40000}) b->Args({n, kUsers});
  b->Args({8000, kGroups});
  b->Args({20000, kConnections});
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}
void UserSizes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"records"});
  for (const int n : {10, 2500, 10000, 40000}) b->Arg(n);
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_ImportToNewFile)->Apply(Sizes);
BENCHMARK(BM_ApplyToEmptyFile)->Apply(Sizes);
BENCHMARK(BM_ApplyToMatchingFile)->Apply(Sizes);
BENCHMARK(BM_ImportForceHalf)->Apply(UserSizes);
BENCHMARK(BM_ApplyPruneHalf)->Apply(UserSizes);
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
