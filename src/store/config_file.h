// Opening the configuration file and reading and writing its header.
#ifndef BRELLOX_STORE_CONFIG_FILE_H_
#define BRELLOX_STORE_CONFIG_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/env.h"
#include "src/store/format.h"
#include "src/store/store.h"

namespace brellox {

// Opens the store's existing file for reading and writing, shared with other
// openers. NotFound when it is missing.
Status OpenConfigFile(const Store& store, std::unique_ptr<RandomRWFile>* file);

// Closes the file if it is open.
void CloseConfigFile(std::unique_ptr<RandomRWFile>* file);

// Reads the 428-byte header and checks that it describes a consistent layout
// within a file of the file's real size (ValidateHeader). Corrupt if not.
Status ReadHeader(RandomRWFile& file, SVR_CFG_HEADER* header);

// Corrupt unless: the connection table starts at 781; each table starts
// where the one before it ends (offset + record size × capacity, in the order
// connections, GDBs, users, privileges, option groups); 0 <= count <=
// capacity for the four tables; the option-group count is >= 0; and the file
// is at least as long as the end of the option-group table.
Status ValidateHeader(const SVR_CFG_HEADER& header, std::uint64_t file_size);

// The file offset just past the option-group table.
std::int64_t LayoutEnd(const SVR_CFG_HEADER& header);

Status WriteHeader(RandomRWFile& file, const SVR_CFG_HEADER& header);

// One exported call's hold on the file: the open handle and the header as
// read at the start of the call. Closes the file when destroyed.
class ConfigSession {
 public:
  ConfigSession() = default;
  ConfigSession(const ConfigSession&) = delete;
  ConfigSession& operator=(const ConfigSession&) = delete;
  ~ConfigSession() { CloseConfigFile(&file_); }

  // OpenConfigFile, then ReadHeader. On failure nothing was written.
  Status Open(const Store& store);

  RandomRWFile& file() { return *file_; }
  SVR_CFG_HEADER& header() { return header_; }
  const SVR_CFG_HEADER& header() const { return header_; }

  Status Read(std::int64_t offset, std::size_t n, void* destination) {
    return file_->Read(static_cast<std::uint64_t>(offset), n, destination);
  }
  Status Write(std::int64_t offset, const void* source, std::size_t n) {
    return file_->Write(static_cast<std::uint64_t>(offset), source, n);
  }
  // Writes the in-memory header back.
  Status WriteHeader() { return brellox::WriteHeader(*file_, header_); }

 private:
  std::unique_ptr<RandomRWFile> file_;
  SVR_CFG_HEADER header_{};
};

}  // namespace brellox

#endif  // BRELLOX_STORE_CONFIG_FILE_H_
