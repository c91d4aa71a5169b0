// Memory and time of one call on a file whose user table reserves 1, 10^4
// or 2 x 10^7 slots, none in use, everything else small: the default file
// with its connection table full. The reserved slots are a hole (the file
// is written sparse), as in a file whose header was made to reserve them:
// a call must neither hold nor read what the format does not make it.
//
// Families: AddUserSparse, an add with room; AddConnSparse, an add to the
// full connection table, which moves every later table, the user table with
// its reserved slots included; ShowSparse, the tables of the file,
// as `brellox show` reads it; CheckSparse, the same and the scan of every
// free slot that `brellox check` adds.
//
// Each call runs in a child process of its own (fork): timed inside it,
// its peak resident memory taken from wait4. Every iteration also runs,
// side by side in rotating order, the floors: the same call on the file
// reserving one slot, and a child that makes no call (what the process
// holds anyway). Counters: "lib_ms" and "floor_ms", the median times;
// "x_floor", the median ratio of the two; "peak_MiB", "floor_peak_MiB" and
// "idle_peak_MiB", the largest peaks; "disk_MiB", the file's allocated
// blocks after the call.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_store.h"
#include "bench/images.h"
#include "bench/unique_fd.h"
#include "src/sources/twin_table.h"
#include "src/store/config_file.h"
#include "src/store/file_image.h"
#include "src/users/users.h"

