// The configuration file's own name: whether a change may go through a
// symbolic link there, and whether the folders above it let others put
// another file in its place.
#ifndef BRELLOX_STORE_FILE_NAME_H_
#define BRELLOX_STORE_FILE_NAME_H_

#include <string>
#include <vector>

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

// For `brellox check`, and the tool before a change: a warning for each
// folder holding the file at `path`, from its own up to the root, that
// anyone but its owner and root may write (a group or others' write bit)
// and that has no sticky bit, naming the folder and the risk, as OpenSSH's
// StrictModes does: whoever may write it can rename another file into the
// file's place (or a folder on its way), forged passwords and all. The
// folders are those of the file's resolved path when it can be opened,
// else of `path` as given. None where the system tells no permission bits
// (Windows). The file's own group write, as packages set it, is by design
// and no concern here.
std::vector<std::string> FolderWarnings(Env* env, const std::string& path);

}  // namespace brellox

#endif  // BRELLOX_STORE_FILE_NAME_H_
