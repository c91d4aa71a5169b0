// A server's logins beside an administrator: `threads` threads each check
// a credential `rate` times a second against a file of `users` users, through
// the C interface of the library given, while another process runs the admin
// tool as fast as it goes (a user added, given a privilege and removed, one
// process per command) and, every 20 seconds, exports the file with its
// passwords and imports it back with --force.
//
//   login_soak LIBRARY TOOL SECONDS [USERS THREADS RATE]
//
// The library is loaded with dlopen, so that one program compares two builds
// of it (scripts/soak.sh). Prints one line of figures: checks made, wrong
// answers, refusals, the administrator's commands and failures, the median,
// p99, p99.9 and slowest check, and the share of checks that took longer
// than 50 and 1,000 microseconds (a check answered from memory takes a few;
// one that read the file without waiting, tens).
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/run_process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using CheckUser = int (*)(const char*, const char*, const char*);
using AddUser = int (*)(const char*, const char*, const char*, std::int32_t*);
using InitFile = int (*)(const char*);

std::string UserName(int i) { return "login" + std::to_string(i); }
std::string Password(int i) { return "pw-" + std::to_string(i * 7919); }

// Runs the tool with `args`, `input_file` on its standard input; its exit
// code.
int RunTool(const std::string& tool, const std::string& config,
            const std::vector<std::string>& args, const char* input_file) {
  std::vector<std::string> words = {tool, "--config", config};
  words.insert(words.end(), args.begin(), args.end());
  return brellox::bench::RunProcess(std::move(words), input_file, true);
}

// The administrator, in a child process until `stop` exists: returns the
// number of commands and failures through the exit file.
void Administrate(const std::string& tool, const std::string& config,
                  const fs::path& dir) {
  const std::string password = (dir / "password").string();
  std::ofstream(password) << "admin-pw\n";
  const std::string backup = (dir / "backup.json").string();
  long commands = 0;
  long failures = 0;
  auto last_import = Clock::now();
  for (long i = 0; !fs::exists(dir / "stop"); ++i) {
    const std::string name = "adm" + std::to_string(i % 50);
    const std::vector<std::vector<std::string>> steps = {
        {"user", "add", name, "--password-stdin"},
        {"priv", "set", name, "1", std::to_string(i % 9)},
        {"user", "del", name}};
    for (const auto& step : steps) {
      ++commands;
      if (RunTool(tool, config, step, password.c_str()) != 0) ++failures;
    }
    if (Clock::now() - last_import > std::chrono::seconds(20)) {
      last_import = Clock::now();
      commands += 2;
      if (RunTool(tool, config,
                  {"export", "--with-passwords", "--force", "-o", backup},
                  "/dev/null") != 0 ||
          RunTool(tool, config, {"import", "--force", backup}, "/dev/null") !=
              0) {
        ++failures;
      }
    }
  }
  std::ofstream(dir / "admin") << commands << ' ' << failures << '\n';
}

double Percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  const auto at = static_cast<std::size_t>(p * (sorted.size() - 1));
  return sorted[at];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: login_soak LIBRARY TOOL SECONDS [USERS THREADS "
                 "RATE]\n");
    return 2;
  }
  const std::string tool = argv[2];
  const int seconds = std::atoi(argv[3]);
  const int users = argc > 4 ? std::atoi(argv[4]) : 1000;
  const int threads = argc > 5 ? std::atoi(argv[5]) : 4;
  const int rate = argc > 6 ? std::atoi(argv[6]) : 500;

  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "login_soak: %s\n", dlerror());
    return 2;
  }
  const auto check =
      reinterpret_cast<CheckUser>(dlsym(library, "brellox_check_user"));
  const auto add =
      reinterpret_cast<AddUser>(dlsym(library, "brellox_add_user"));
  if (check == nullptr || add == nullptr) {
    std::fprintf(stderr, "login_soak: not the library's C interface\n");
    return 2;
  }

  char templ[] = "/tmp/brellox-soak-XXXXXX";
  if (mkdtemp(templ) == nullptr) return 2;
  const fs::path dir = templ;
  const std::string config = (dir / "Svr_Config.CFG").string();
  if (RunTool(tool, config, {"init", config}, "/dev/null") != 0) {
    std::fprintf(stderr, "login_soak: the tool could not make %s\n",
                 config.c_str());
    return 2;
  }
  for (int i = 0; i < users; ++i) {
    std::int32_t id = 0;
    if (add(config.c_str(), UserName(i).c_str(), Password(i).c_str(), &id) !=
        0) {
      std::fprintf(stderr, "login_soak: adding users failed\n");
      return 2;
    }
  }

  const pid_t admin = fork();
  if (admin == 0) {
    Administrate(tool, config, dir);
    _exit(0);
  }

  std::atomic<long> wrong{0};
  std::atomic<long> refused{0};
  std::vector<std::vector<double>> times(threads);
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  std::vector<std::thread> checkers;
  for (int t = 0; t < threads; ++t) {
    checkers.emplace_back([&, t] {
      std::mt19937 random(t + 1);
      const auto period = std::chrono::nanoseconds(1000000000 / rate);
      auto next = Clock::now();
      while (next < end) {
        std::this_thread::sleep_until(next);
        next += period;
        const int i = static_cast<int>(random() % users);
        const bool right = random() % 8 != 0;
        const std::string name = UserName(i);
        const std::string password = right ? Password(i) : "wrong";
        const auto begin = Clock::now();
        const int result =
            check(config.c_str(), name.c_str(), password.c_str());
        times[t].push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - begin)
                .count());
        // 0 is a match; 4 (refused) a mismatch; anything else a failure.
        if (result != 0 && result != 4) {
          ++refused;
        } else if ((result == 0) != right) {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& checker : checkers) checker.join();
  std::ofstream(dir / "stop").flush();
  int status = 0;
  waitpid(admin, &status, 0);
  long commands = 0;
  long failures = 0;
  std::ifstream(dir / "admin") >> commands >> failures;

  std::vector<double> all;
  for (const auto& part : times)
    all.insert(all.end(), part.begin(), part.end());
  std::sort(all.begin(), all.end());
  const auto share_over = [&](double micros) {
    const auto over =
        all.end() - std::upper_bound(all.begin(), all.end(), micros);
    return all.empty() ? 0.0 : 100.0 * static_cast<double>(over) / all.size();
  };
  std::printf(
      "checks %zu wrong %ld refused %ld admin_commands %ld admin_failed %ld "
      "p50_us %.1f p99_us %.1f p999_us %.1f max_us %.1f over50us_pct %.2f "
      "over1ms_pct %.3f\n",
      all.size(), wrong.load(), refused.load(), commands, failures,
      Percentile(all, 0.5), Percentile(all, 0.99), Percentile(all, 0.999),
      all.empty() ? 0.0 : all.back(), share_over(50), share_over(1000));
  fs::remove_all(dir);
  return wrong.load() == 0 && refused.load() == 0 && failures == 0 ? 0 : 1;
}
