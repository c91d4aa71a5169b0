// Env: the narrow boundary between the store and the operating system.
//
// Everything the store does to files goes through these two interfaces; one
// implementation per system (env_posix.cc, env_windows.cc) is chosen at build
// time, and tests wrap them to inject faults.
#ifndef BRELLOX_PLATFORM_ENV_H_
#define BRELLOX_PLATFORM_ENV_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/status.h"

namespace brellox {

// An open file addressed by absolute offsets. Not safe for concurrent use.
class RandomRWFile {
 public:
  RandomRWFile() = default;
  RandomRWFile(const RandomRWFile&) = delete;
  RandomRWFile& operator=(const RandomRWFile&) = delete;
  // Closes the file.
  virtual ~RandomRWFile() = default;

  // Reads exactly `n` bytes at `offset` into `dst`. Reaching the end of the
  // file first is an I/O error; `dst` then holds what was read.
  virtual Status Read(std::uint64_t offset, std::size_t n, void* dst) = 0;

  // Writes all `n` bytes at `offset`, extending the file if needed.
  virtual Status Write(std::uint64_t offset, const void* src,
                       std::size_t n) = 0;

  virtual Status Size(std::uint64_t* size) = 0;

  // Makes every completed write durable.
  virtual Status Sync() = 0;
};

class Env {
 public:
  Env() = default;
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;
  virtual ~Env() = default;

  // The system's Env; lives as long as the process.
  static Env* Default();

  // Opens an existing file for reading and writing, shared for reading and
  // writing with other openers. Fails when the file does not exist or is
  // not a regular file.
  virtual Status OpenExisting(const std::string& path,
                              std::unique_ptr<RandomRWFile>* result) = 0;

  // Creates `path` empty, replacing a file of that name, for reading and
  // writing, shared with nobody where the system can say so.
  virtual Status CreateReplacing(const std::string& path,
                                 std::unique_ptr<RandomRWFile>* result) = 0;

  // Renames `from` to `to` in one step, replacing a file named `to`.
  virtual Status RenameReplacing(const std::string& from,
                                 const std::string& to) = 0;

  virtual Status RemoveFile(const std::string& path) = 0;

  // True when any directory entry (file, directory, ...) has this path.
  virtual bool EntryExists(const std::string& path) = 0;
};

}  // namespace brellox

#endif  // BRELLOX_PLATFORM_ENV_H_
