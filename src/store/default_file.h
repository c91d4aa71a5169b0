// The configuration file a new installation starts with.
#ifndef BRELLOX_STORE_DEFAULT_FILE_H_
#define BRELLOX_STORE_DEFAULT_FILE_H_

#include <string>

#include "platform/env.h"

namespace brellox {

constexpr int kDefaultFileSize = 1701;

// The 1701 bytes of a new file: the header, the global option (usable memory
// page count, integer 4096), one connection "KelmirLocal" with ID 1, and
// empty GDB, user and privilege tables of two slots each.
std::string DefaultConfigImage();

// The name the default file is written under before it is renamed to
// `path` (not empty): `path` with its last character changed, so it is no
// longer than `path`.
std::string TemporaryPathFor(const std::string& path);

// Writes `bytes` as the file `path`, replacing any file there: written and
// synced under TemporaryPathFor(path), then renamed into place, so the file
// is complete or absent. On failure the temporary file is removed. Refused
// for an empty `path`.
Status WriteFileAtomically(Env* env, const std::string& path,
                           const std::string& bytes);

// Writes the default file at `path` with WriteFileAtomically.
Status CreateDefaultConfigFile(Env* env, const std::string& path);

}  // namespace brellox

#endif  // BRELLOX_STORE_DEFAULT_FILE_H_
