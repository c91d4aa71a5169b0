// The integrity check of a configuration file: what `brellox check` reports,
// what an import must not produce, and what no call of the library may add
// to a file that passes it.
//
// Errors: a journal left beside the file that could not be rolled back; the
// header check fails (then nothing else is looked at); an ID of 0 or less,
// repeated in its table, or above its table's counter; two records of a
// table with the same name (option groups: the same type and name); a
// (user, privilege) pair stored twice; an option group whose type is 0 or
// less, or whose name runs to the end of its field without a NUL.
// Warnings: a journal of an interrupted change that opening the file
// resolved; bytes after the last table; a privilege of a user ID that no
// user has (removing a user may keep its privileges); a blank name; a free
// slot that is not all zero (each of the first DirtyFreeSlots::kMostListed
// of a table, then how many more). Nothing the library stores through its
// own functions is an error: names and passwords that fill their fields
// (user names of 30 bytes, connection and GDB names of 32, passwords of 64)
// are no finding at all.
#ifndef BRELLOX_STORE_INTEGRITY_H_
#define BRELLOX_STORE_INTEGRITY_H_

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "src/store/config_file.h"
#include "src/store/file_image.h"
#include "src/store/format.h"
#include "src/store/store.h"

namespace brellox {

// Which rule a finding breaks.
enum class Rule {
  kJournalLeft,
  kJournalResolved,
  kHeader,
  kIdNotAboveZero,
  kIdRepeated,
  kIdAboveCounter,
  kNameRepeated,
  kBlankName,
  kPrivilegeRepeated,
  kPrivilegeOfNoUser,
  kGroupTypeNotAboveZero,
  kGroupRepeated,
  kGroupNameUnterminated,
  kDirtyFreeSlot,
  kMoreDirtyFreeSlots,
  kTrailingBytes,
  kFolderWritable,
};

struct Finding {
  bool error;
  std::string message;
  Rule rule;
  // For a rule about one record: its table, and its index there (a free
  // slot's index for kDirtyFreeSlot). Whoever built the tables from another
  // source can point at the record there.
  Section table = Section::kConns;
  std::size_t record = 0;
};

// How a message shows a text of the file (a name), given its bytes up to
// their NUL: the tool shows them in the file's code page. Without one, a
// message holds the bytes as they are, as the library's reasons do.
using ShowText = std::function<std::string(const std::string& bytes)>;

// Every finding in `tables`, errors and warnings in the order found; its
// free slots are looked at as far as they were scanned (ScanFreeSlots).
std::vector<Finding> CheckTables(const FileTables& tables,
                                 const ShowText& show = nullptr);

// The same for a whole file image, whose header check comes first.
std::vector<Finding> CheckImage(const std::string& image,
                                const ShowText& show = nullptr);

// Opens `session` for reading as any call would (a change that a crash
// interrupted is rolled back first) and adds the findings of the folders
// that hold the file (warnings, file_name.h), of the journal beside the
// file and of the header; when it adds an error (a journal is
// left, or the header fails its check) the session is not open, else its
// tables are next (CheckSession). Returns what is no finding: a journal
// that cannot be located, or a file that cannot be opened (missing, busy,
// unreadable).
Status OpenForCheck(const Store& store, ConfigSession* session,
                    std::vector<Finding>* findings);

// Adds the findings of the session's tables and free slots. Returns a
// failure to read them.
Status CheckSession(ConfigSession& session, const ShowText& show,
                    std::vector<Finding>* findings);

}  // namespace brellox

#endif  // BRELLOX_STORE_INTEGRITY_H_
