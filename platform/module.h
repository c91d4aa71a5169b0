// Where the library module itself was loaded from.
#ifndef BRELLOX_PLATFORM_MODULE_H_
#define BRELLOX_PLATFORM_MODULE_H_

#include <string>

namespace brellox {

// Sets `*directory` to the drive and directory of the module that contains
// this code, ending in the system's path separator. Returns false, leaving
// `*directory` empty, when the system cannot tell.
bool GetModuleDirectory(std::string* directory);

}  // namespace brellox

#endif  // BRELLOX_PLATFORM_MODULE_H_
