#include "src/store/default_file.h"

#include <cstring>
#include <memory>

#include "src/store/format.h"

namespace brellox {
namespace {

// GBK texts of the global option, written as bytes so the source stays ASCII.
// "Usable memory page count of the geodatabase".
constexpr unsigned char kGlobalOptionName[] = {
    0xb5, 0xd8, 0xc0, 0xed, 0xca, 0xfd, 0xbe, 0xdd, 0xbf, 0xe2, 0xbf,
    0xc9, 0xd3, 0xc3, 0xc4, 0xda, 0xb4, 0xe6, 0xd2, 0xb3, 0xca, 0xfd};
// "Sets the usable memory page count of the geodatabase".
constexpr unsigned char kGlobalOptionDescription[] = {
    0xc5, 0xe4, 0xd6, 0xc3, 0xb5, 0xd8, 0xc0, 0xed, 0xca, 0xfd, 0xbe, 0xdd, 0xbf,
    0xe2, 0xbf, 0xc9, 0xd3, 0xc3, 0xc4, 0xda, 0xb4, 0xe6, 0xd2, 0xb3, 0xca, 0xfd};
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
    SetSection(&header, s, {offset, s == Section::kConns ? 1 : 0,
                            slotted ? kDefaultSlots : 0});
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

std::string TemporaryPathFor(const std::string& path) {
  std::string temporary = path;
  // Same length as `path`: a longer name could pass the system's path
  // limit (260 bytes on Windows) when the file's own path does not.
  temporary.back() = temporary.back() == '~' ? '#' : '~';
  return temporary;
}

Status WriteFileAtomically(Env* env, const std::string& path,
                           const std::string& bytes) {
  if (path.empty()) return Status::Refused("no path to write");
  const std::string temporary = TemporaryPathFor(path);
  Status s;
  {
    std::unique_ptr<RandomRWFile> file;
    s = env->CreateReplacing(temporary, &file);
    if (!s.ok()) return s;
    s = file->Write(0, bytes.data(), bytes.size());
    if (s.ok()) s = file->Sync();
  }  // closed before the rename
  if (s.ok()) s = env->RenameReplacing(temporary, path);
  if (!s.ok()) env->RemoveFile(temporary);
  return s;
}

Status CreateDefaultConfigFile(Env* env, const std::string& path) {
  return WriteFileAtomically(env, path, DefaultConfigImage());
}

}  // namespace brellox