namespace brellox {
namespace bench {
namespace {

constexpr std::int64_t kSlotSizes[] = {1, 10000, 20000000};
constexpr double kMiB = 1024.0 * 1024.0;

// The default file with two connections (full), no user in `slots` user
// slots, two privilege slots, no option group: written with the user
// table left a hole.
void WriteSparse(const std::string& path, std::int64_t slots) {
  ImageSpec spec;
  spec.conns = {2, 0};
  spec.users = {0, 0};
  const std::string small = BuildImage(spec);
  SVR_CFG_HEADER header;
  std::memcpy(&header, small.data(), sizeof(header));
  const std::int64_t users_at = header.users.offset;
  const std::int64_t reserved =
      slots * static_cast<std::int64_t>(sizeof(SVR_USER_REC));
  header.users.capacity = static_cast<std::int32_t>(slots);
  header.privs.offset =
      static_cast<std::int32_t>(header.privs.offset + reserved);
  header.optionGroupsOffset =
      static_cast<std::int32_t>(header.optionGroupsOffset + reserved);
  std::string before = small.substr(0, static_cast<std::size_t>(users_at));
  std::memcpy(&before[0], &header, sizeof(header));
  const std::string after = small.substr(static_cast<std::size_t>(users_at));
  UniqueFd fd(
      ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!fd.valid() || !PwriteAll(fd.get(), before.data(), before.size(), 0) ||
      !PwriteAll(fd.get(), after.data(), after.size(),
                 static_cast<off_t>(users_at + reserved)) ||
      ::ftruncate(fd.get(), static_cast<off_t>(LayoutEnd(header))) != 0) {
    throw std::runtime_error("cannot write " + path);
  }
}

double DiskMiB(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0
             ? static_cast<double>(st.st_blocks) * 512 / kMiB
             : 0;
}

// What `brellox show` reads of the file, and with `scan` what `brellox
// check` reads.
bool Snapshot(const Store& store, bool scan) {
  ConfigSession session;
  FileTables tables;
  return session.Open(store, Access::kRead).ok() &&
         ReadTables(session, &tables).ok() &&
         (!scan || ScanFreeSlots(session, &tables).ok());
}

struct Outcome {
  bool ok = false;
  double ms = 0;
  double peak_mib = 0;
};

// Runs `call` (none: nothing) in a child process.
Outcome InChild(const std::function<bool()>& call) {
  int ends[2];
  if (::pipe(ends) != 0) return Outcome{};
  UniqueFd reading(ends[0]), writing(ends[1]);
  const pid_t pid = ::fork();
  if (pid == 0) {
    reading.Reset();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = !call || call();
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - start;
    const double result[2] = {ok ? 1.0 : 0.0, took.count()};
    const bool sent = ::write(writing.get(), result, sizeof(result)) ==
                      static_cast<ssize_t>(sizeof(result));
    ::_exit(sent ? 0 : 1);  // no destructors, no atexit of the parent's
  }
  writing.Reset();
  double result[2] = {0, 0};
  const bool got = pid > 0 && ::read(reading.get(), result, sizeof(result)) ==
                                  static_cast<ssize_t>(sizeof(result));
  int status = 0;
  struct rusage usage {};
  if (pid <= 0 || ::wait4(pid, &status, 0, &usage) != pid || !got)
    return Outcome{};
  return Outcome{result[0] == 1.0, result[1],
                 static_cast<double>(usage.ru_maxrss) * 1024 / kMiB};
}

double Median(std::vector<double> values) {
  const auto middle =
      values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

using Call = std::function<bool(const Store&)>;

void Run(benchmark::State& state, const Call& call, bool changes) {
  const std::int64_t slots = state.range(0);
  BenchStore bench(""), floor_bench("");
  WriteSparse(bench.path(), slots);
  WriteSparse(floor_bench.path(), 1);
  std::vector<double> lib_ms, floor_ms, ratios;
  double peak = 0, floor_peak = 0, idle_peak = 0, disk = 0;
  int turn = 0;
  for (auto _ : state) {
    Outcome lib, floor, idle;
    const auto run_lib = [&] {
      lib = InChild([&] { return call(bench.store()); });
    };
    const auto run_floor = [&] {
      floor = InChild([&] { return call(floor_bench.store()); });
    };
    const auto run_idle = [&] { idle = InChild(nullptr); };
    const std::function<void()> order[3] = {run_lib, run_floor, run_idle};
    for (int k = 0; k < 3; ++k) order[(turn + k) % 3]();
    ++turn;
    if (!lib.ok || !floor.ok || !idle.ok) {
      state.SkipWithError("a call failed");
      return;
    }
    state.SetIterationTime(lib.ms / 1e3);
    lib_ms.push_back(lib.ms);
    floor_ms.push_back(floor.ms);
    ratios.push_back(lib.ms / floor.ms);
    peak = std::max(peak, lib.peak_mib);
    floor_peak = std::max(floor_peak, floor.peak_mib);
    idle_peak = std::max(idle_peak, idle.peak_mib);
    disk = DiskMiB(bench.path());
    if (changes) {  // the next iteration starts from the same file
      WriteSparse(bench.path(), slots);
      WriteSparse(floor_bench.path(), 1);
    }
  }
  state.counters["lib_ms"] = Median(lib_ms);
  state.counters["floor_ms"] = Median(floor_ms);
  state.counters["x_floor"] = Median(ratios);
  state.counters["peak_MiB"] = peak;
  state.counters["floor_peak_MiB"] = floor_peak;
  state.counters["idle_peak_MiB"] = idle_peak;
  state.counters["disk_MiB"] = disk;
}

void Register(const char* name, Call call, bool changes) {
  auto* b = benchmark::RegisterBenchmark(
      name,
      [call, changes](benchmark::State& state) { Run(state, call, changes); });
  b->ArgNames({"slots"})->UseManualTime()->Unit(benchmark::kMillisecond);
  for (std::int64_t slots : kSlotSizes) b->Arg(slots);
}

const bool kRegistered = [] {
  Register(
      "AddUserSparse",
      [](const Store& s) { return AddUser(s, "new", "password") == 1; }, true);
  Register(
      "AddConnSparse",
      [](const Store& s) {
        SVC_GDB_CONN_INFO conn{};
        std::strcpy(conn.name, "new");
        return ConnTable::Add(s, conn) == 3;
      },
      true);
  Register(
      "ShowSparse", [](const Store& s) { return Snapshot(s, false); }, false);
  Register(
      "CheckSparse", [](const Store& s) { return Snapshot(s, true); }, false);
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace brellox
