// A second process for the module tests: links brellox.dll through its
// import library, so it loads the copy that sits beside it, and runs one
// request. Exit status 0 when the request succeeded, 1 when it did not, 2 for
// a malformed command line.
//
//   module_probe add NAME PASSWORD     Svr_AddUser returned an ID
//   module_probe check NAME PASSWORD   Svr_CheckUser returned 1
//   module_probe temp-is TEXT          Svr_GetTempDir read exactly TEXT
#include <cstring>
#include <string>

#include "brellox/brellox.h"

int main(int argc, char** argv) {
  const std::string verb = argc > 1 ? argv[1] : "";
  if (verb == "add" && argc == 4) {
    return Svr_AddUser(argv[2], argv[3]) > 0 ? 0 : 1;
  }
  if (verb == "check" && argc == 4) {
    return Svr_CheckUser(argv[2], argv[3]) == 1 ? 0 : 1;
  }
  if (verb == "temp-is" && argc == 3) {
    char buffer[129] = {};
    if (Svr_GetTempDir(buffer, 128) != 1) return 1;
    return std::strcmp(buffer, argv[2]) == 0 ? 0 : 1;
  }
  return 2;
}
