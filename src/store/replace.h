// Replacing the whole contents of a configuration file: restores and resets.
#ifndef BRELLOX_STORE_REPLACE_H_
#define BRELLOX_STORE_REPLACE_H_

#include <string>

#include "src/store/config_file.h"
#include "src/store/format.h"
#include "src/store/store.h"

namespace brellox {

// Replaces the whole contents of the file that `session` (opened kWrite or
// kReplace) holds with `image`, a whole file whose header describes a
// consistent layout (Refused otherwise), and makes session.header() the
// image's. Nothing reaches the file before Commit, which journals the
// change like any other, so that the file holds the old contents or the
// new, never a mixture (a damaged file is overwritten whole, without a
// journal: it was unusable).
Status ReplaceContents(ConfigSession& session, const std::string& image);

// Makes the file that `session` (opened kWrite) holds, whose bytes are
// `before`, hold `image` instead, another whole file whose header describes
// a consistent layout (Refused otherwise), writing only the blocks in which
// the two differ, so that a small change journals and writes little.
// As ReplaceContents, session.header() becomes the image's and nothing
// reaches the file before Commit.
Status WriteDifferences(ConfigSession& session, const std::string& before,
                        const std::string& image);

enum class IdCounters {
  kKeepHigher,  // never lower a counter: IDs are never issued twice
  kAsGiven,     // take the new image's counters, even lower ones
};

// What a replacement found in the file it replaced.
struct ReplaceOutcome {
  bool was_damaged = false;   // its header failed the check
  SVR_CFG_HEADER previous{};  // its header, when it was not damaged
  // Counters of the new contents raised to the file's, by kKeepHigher:
  // connection, GDB, user.
  bool kept_counter[3] = {false, false, false};
};

// Replaces the contents of the existing configuration file at `store.path`
// with `image` (ReplaceContents), as one change under the exclusive lock.
// The file keeps its identity, owner, group and mode, and a process holding
// it open sees the old contents or the new, never a mixture. Whatever journal lay
// beside it is cleared first (an untrusted one removed, never written
// through), so that nothing can undo the new contents later. A file whose
// header fails the check is overwritten whole without a journal (it was
// unusable; an interrupted overwrite leaves it unusable still).
Status ReplaceConfigFile(const Store& store, const std::string& image,
                         IdCounters counters, ReplaceOutcome* outcome);

}  // namespace brellox

#endif  // BRELLOX_STORE_REPLACE_H_
