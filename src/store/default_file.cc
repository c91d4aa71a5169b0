#include "src/store/default_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

#include "src/store/format.h"
#include "src/store/journal_file.h"

namespace brellox {
namespace {

// GBK texts of the global option, written as bytes so the source stays ASCII.
// "Usable memory page count of the geodatabase".
constexpr unsigned char kGlobalOptionName[] = {
    0xb5, 0xd8, 0xc0, 0xed, 0xca, 0xfd, 0xbe, 0xdd, 0xbf, 0xe2, 0xbf,
    0xc9, 0xd3, 0xc3, 0xc4, 0xda, 0xb4, 0xe6, 0xd2, 0xb3, 0xca, 0xfd};
// "Sets the usable memory page count of the geodatabase".
constexpr unsigned char kGlobalOptionDescription[] = {
    0xc5, 0xe4, 0xd6, 0xc3, 0xb5, 0xd8, 0xc0, 0xed, 0xca,
    0xfd, 0xbe, 0xdd, 0xbf, 0xe2, 0xbf, 0xc9, 0xd3, 0xc3,
    0xc4, 0xda, 0xb4, 0xe6, 0xd2, 0xb3, 0xca, 0xfd};
constexpr std::int32_t kDefaultPageCount = 4096;
constexpr char kDefaultConnectionName[] = "KelmirLocal";
constexpr std::int32_t kDefaultSlots = 2;

}  // namespace

std::string DefaultConfigImage() {
  SVR_CFG_HEADER header{};
  std::memcpy(header.magic, kMagic, sizeof(header.magic));
  header.formatTag = kFormatTag;
  header.lastConnID = 1;
  std::int32_t offset = kFirstTableOffset;
  for (Section s : {Section::kConns, Section::kGdbs, Section::kUsers,
                    Section::kPrivs, Section::kOptionGroups}) {
    const bool slotted = s != Section::kOptionGroups;
    SetSection(
        &header, s,
        {offset, s == Section::kConns ? 1 : 0, slotted ? kDefaultSlots : 0});
    if (slotted) offset += kDefaultSlots * RecordSize(s);
  }

  CONFIG_OPTION global{};
  std::memcpy(global.name, kGlobalOptionName, sizeof(kGlobalOptionName));
  std::memcpy(global.value, &kDefaultPageCount, sizeof(kDefaultPageCount));
  global.type = SVR_OPTION_INT32;
  std::memcpy(global.description, kGlobalOptionDescription,
              sizeof(kGlobalOptionDescription));

  SVC_GDB_CONN_INFO connection{};
  connection.id = 1;
  std::memcpy(connection.name, kDefaultConnectionName,
              sizeof(kDefaultConnectionName));

  std::string image(kDefaultFileSize, '\0');
  std::memcpy(&image[0], &header, sizeof(header));
  std::memcpy(&image[kGlobalOptionOffset], &global, sizeof(global));
  std::memcpy(&image[kFirstTableOffset], &connection, sizeof(connection));
  return image;
}

Status CreateTemporaryBeside(Env* env, const std::string& path,
                             std::uint32_t mode, std::string* temporary_path,
                             std::unique_ptr<RandomRWFile>* file) {
  // Seeded once per thread from the system and the clock; the name only
  // needs to be unlikely to be taken, since creation is exclusive anyway.
  thread_local std::mt19937_64 random(std::random_device{}() ^
                                      env->NowMicros());
  constexpr int kAttempts = 16;
  // "~" and hex digits in the same folder, no longer than the file's own
  // name where it can be: a longer path could pass the system's limit
  // (260 bytes on Windows) when the file's own path does not.
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t name_length = path.size() - name_start;
  const int digits = static_cast<int>(std::min<std::size_t>(
      12, std::max<std::size_t>(8, name_length > 0 ? name_length - 1 : 0)));
  Status s;
  for (int i = 0; i < kAttempts; ++i) {
    char name[24];
    std::snprintf(name, sizeof(name), "~%0*llx", digits,
                  static_cast<unsigned long long>(
                      random() & ((std::uint64_t{1} << (4 * digits)) - 1)));
    *temporary_path = path.substr(0, name_start) + name;
    s = env->CreateExclusive(*temporary_path, mode, file);
    if (!s.IsAlreadyExists()) return s;
  }
  return s;
}

Status WriteFileAtomically(Env* env, const std::string& path,
                           const std::string& bytes, Publish publish,
                           std::uint32_t mode) {
  if (path.empty()) return Status::InvalidArgument("no path to write");
  std::string temporary;
  Status s;
  {
    std::unique_ptr<RandomRWFile> file;
    s = CreateTemporaryBeside(env, path, mode, &temporary, &file);
    if (!s.ok()) return s;
    s = file->Write(0, bytes.data(), bytes.size());
    if (s.ok()) s = file->Sync();
  }  // closed before the rename
  if (s.ok()) {
    s = publish == Publish::kReplace ? env->RenameReplacing(temporary, path)
                                     : env->RenameNoReplace(temporary, path);
  }
  if (s.ok()) return env->SyncDirectoryOf(path);
  env->RemoveFile(temporary);
  return s;
}

Status CreateConfigFile(Env* env, const std::string& path,
                        const std::string& image, std::uint32_t mode) {
  Status s = WriteFileAtomically(env, path, image, Publish::kIfMissing, mode);
  if (s.ok()) s = ResetJournalOfNewFile(env, path);
  return s;
}

Status CreateDefaultConfigFile(Env* env, const std::string& path) {
  return CreateConfigFile(env, path, DefaultConfigImage());
}

}  // namespace brellox
