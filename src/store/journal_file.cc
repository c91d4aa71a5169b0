#include "src/store/journal_file.h"

#include <map>
#include <mutex>
#include <tuple>

#include "platform/fork_safe_mutex.h"
#include "src/store/file_lock.h"
#include "src/store/file_name.h"
#include "src/store/journal.h"

namespace brellox {
namespace {

// Resolving a path costs a readlink and two statx calls; a call costs few
// more system calls than that, so each file's place is worked out once per
// process and then only confirmed. The key holds the path as given and the
// identity it led to: a path that now leads to another file is resolved
// anew.
struct PlaceKey {
  std::string path;
  std::uint64_t device;
  std::uint64_t inode;
  bool operator<(const PlaceKey& other) const {
    return std::tie(device, inode, path) <
           std::tie(other.device, other.inode, other.path);
  }
};

class PlaceCache {
 public:
  bool Find(const PlaceKey& key, FilePlace* place) {
    std::lock_guard<std::mutex> hold(mutex_);
    auto it = places_.find(key);
    if (it == places_.end()) return false;
    *place = it->second;
    return true;
  }

  void Remember(const PlaceKey& key, const FilePlace& place) {
    std::lock_guard<std::mutex> hold(mutex_);
    // A process works with a handful of files; one that walks through many
    // (a test, a tool run over a fleet) starts over rather than grow.
    if (places_.size() >= kMaxPlaces) places_.clear();
    places_[key] = place;
  }

