#include "src/store/store.h"

namespace brellox {

char g_szCfgFile[kMaxPath];

Store DefaultStore() { return Store{Env::Default(), g_szCfgFile}; }

}  // namespace brellox
