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

namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int length = MultiByteToWideChar(
      CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                      &wide[0], length);
  return wide;
}

// A file handle the child inherits as one of its standard streams, or the
// parent's own stream when no file is named; closed when leaving scope.
class StreamHandle {
 public:
  StreamHandle(const std::filesystem::path& path, bool write, DWORD parent) {
    if (path.empty()) {
      handle_ = GetStdHandle(parent);
      return;
    }
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    handle_ = CreateFileW(path.wstring().c_str(),
                          write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ,
                          &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    owned_ = handle_ != INVALID_HANDLE_VALUE;
  }
  ~StreamHandle() {
    if (owned_) CloseHandle(handle_);
  }
  StreamHandle(const StreamHandle&) = delete;
  StreamHandle& operator=(const StreamHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
  bool owned_ = false;
};

}  // namespace

bool ChildProcess::Start(const std::filesystem::path& program,
                         const std::vector<std::string>& args,
                         const std::filesystem::path& directory,
                         const StandardStreams& streams) {
  // The arguments the tests pass hold no quotes or trailing backslashes, so
  // quoting each one is all CommandLineToArgvW needs. The wide call passes
  // every character; the ANSI one would lose what the code page lacks.
  std::wstring command = L"\"" + program.wstring() + L"\"";
  for (const std::string& arg : args) command += L" \"" + Wide(arg) + L"\"";
  const StreamHandle in(streams.input, false, STD_INPUT_HANDLE);
  const StreamHandle out(streams.output, true, STD_OUTPUT_HANDLE);
  const StreamHandle err(streams.error, true, STD_ERROR_HANDLE);
  for (const StreamHandle* h : {&in, &out, &err}) {
    if (h->get() == INVALID_HANDLE_VALUE) return false;
  }
  // Without a file named, the child gets the parent's streams as the
  // system passes them, inheriting no handle.
  const bool redirected = !streams.input.empty() || !streams.output.empty() ||
                          !streams.error.empty();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (redirected) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
  }
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, redirected, 0,
                      nullptr, directory.wstring().c_str(), &startup, &info)) {
    return false;
  }
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
                         const StandardStreams& streams) {
  // Everything the child needs is built before fork: between fork and exec
  // only async-signal-safe calls are allowed in a threaded parent.
  std::vector<std::string> strings = {program.string()};
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(&s[0]);
  argv.push_back(nullptr);
  const std::string dir = directory.string();
  const struct {
    std::string path;
    int flags;
    int target;
  } redirects[] = {
      {streams.input.string(), O_RDONLY, STDIN_FILENO},
      {streams.output.string(), O_WRONLY | O_CREAT | O_TRUNC, STDOUT_FILENO},
      {streams.error.string(), O_WRONLY | O_CREAT | O_TRUNC, STDERR_FILENO},
  };
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    for (const auto& r : redirects) {
      if (r.path.empty()) continue;
      const int fd = open(r.path.c_str(), r.flags, 0600);
      if (fd < 0 || dup2(fd, r.target) < 0) _exit(126);
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
                                  const StandardStreams& streams) {
  const std::filesystem::path copy = path() / program.filename();
  if (!std::filesystem::exists(copy)) std::filesystem::copy_file(program, copy);
  ChildProcess child;
  child.Start(copy, args, path(), streams);
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