 private:
  static constexpr std::size_t kMaxPlaces = 64;
  ForkSafeMutex mutex_;
  std::map<PlaceKey, FilePlace> places_;
};

PlaceCache& Places() {
  // Never destroyed: a call may run on another thread while the process
  // exits.
  static PlaceCache* cache = new PlaceCache;
  return *cache;
}

std::string Untrusted(const std::string& journal_path, const std::string& why) {
  return "journal " + journal_path + " cannot be trusted: " + why +
         "; nothing was read from it or written to it. If no change of the "
         "configuration file was interrupted, remove it; if one was, give it "
         "the file's owner, group and mode";
}

// Opens the folder of `place` into `*folder` and tells whether it holds
// the file whose facts are `facts` under the place's name.
Status OpenPlaceFolder(Env* env, const FilePlace& place, const FileFacts& facts,
                       std::unique_ptr<Folder>* folder, bool* holds) {
  *holds = false;
  Status s = env->OpenFolder(place.folder, folder);
  if (!s.ok()) return s;
  FileFacts there;
  *holds = (*folder)->EntryFacts(place.file_name, &there).ok() &&
           there.device == facts.device && there.inode == facts.inode;
  return Status::OK();
}

}  // namespace

std::string JournalName(const FilePlace& place) {
  return place.file_name + kJournalSuffix;
}

Status LocateFile(Env* env, const std::string& path, const FileFacts& facts,
                  RandomRWFile* file, FilePlace* place,
                  std::unique_ptr<Folder>* folder) {
  const PlaceKey key{path, facts.device, facts.inode};
  bool holds = false;
  if (Places().Find(key, place) &&
      OpenPlaceFolder(env, *place, facts, folder, &holds).ok() && holds) {
    return Status::OK();
  }
  folder->reset();
  std::string resolved;
  Status s = file->ResolvedPath(&resolved);
  if (!s.ok()) return s;
  FilePlace found;
  found.folder = FolderOf(resolved);
  found.file_name = BaseName(resolved);
  found.journal = JournalPathFor(resolved);
  std::uint64_t file_mount = 0;
  std::uint64_t folder_mount = 0;
  s = file->MountOf(&file_mount);
  if (s.ok()) s = env->MountOfFolder(resolved, &folder_mount);
  if (s.ok()) s = OpenPlaceFolder(env, found, facts, folder, &holds);
  if (!s.ok()) return s;
  if (!holds) {
    folder->reset();
    return Status::Busy(path + " was moved while it was being opened");
  }
  found.mounted_alone =
      file_mount != 0 && folder_mount != 0 && file_mount != folder_mount;
  Places().Remember(key, found);
  *place = found;
  return Status::OK();
}

Status CheckChangeable(const std::string& path, const FileFacts& facts,
                       const FilePlace& place) {
  if (facts.links == 0) {
    return Status::Busy(path +
                        " was replaced again and again while it was "
                        "being opened");
  }
  if (facts.links > 1) {
    return Status::Refused(
        path + " has " + std::to_string(facts.links) +
        " names (hard links), and a change made through one name could be "
        "undone through another; it can be read, but changed only once it "
        "has one name");
  }
  if (place.mounted_alone) {
    return Status::Refused(
        path +
        " is mounted over its name on its own, so its journal could "
        "not be kept beside it safely; it can be read, but changed "
        "only where it is not mounted alone");
  }
  return Status::OK();
}

Status CheckJournalTrusted(const std::string& journal_path,
                           const FileFacts& journal, const FileFacts& file) {
  if (!journal.regular) {
    return Status::IOError(
        Untrusted(journal_path,
                  "it is a link, a folder or a device, not a regular file"));
  }
  if (journal.device == file.device && journal.inode == file.inode) {
    return Status::IOError(
        Untrusted(journal_path, "it is the configuration file itself"));
  }
  if (journal.links != 1) {
    return Status::IOError(Untrusted(
        journal_path,
        "it has " + std::to_string(journal.links) + " names (hard links)"));
  }
  if (journal.owner != file.owner && !journal.owner_is_administrator) {
    return Status::IOError(Untrusted(
        journal_path, "it belongs to user " + journal.owner +
                          ", the configuration file to user " + file.owner));
  }
  // Write access the journal grants beyond the file's would let someone who
  // may not change the file change it through the journal.
  const bool others_write_file = (file.mode & 0002) != 0;
  const bool group_writes_file =
      others_write_file ||
      ((file.mode & 0020) != 0 && journal.group == file.group);
  if (((journal.mode & 0002) != 0 && !others_write_file) ||
      ((journal.mode & 0020) != 0 && !group_writes_file)) {
    return Status::IOError(
        Untrusted(journal_path,
                  "it lets others write it whom the configuration file "
                  "does not let write"));
  }
  return Status::OK();
}

Status OpenTrustedJournal(Folder* folder, const FilePlace& place,
                          const FileFacts& file,
                          std::unique_ptr<RandomRWFile>* journal) {
  const std::string name = JournalName(place);
  Status s = folder->OpenNoFollow(name, OpenAccess::kReadWrite, journal);
  if (s.IsIOError()) {
    // A link, a folder or a device: say what is wrong with it, not that
    // the open failed.
    FileFacts entry;
    if (folder->EntryFacts(name, &entry).ok() && !entry.regular) {
      return CheckJournalTrusted(place.journal, entry, file);
    }
  }
  FileFacts facts;
  if (s.ok()) s = (*journal)->Facts(&facts);
  if (s.ok()) s = CheckJournalTrusted(place.journal, facts, file);
  if (!s.ok()) {
    journal->reset();
    return s;
  }
  if (facts.owner != file.owner || facts.group != file.group ||
      facts.mode != file.mode) {
    // Root made it; hand it to the file's owner so that the service that
    // owns the file can use it. Failing that it is still safe to use.
    (*journal)->TakeOwnershipOf(file);
  }
  return Status::OK();
}

Status CreateJournal(Folder* folder, const FilePlace& place,
                     const FileFacts& file,
                     std::unique_ptr<RandomRWFile>* journal) {
  const std::string name = JournalName(place);
  Status s = folder->CreateExclusive(name, file.mode, journal);
  if (!s.ok()) return s;
  s = (*journal)->TakeOwnershipOf(file);
  if (!s.ok()) {
    // Nobody could trust a journal of another owner than the file's, and
    // one left behind would stop every later call.
    journal->reset();
    folder->RemoveFile(name);
    return Status::IOError(
        "the configuration file has no journal " + place.journal +
        ", and only its owner (user " + file.owner +
        ") or an administrator may create one: make one change as that user "
        "first (" +
        s.message() + ")");
  }
  // Its name must survive a power cut as long as the file may need it.
  return folder->Sync();
}

namespace {

// Opens the configuration file at `path` and works out its place.
Status OpenAndLocate(Env* env, const std::string& path, OpenAccess access,
                     std::unique_ptr<RandomRWFile>* file, FileFacts* facts,
                     FilePlace* place, std::unique_ptr<Folder>* folder) {
  Status s = env->Open(path, access, file);
  if (s.ok()) s = (*file)->Facts(facts);
  if (s.ok()) s = LocateFile(env, path, *facts, file->get(), place, folder);
  return s;
}

}  // namespace

Status JournalOf(Env* env, const std::string& path, std::string* journal) {
  std::unique_ptr<RandomRWFile> file;
  FileFacts facts;
  FilePlace place;
  std::unique_ptr<Folder> folder;
  Status s = OpenAndLocate(env, path, OpenAccess::kReadOnly, &file, &facts,
                           &place, &folder);
  if (s.ok()) *journal = place.journal;
  return s;
}

Status ResetJournalOfNewFile(Env* env, const std::string& path) {
  std::unique_ptr<RandomRWFile> file;
  FileFacts facts;
  FilePlace place;
  std::unique_ptr<Folder> folder;
  Status s = OpenAndLocate(env, path, OpenAccess::kReadWrite, &file, &facts,
                           &place, &folder);
  FileLock lock;
  if (s.ok()) s = lock.Acquire(env, file.get(), LockMode::kExclusive);
  std::unique_ptr<RandomRWFile> journal;
  if (s.ok()) s = ResetJournal(folder.get(), facts, place, &journal);
  return s;
}

Status ResetJournal(Folder* folder, const FileFacts& facts,
                    const FilePlace& place,
                    std::unique_ptr<RandomRWFile>* journal) {
  journal->reset();
  Status s = OpenTrustedJournal(folder, place, facts, journal);
  if (s.ok()) {
    s = (*journal)->Truncate(0);
    if (s.ok()) s = (*journal)->Sync();
    return s;
  }
  if (!s.IsFileMissing()) {
    // Removing the entry never follows it: a link goes, not its target.
    // A folder stays: what is in it is not ours to remove.
    const Status removed = folder->RemoveFile(JournalName(place));
    if (!removed.ok() && !removed.IsFileMissing()) {
      return Status::IOError(s.message() +
                             "; it could not be removed: " + removed.message());
    }
  }
  s = CreateJournal(folder, place, facts, journal);
  if (s.IsAlreadyExists()) {
    return Status::IOError("journal " + place.journal +
                           " was put back while it was being replaced");
  }
  return s;
}

}  // namespace brellox
