// Where a loaded module (the program or a shared library) lies.
#ifndef BRELLOX_PLATFORM_MODULE_H_
#define BRELLOX_PLATFORM_MODULE_H_

#include <string>

namespace brellox {

// Sets `*directory` to the directory of the module that contains `address`
// (a function or object of that module), resolved to the file's real place
// and ending in the system's path separator, in UTF-8. Returns false,
// leaving `*directory` empty, when the system cannot tell.
bool GetModuleDirectory(const void* address, std::string* directory);

}  // namespace brellox

#endif  // BRELLOX_PLATFORM_MODULE_H_
