#include "tests/concurrency/child_process.h"

#include <cerrno>
#include <chrono>
#include <thread>
#include <utility>

#include "src/store/format.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace brellox {
namespace test {

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  std::swap(started_, other.started_);
#if defined(_WIN32)
  std::swap(process_, other.process_);
#else
  std::swap(pid_, other.pid_);
#endif
  return *this;
}

ChildProcess::~ChildProcess() {
  if (started_) {
    Kill();
    Wait();
  }
}

#if defined(_WIN32)

bool ChildProcess::Start(const std::filesystem::path& program,
                         const std::vector<std::string>& args,
                         const std::filesystem::path& directory,
                         const std::filesystem::path& output) {
  // The arguments the tests pass hold no quotes or trailing backslashes, so
  // quoting each one is all CommandLineToArgv needs.
  std::string command = "\"" + program.string() + "\"";
  for (const std::string& arg : args) command += " \"" + arg + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  HANDLE out = INVALID_HANDLE_VALUE;
  if (!output.empty()) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    out = CreateFileA(output.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                      &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  }
  PROCESS_INFORMATION info{};
  const BOOL created = CreateProcessA(
      nullptr, &command[0], nullptr, nullptr, out != INVALID_HANDLE_VALUE, 0,
      nullptr, directory.string().c_str(), &startup, &info);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  if (!created) return false;
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  started_ = true;
  return true;
}

int ChildProcess::Wait() {
  if (!started_) return -1;
  WaitForSingleObject(process_, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(process_, &status);
  CloseHandle(process_);
  started_ = false;
  return static_cast<int>(status);
}

void ChildProcess::Kill() {
  if (started_) TerminateProcess(process_, 137);
}

#else

bool ChildProcess::Start(const std::filesystem::path& program,
                         const std::vector<std::string>& args,
                         const std::filesystem::path& directory,
                         const std::filesystem::path& output) {
  // Everything the child needs is built before fork: between fork and exec
  // only async-signal-safe calls are allowed in a threaded parent.
  std::vector<std::string> strings = {program.string()};
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(&s[0]);
  argv.push_back(nullptr);
  const std::string dir = directory.string();
  const std::string out = output.string();
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    if (!out.empty()) {
      const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(126);
      close(fd);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  pid_ = pid;
  started_ = true;
  return true;
}

int ChildProcess::Wait() {
  if (!started_) return -1;
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  started_ = false;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProcess::Kill() {
  if (started_) kill(pid_, SIGKILL);
}

#endif

LibraryFolder::LibraryFolder(const std::filesystem::path& parent)
    : dir_(parent) {
  const std::filesystem::path library = BRELLOX_LIBRARY_PATH;
  std::filesystem::copy_file(library, path() / library.filename());
}

std::filesystem::path LibraryFolder::ConfigPath() const {
  return path() / kConfigFileName;
}

ChildProcess LibraryFolder::Start(const std::filesystem::path& program,
                                  const std::vector<std::string>& args,
                                  const std::filesystem::path& output) {
  const std::filesystem::path copy = path() / program.filename();
  if (!std::filesystem::exists(copy)) std::filesystem::copy_file(program, copy);
  ChildProcess child;
  child.Start(copy, args, path(), output);
  return child;
}

bool WaitForFile(const std::filesystem::path& path, int seconds) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!std::filesystem::exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace test
}  // namespace brellox
