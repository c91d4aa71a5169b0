// The configuration file's own name: whether a change may go through a
// symbolic link there, and whether the folders above it let others put
// another file in its place.
#ifndef BRELLOX_STORE_FILE_NAME_H_
#define BRELLOX_STORE_FILE_NAME_H_

#include <string>

#include "platform/env.h"

namespace brellox {

// The folder that holds `path`: "." for a bare name, "/" for a name at the
// root.
std::string FolderOf(const std::string& path);

// OK when a change may be made to the file `path` led to, whose facts are
// `file`: the name is the file itself, or a symbolic link that belongs to
// root, to the caller or to the owner of the folder holding it (or whose
// owner the system does not tell). A link of anyone else could point the
// change, and root's replacement of the contents with it, at whatever file
// that user chose: Refused, naming the link and its owner. Busy when the
// name no longer leads to the file opened.
Status CheckNameForChange(Env* env, const std::string& path,
                          const FileFacts& file);

}  // namespace brellox

#endif  // BRELLOX_STORE_FILE_NAME_H_
