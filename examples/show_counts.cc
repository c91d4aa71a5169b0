// Loads the library, which creates its configuration file beside itself when
// missing, and prints what the configuration holds.
#include <cstdio>

#include "brellox/brellox.h"

int main() {
  char temp_dir[129] = {};
  Svr_GetTempDir(temp_dir, 128);
  std::printf("temp dir: '%s'\n", temp_dir);
  return 0;
}
