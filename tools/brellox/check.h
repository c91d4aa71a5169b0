// Whether the texts of a configuration decode in the code page the tool
// was told: a change written in the wrong one would mix code pages in one
// file. The file's integrity rules are the library's (src/store/integrity.h).
#ifndef BRELLOX_TOOLS_BRELLOX_CHECK_H_
#define BRELLOX_TOOLS_BRELLOX_CHECK_H_

#include <string>

#include "tools/brellox/codec.h"
#include "tools/brellox/snapshot.h"

namespace brellox {
namespace tool {

// Where the first text of `snapshot` that does not decode in the codec's
// encoding lies ("user ID 3, field name"), followed for any field but a
// password by the text, its bytes that do not convert written as \xNN.
// Empty when every text decodes.
std::string FirstUndecodedText(const FileTables& snapshot, const Codec& codec);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_CHECK_H_
