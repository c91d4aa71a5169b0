#include "tests/testutil/store_fixture.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "src/store/config_file.h"
#include "src/store/default_file.h"

namespace brellox {
namespace test {

ScopedTempDir::ScopedTempDir(const std::filesystem::path& parent) {
  static std::atomic<int> serial{0};
  std::random_device random;
  path_ = parent / ("brellox-test-" + std::to_string(random()) + "-" +
                    std::to_string(serial++));
  std::filesystem::create_directories(path_);
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void WriteSparseBytes(const std::filesystem::path& path,
                      const std::string& bytes) {
  constexpr std::size_t kBlock = 4096;
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::size_t at = 0; at < bytes.size(); at += kBlock) {
      const std::size_t n = std::min(kBlock, bytes.size() - at);
      const auto block = bytes.begin() + static_cast<std::ptrdiff_t>(at);
      if (std::all_of(block, block + static_cast<std::ptrdiff_t>(n),
                      [](char c) { return c == 0; })) {
        continue;
      }
      out.seekp(static_cast<std::streamoff>(at));
      out.write(bytes.data() + at, static_cast<std::streamsize>(n));
    }
  }
  std::filesystem::resize_file(path, bytes.size());
}

StoreFixture::StoreFixture()
    : path_(dir_.path() / kConfigFileName), env_(Env::Default()) {
  WriteBytes(path_, DefaultConfigImage());
}

SVR_CFG_HEADER StoreFixture::Header() const {
  SVR_CFG_HEADER header{};
  const std::string bytes = FileBytes();
  EXPECT_GE(bytes.size(), sizeof(header));
  std::memcpy(&header, bytes.data(), std::min(bytes.size(), sizeof(header)));
  return header;
}

void StoreFixture::SetHeader(const SVR_CFG_HEADER& header) const {
  std::string bytes = FileBytes();
  std::memcpy(&bytes[0], &header, sizeof(header));
  SetFileBytes(bytes);
}

void StoreFixture::CorruptByte(std::size_t offset) const {
  std::string bytes = FileBytes();
  bytes.at(offset) = static_cast<char>(~bytes.at(offset));
  SetFileBytes(bytes);
}

void StoreFixture::Truncate(std::size_t size) const {
  std::filesystem::resize_file(path_, size);
}

void StoreFixture::AttachLibraryFile() const {
  const std::string file = path_.string();
  ASSERT_LT(file.size(), sizeof(g_szCfgFile));
  std::memcpy(g_szCfgFile, file.c_str(), file.size() + 1);
}

void StoreFixture::AddRawOptionGroup(char fill) const {
  SVR_CFG_HEADER header = Header();
  std::string bytes = FileBytes();
  bytes.resize(LayoutEnd(header));
  bytes += std::string(sizeof(SVR_OPTION_GROUP), fill);
  header.optionGroupsCount += 1;
  std::memcpy(&bytes[0], &header, sizeof(header));
  SetFileBytes(bytes);
}

void StoreFixture::RemoveFile() const { std::filesystem::remove(path_); }

}  // namespace test
}  // namespace brellox
