// Which journal belongs to a configuration file, and whether the journal
// found there can be trusted.
//
// Anyone who may write the file's folder can put a file of the journal's
// name there, and a journal tells recovery which bytes to write into the
// configuration file, and takes a writer's saved bytes (old passwords among
// them). So a journal is used only if it cannot have been planted: a
// regular file with one name, reached without following a link, owned by the
// file's owner (or an administrator), granting write access to nobody the
// file does not, and not the file itself. Every path to a file finds the
// same journal: its name comes from the file's resolved path.
#ifndef BRELLOX_STORE_JOURNAL_FILE_H_
#define BRELLOX_STORE_JOURNAL_FILE_H_

#include <memory>
#include <string>

#include "platform/env.h"

namespace brellox {

// Where a configuration file lies, as worked out by a process and
// confirmed by every call that takes the file's lock.
struct FilePlace {
  std::string folder;     // the folder of the file's resolved path
  std::string file_name;  // the last component of the file's resolved path
  std::string journal;    // the journal's path, from the file's resolved path
  // The file is mounted over its name on its own (a bind-mounted file), so
  // its folder is not where its journal can be kept safely.
  bool mounted_alone = false;
};

// The place of `file`, opened by `path`, whose facts are `facts`, and its
// folder, open, in `*folder`: the journal is opened, made and removed
// through it, so that it lies in the folder that holds the file whatever
// happens to the path meanwhile. Resolved once per process for each path
// and file identity and remembered; each later call confirms it (the folder
// opened by the resolved folder's path must hold this very file under its
// name), and resolves again when the file's folder, or one above it, was
// moved or the path re-pointed: a journal must never land where other
// processes do not look. Busy when the file moved while it was located.
Status LocateFile(Env* env, const std::string& path, const FileFacts& facts,
                  RandomRWFile* file, FilePlace* place,
                  std::unique_ptr<Folder>* folder);

// The journal's name in its folder.
std::string JournalName(const FilePlace& place);

// OK when the file `path` may be changed: it has exactly one name and is not
// mounted on its own, so that every change finds the one journal that every
// path to the file finds. Refused, saying why, otherwise; Busy when the file
// opened has no name left (it kept being replaced while it was opened).
Status CheckChangeable(const std::string& path, const FileFacts& facts,
                       const FilePlace& place);

// OK when `journal`, whose facts are given, can be trusted as the journal of
// the configuration file whose facts are `file`. Otherwise an IOError that
// names the journal, says why, and what to do.
Status CheckJournalTrusted(const std::string& journal_path,
                           const FileFacts& journal, const FileFacts& file);

// Opens the existing journal of the file at `place` in `folder` (the
// place's folder, as LocateFile opened it) for writing, without following a
// link, and checks it (CheckJournalTrusted) on the opened file. A trusted
// journal is given the file's owner, group and mode where they differ and
// the system allows. FileMissing when there is none.
Status OpenTrustedJournal(Folder* folder, const FilePlace& place,
                          const FileFacts& file,
                          std::unique_ptr<RandomRWFile>* journal);

// Creates the journal of the file at `place` in `folder` exclusively (never
// through a link), with the file's owner, group and mode, and syncs the
// folder. Only the file's owner or root can: for anyone else the journal is
// removed again and the reason returned. AlreadyExists when an entry of
// that name exists.
Status CreateJournal(Folder* folder, const FilePlace& place,
                     const FileFacts& file,
                     std::unique_ptr<RandomRWFile>* journal);

// The path of the journal of the configuration file at `path`.
Status JournalOf(Env* env, const std::string& path, std::string* journal);

// Gives the configuration file at `path`, just created, an idle journal of
// its own (ResetJournal, under the file's exclusive lock): one left by a
// removed file of that name must not undo the new one. For whoever creates
// a file, so that processes which may write the file but not its folder
// can use the journal.
Status ResetJournalOfNewFile(Env* env, const std::string& path);

// Clears whatever journal entry lies beside the file at `path` for a
// whole-file replacement, and creates a new, idle, trusted one: a trusted
// journal is cut to zero, an untrusted entry is removed (never written
// through) and a new journal created in its place. For a caller holding the
// file open for writing and locked exclusively; `facts`, `place` and
// `folder` are the file's.
Status ResetJournal(Folder* folder, const FileFacts& facts,
                    const FilePlace& place,
                    std::unique_ptr<RandomRWFile>* journal);

}  // namespace brellox

#endif  // BRELLOX_STORE_JOURNAL_FILE_H_
