#include "src/store/file_name.h"

namespace brellox {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  if (slash == 0) return path.substr(0, 1);
  return path.substr(0, slash);
}

Status CheckNameForChange(Env* env, const std::string& path,
                          const FileFacts& file) {
  FileFacts name;
  Status s = env->EntryFacts(path, &name);
  if (s.IsFileMissing() ||
      (s.ok() && name.regular &&
       (name.device != file.device || name.inode != file.inode))) {
    return Status::Busy(path + " was replaced while it was being opened");
  }
  if (!s.ok() || name.regular) return s;
  // The kernel's protected_symlinks rule, for every folder: the owner of
  // the folder could have put the file there anyway.
  if (name.owner.empty() || name.owner_is_administrator ||
      name.owner_is_caller) {
    return Status::OK();
  }
  FileFacts folder;
  // "/." so that a link naming the folder is followed to the folder.
  s = env->EntryFacts(FolderOf(path) + "/.", &folder);
  if (s.ok() && folder.owner == name.owner) return Status::OK();
  return Status::Refused(
      path + " is a symbolic link that belongs to user " + name.owner +
      ", who is neither this user, an administrator nor the owner of its "
      "folder; a change through it would write wherever that user points "
      "it, so it is refused: put the file itself at that name, or have the "
      "folder's owner make the link");
}

std::vector<std::string> FolderWarnings(Env* env, const std::string& path) {
  std::string resolved = path;
  std::unique_ptr<RandomRWFile> file;
  if (env->Open(path, OpenAccess::kReadOnly, &file).ok()) {
    file->ResolvedPath(&resolved);
  }
  std::vector<std::string> warnings;
  std::string folder = FolderOf(resolved);
  for (;;) {
    FileFacts facts;
    // "/." so that a link naming the folder is followed to the folder.
    if (!env->EntryFacts(folder + "/.", &facts).ok()) break;
    const bool others_write = (facts.mode & 0022) != 0;
    const bool sticky = (facts.mode & 01000) != 0;
    if (others_write && !sticky) {
      warnings.push_back(
          "folder " + folder + " can be written by " +
          ((facts.mode & 0002) != 0 ? "everyone" : "its group") +
          ", not only by its owner and root, and has no sticky bit: anyone "
          "who can write it can rename another file into the place of " +
          resolved +
          " (or of a folder on its way), and this library would read its "
          "passwords and write to it; remove that write access (chmod "
          "go-w) or set the sticky bit (chmod +t)");
    }
    const std::string above = FolderOf(folder);
    if (above == folder) break;
    folder = above;
  }
  return warnings;
}

}  // namespace brellox
