// How values enter stored options, apart from any file.
#ifndef BRELLOX_OPTIONS_COPY_OPTION_VALUES_H_
#define BRELLOX_OPTIONS_COPY_OPTION_VALUES_H_

#include "brellox/brellox.h"

namespace brellox {

// The one rule by which values enter stored options: for each position
// i < count, the value of source[i] is copied into destination[i] in the
// form that destination[i]'s stored type prescribes: text (0) up to and
// including its NUL, int32 (4) bytes 0-3, double (7) bytes 0-7, block (13)
// all 128 bytes; any other code takes nothing. Nothing but those value bytes
// of destination[i] changes, and nothing but source[i].value is read: a text
// with no NUL in its 128 bytes is stored as its first 127 bytes and a NUL.
// count <= 0 changes nothing. Returns 1.
SVR_LONG CopyOptionValues(CONFIG_OPTION* destination,
                          const CONFIG_OPTION* source, SVR_LONG count);

}  // namespace brellox

#endif  // BRELLOX_OPTIONS_COPY_OPTION_VALUES_H_
