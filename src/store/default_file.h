// The configuration file a new installation starts with.
#ifndef BRELLOX_STORE_DEFAULT_FILE_H_
#define BRELLOX_STORE_DEFAULT_FILE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "platform/env.h"

namespace brellox {

constexpr int kDefaultFileSize = 1701;

// The 1701 bytes of a new file: the header, the global option (usable memory
// page count, integer 4096), one connection "KelmirLocal" with ID 1, and
// empty GDB, user and privilege tables of two slots each.
std::string DefaultConfigImage();

// Creates a new, empty file beside `path` under a name no other entry has
// ("~" and random hex digits, in the same folder), exclusively and with
// permission bits `mode`. Its
// name is stored in `*temporary_path`.
Status CreateTemporaryBeside(Env* env, const std::string& path,
                             std::uint32_t mode, std::string* temporary_path,
                             std::unique_ptr<RandomRWFile>* file);

// How a complete file takes its name.
enum class Publish {
  kReplace,    // replacing any file of that name
  kIfMissing,  // AlreadyExists, with nothing changed, if the name is taken
};

// Writes `bytes` as the file `path`: written and synced under a temporary
// name (CreateTemporaryBeside with `mode`, which the published file keeps),
// then renamed into place and the directory synced, so the file is
// complete or absent. The temporary file is removed whatever happens.
// InvalidArgument for an empty `path`.
Status WriteFileAtomically(Env* env, const std::string& path,
                           const std::string& bytes,
                           Publish publish = Publish::kReplace,
                           std::uint32_t mode = kOwnerOnlyMode);

// Creates the configuration file `path` holding `image`, with
// WriteFileAtomically and permission bits `mode`, unless a file of that name
// appears first (AlreadyExists): several processes may start at once, and
// the first file published, perhaps changed already, is the one that stays.
// Its journal is created with it, with the same owner and mode, so that
// processes that may write the file but not its folder can change it.
Status CreateConfigFile(Env* env, const std::string& path,
                        const std::string& image,
                        std::uint32_t mode = kOwnerOnlyMode);

// CreateConfigFile with the default image.
Status CreateDefaultConfigFile(Env* env, const std::string& path);

}  // namespace brellox

#endif  // BRELLOX_STORE_DEFAULT_FILE_H_
