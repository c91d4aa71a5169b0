// Exported functions of the global option and the option groups.
#include "brellox/brellox.h"
#include "src/options/options.h"

using brellox::DefaultStore;
using brellox::Guarded;

SVR_LONG Svr_AddOptionInfo(char* name, SVR_LONG groupType,
                           CONFIG_OPTION* options, SVR_LONG count) {
  return Guarded(0, [&] {
    return brellox::AddOptionInfo(DefaultStore(), name, groupType, options,
                                  count);
  });
}

SVR_LONG Svr_GetOptionCount(char* name, SVR_LONG groupType) {
  return Guarded(-1, [&] {
    return brellox::GetOptionCount(DefaultStore(), name, groupType);
  });
}

SVR_LONG Svr_GetOptionInfo(char* name, SVR_LONG groupType,
                           CONFIG_OPTION* options, SVR_LONG count) {
  return Guarded(0, [&] {
    return brellox::GetOptionInfo(DefaultStore(), name, groupType, options,
                                  count);
  });
}

SVR_LONG Svr_SetOptionInfo(char* name, SVR_LONG groupType,
                           CONFIG_OPTION* options, SVR_LONG count) {
  return Guarded(0, [&] {
    return brellox::SetOptionInfo(DefaultStore(), name, groupType, options,
                                  count);
  });
}

SVR_LONG Svr_GetOptionInfo(char* name, SVR_LONG groupType, SVR_LONG index,
                           CONFIG_OPTION& option) {
  return Guarded(0, [&] {
    return brellox::GetOptionInfo(DefaultStore(), name, groupType, index,
                                  option);
  });
}

SVR_LONG Svr_SetOptionInfo(char* name, SVR_LONG groupType, SVR_LONG index,
                           CONFIG_OPTION& option) {
  return Guarded(0, [&] {
    return brellox::SetOptionInfo(DefaultStore(), name, groupType, index,
                                  option);
  });
}
