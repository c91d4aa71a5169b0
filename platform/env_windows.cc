#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"
#include "platform/path_folder.h"
#include "platform/utf16.h"

namespace brellox {
namespace {

std::string SystemMessage(DWORD error) {
  char text[512];
  DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, text, sizeof(text), nullptr);
  // System messages end in ".\r\n"; the line break does not belong in ours.
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == ' ')) {
    --length;
  }
  if (length == 0) return "system error " + std::to_string(error);
  return std::string(text, length);
}

// The wide (W) calls take every name; an empty result stands for a path
// that is not UTF-8, which names no file, so every call on it fails.
std::wstring Wide(const std::string& path) {
  std::wstring wide;
  Utf8ToUtf16(path, &wide);
  return wide;
}

// Every failure of a Win32 file call becomes a Status here, so that a missing
// file reads the same on every system.
Status WindowsError(const std::string& context, DWORD error) {
  std::string message = context + ": " + SystemMessage(error);
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return Status::FileMissing(std::move(message));
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return Status::AlreadyExists(std::move(message));
    case ERROR_ACCESS_DENIED:
      return Status::PermissionDenied(std::move(message));
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return Status::NoMemory(std::move(message));
    case ERROR_LOCK_VIOLATION:
    case ERROR_IO_PENDING:  // what a failed immediate lock may report
      return Status::Busy(std::move(message));
    default:
      return Status::IOError(std::move(message));
  }
}

Status LastError(const std::string& context) {
  return WindowsError(context, GetLastError());
}

// For calls whose every failure is an I/O error, whatever the system said.
Status AsIOError(Status s) {
  return s.ok() || s.IsIOError() ? s : Status::IOError(s.message());
}

// Memory the system allocated with LocalAlloc, freed when leaving scope.
struct LocalFreeDeleter {
  void operator()(void* memory) const { LocalFree(memory); }
};
template <class T>
using LocalMemory = std::unique_ptr<T, LocalFreeDeleter>;

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using ScopedHandle = std::unique_ptr<void, HandleCloser>;

// The user whose rights this thread acts with (the impersonated one, if
// any): the user a new file belongs to. As an SDDL SID string.
Status CurrentUserSid(std::wstring* sid) {
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
      !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return LastError("access token");
  }
  const ScopedHandle token_holder(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::unique_ptr<char[]> buffer(new char[size > 0 ? size : 1]);
  LPWSTR text = nullptr;
  if (size == 0 ||
      !GetTokenInformation(token, TokenUser, buffer.get(), size, &size) ||
      !ConvertSidToStringSidW(
          reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid, &text)) {
    return LastError("access token");
  }
  const LocalMemory<wchar_t> text_holder(text);
  *sid = text;
  return Status::OK();
}

// A protected access list (nothing inherited from the folder) giving full
// access to the current user, the system and the Administrators group, and
// to no one else: see kPrivateOnWindows for why those three.
Status PrivateSecurity(LocalMemory<void>* descriptor) {
  std::wstring user;
  Status s = CurrentUserSid(&user);
  if (!s.ok()) return s;
  const std::wstring sddl =
      L"D:P(A;;FA;;;" + user + L")(A;;FA;;;SY)(A;;FA;;;BA)";
  PSECURITY_DESCRIPTOR made = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          sddl.c_str(), SDDL_REVISION_1, &made, nullptr)) {
    return LastError("private access list");
  }
  descriptor->reset(made);
  return Status::OK();
}

// Which file an open handle holds, how big it is and how many names it has,
// in one call; on success only these fields of `*facts` are set.
Status HandleFacts(HANDLE handle, const std::string& path, FileFacts* facts) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return LastError(path);
  // A reparse point (a symbolic link, a junction, ...) is no regular file,
  // even where it is not a folder.
  facts->regular =
      (info.dwFileAttributes &
       (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
  facts->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                info.nFileSizeLow;
  facts->device = info.dwVolumeSerialNumber;
  facts->inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                 info.nFileIndexLow;
  facts->links = info.nNumberOfLinks;
  return Status::OK();
}

// The owner of an open file (null where the file system keeps none, as FAT
// does), valid while `descriptor` lives. The handle needs READ_CONTROL,
// which GENERIC_READ holds.
Status OwnerOf(HANDLE handle, const std::string& path, PSID* owner,
               LocalMemory<void>* descriptor) {
  PSECURITY_DESCRIPTOR made = nullptr;
  const DWORD error =
      GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner,
                      nullptr, nullptr, nullptr, &made);
  if (error != ERROR_SUCCESS) return WindowsError(path + ": owner", error);
  descriptor->reset(made);
  return Status::OK();
}

// A SID as SDDL text ("S-1-5-18"), in UTF-8.
Status SidText(PSID sid, const std::string& path, std::string* text) {
  LPWSTR wide = nullptr;
  if (!ConvertSidToStringSidW(sid, &wide)) return LastError(path + ": owner");
  const LocalMemory<wchar_t> wide_holder(wide);
  if (!Utf16ToUtf8(wide, text)) return Status::IOError(path + ": owner");
  return Status::OK();
}

// The owner facts of the object open as `handle` (with READ_CONTROL): its
// SID, and whether an administrator or the user this thread acts as owns
// it. Left empty where the file system keeps no owner.
Status OwnerFacts(HANDLE handle, const std::string& path, FileFacts* facts) {
  PSID owner = nullptr;
  LocalMemory<void> descriptor;
  Status s = OwnerOf(handle, path, &owner, &descriptor);
  if (!s.ok()) return s;
  facts->owner.clear();
  facts->owner_is_administrator = false;
  facts->owner_is_caller = false;
  if (owner == nullptr) return Status::OK();
  s = SidText(owner, path, &facts->owner);
  if (!s.ok()) return s;
  facts->owner_is_administrator =
      IsWellKnownSid(owner, WinLocalSystemSid) ||
      IsWellKnownSid(owner, WinBuiltinAdministratorsSid);
  std::wstring caller;
  std::string caller_text;
  facts->owner_is_caller = CurrentUserSid(&caller).ok() &&
                           Utf16ToUtf8(caller, &caller_text) &&
                           caller_text == facts->owner;
  return Status::OK();
}

// ReadFile and WriteFile move at most a DWORD's worth of bytes per call.
constexpr std::size_t kMaxTransfer = 1u << 30;

class WindowsFile final : public RandomRWFile {
 public:
  WindowsFile(std::string path, HANDLE handle)
      : path_(std::move(path)), handle_(handle) {}
  ~WindowsFile() override { CloseHandle(handle_); }

  Status Read(std::uint64_t offset, std::size_t n, void* dst) override {
    Status s = Seek(offset);
    if (!s.ok()) return s;
    char* out = static_cast<char*>(dst);
    while (n > 0) {
      DWORD got = 0;
      DWORD wanted = static_cast<DWORD>(n < kMaxTransfer ? n : kMaxTransfer);
      if (!ReadFile(handle_, out, wanted, &got, nullptr)) {
        return LastError(path_);
      }
      if (got == 0) return Status::IOError(path_ + ": unexpected end of file");
      out += got;
      n -= got;
    }
    return Status::OK();
  }

  Status Write(std::uint64_t offset, const void* src, std::size_t n) override {
    Status s = Seek(offset);
    if (!s.ok()) return s;
    const char* in = static_cast<const char*>(src);
    while (n > 0) {
      DWORD put = 0;
      DWORD wanted = static_cast<DWORD>(n < kMaxTransfer ? n : kMaxTransfer);
      if (!WriteFile(handle_, in, wanted, &put, nullptr)) {
        return LastError(path_);
      }
      // A disk file never takes zero bytes without an error; looping again
      // would never end.
      if (put == 0) return Status::IOError(path_ + ": nothing written");
      in += put;
      n -= put;
    }
    return Status::OK();
  }

  Status Size(std::uint64_t* size) override {
    LARGE_INTEGER length;
    if (!GetFileSizeEx(handle_, &length)) return LastError(path_);
    *size = static_cast<std::uint64_t>(length.QuadPart);
    return Status::OK();
  }

  Status Truncate(std::uint64_t size) override {
    Status s = Seek(size);
    if (!s.ok()) return s;
    if (!SetEndOfFile(handle_)) return LastError(path_);
    return Status::OK();
  }

  // Files the store writes are never marked sparse, so every byte of them
  // is allocated and may hold data: the scan just reads on.
  Status NextData(std::uint64_t offset, std::uint64_t* begin,
                  std::uint64_t* end) override {
    std::uint64_t size = 0;
    Status s = Size(&size);
    if (!s.ok()) return s;
    *begin = offset;
    *end = offset > size ? offset : size;
    return Status::OK();
  }

  Status Sync() override {
    if (!FlushFileBuffers(handle_)) return LastError(path_);
    return Status::OK();
  }

  Status Permissions(std::uint32_t* mode) override {
    *mode = kOwnerOnlyMode;  // access is the folder's, inherited
    return Status::OK();
  }

  // A file opened here cannot lose its last name while it is open (no
  // opener shares deletion), so `links` never reads 0 on Windows.
  Status Facts(FileFacts* facts) override {
    FileFacts got = *facts;  // keeps mount_id
    Status s = HandleFacts(handle_, path_, &got);
    if (s.ok()) s = OwnerFacts(handle_, path_, &got);
    if (!s.ok()) return s;
    got.mode = kOwnerOnlyMode;  // access is the access list's
    got.group.clear();
    *facts = got;
    return Status::OK();
  }

  // Windows mounts volumes on empty folders only, never one file over
  // another's name, and the volume a file lies on is already its `device`:
  // there is nothing more to tell.
  Status MountOf(std::uint64_t* mount_id) override {
    *mount_id = 0;
    return Status::OK();
  }

  Status ResolvedPath(std::string* path) override {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
      const DWORD length = GetFinalPathNameByHandleW(
          handle_, &name[0], static_cast<DWORD>(name.size()),
          FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
      if (length == 0) return AsIOError(LastError(path_ + ": resolved path"));
      // Too small a buffer gives the size wanted, the terminator counted;
      // success the length, without it.
      const bool done = length < name.size();
      name.resize(length);
      if (done) break;
    }
    // The system answers in its own long-path form: "\\?\C:\..." or
    // "\\?\UNC\server\share\...", which ordinary calls write without it.
    constexpr std::wstring_view kUnc = L"\\\\?\\UNC\\";
    constexpr std::wstring_view kLong = L"\\\\?\\";
    if (name.compare(0, kUnc.size(), kUnc) == 0) {
      name.replace(0, kUnc.size(), L"\\\\");
    } else if (name.compare(0, kLong.size(), kLong) == 0) {
      name.erase(0, kLong.size());
    }
    std::string resolved;
    if (!Utf16ToUtf8(name, &resolved)) {
      return Status::IOError(path_ + ": resolved path is not Unicode");
    }
    *path = std::move(resolved);
    return Status::OK();
  }

  // The access list decides who may use a file, not its owner; but the owner
  // may always change that list, so the file is handed over when the caller
  // may (the restore privilege, enabled, lets one give a file to anyone).
  // Only the owner is compared and given: group and bits mean nothing here.
  Status TakeOwnershipOf(const FileFacts& model) override {
    PSID wanted = nullptr;
    if (!ConvertStringSidToSidW(Wide(model.owner).c_str(), &wanted)) {
      return Status::IOError(path_ + ": owner \"" + model.owner +
                             "\" is not a SID");
    }
    const LocalMemory<void> wanted_holder(wanted);
    PSID owner = nullptr;
    LocalMemory<void> descriptor;
    Status s = OwnerOf(handle_, path_, &owner, &descriptor);
    if (!s.ok()) return AsIOError(s);
    if (owner != nullptr && EqualSid(owner, wanted)) return Status::OK();

    // This open may read and write, not change the owner: another open of
    // the same file (not of its name) asks for that right alone.
    const std::string refused =
        path_ + ": cannot give the file to " + model.owner;
    HANDLE reopened =
        ReOpenFile(handle_, WRITE_OWNER,
                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                   FILE_FLAG_BACKUP_SEMANTICS);
    if (reopened == INVALID_HANDLE_VALUE) return AsIOError(LastError(refused));
    const ScopedHandle reopened_holder(reopened);
    const DWORD error =
        SetSecurityInfo(reopened, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                        wanted, nullptr, nullptr, nullptr);
    if (error != ERROR_SUCCESS) return AsIOError(WindowsError(refused, error));
    // Some file systems (FAT, Wine's) accept an owner and keep none: only
    // the owner read back counts.
    s = OwnerOf(handle_, path_, &owner, &descriptor);
    if (!s.ok()) return AsIOError(s);
    if (owner == nullptr || !EqualSid(owner, wanted)) {
      return Status::IOError(refused + ": the file system keeps its owner");
    }
    return Status::OK();
  }

  // Windows locks are mandatory and per handle: the store only ever locks
  // bytes far past its data, so that no program's reads are refused.
  Status TryLock(std::uint64_t offset, std::uint64_t length,
                 LockMode mode) override {
    OVERLAPPED at = RangeStart(offset);
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY;
    if (mode == LockMode::kExclusive) flags |= LOCKFILE_EXCLUSIVE_LOCK;
    if (!LockFileEx(handle_, flags, 0, Low(length), High(length), &at)) {
      return LastError(path_ + ": lock");
    }
    return Status::OK();
  }

  Status Unlock(std::uint64_t offset, std::uint64_t length) override {
    OVERLAPPED at = RangeStart(offset);
    if (!UnlockFileEx(handle_, 0, Low(length), High(length), &at)) {
      return LastError(path_ + ": unlock");
    }
    return Status::OK();
  }

 private:
  static DWORD Low(std::uint64_t value) { return static_cast<DWORD>(value); }
  static DWORD High(std::uint64_t value) {
    return static_cast<DWORD>(value >> 32);
  }
  static OVERLAPPED RangeStart(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = Low(offset);
    at.OffsetHigh = High(offset);
    return at;
  }

  Status Seek(std::uint64_t offset) {
    if (offset >
        static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max())) {
      return Status::IOError(path_ + ": offset");
    }
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(handle_, position, nullptr, FILE_BEGIN)) {
      return LastError(path_);
    }
    return Status::OK();
  }

  const std::string path_;
  const HANDLE handle_;
};

// A folder held by a handle that shares no deletion: while it is open the
// folder itself cannot be renamed or removed. Its entries are reached
// through the path that opened it.
class WindowsFolder final : public PathFolder {
 public:
  WindowsFolder(Env* env, std::string path, HANDLE handle)
      : PathFolder(env, std::move(path), '\\'), handle_(handle) {}
  ~WindowsFolder() override { CloseHandle(handle_); }

 private:
  const HANDLE handle_;
};

class WindowsEnv final : public Env {
 public:
  Status Open(const std::string& path, OpenAccess access,
              std::unique_ptr<RandomRWFile>* result) override {
    const DWORD rights = access == OpenAccess::kReadOnly
                             ? GENERIC_READ
                             : GENERIC_READ | GENERIC_WRITE;
    return OpenHandle(path, rights, OPEN_EXISTING, nullptr, result);
  }

  // The last component is opened as it is, reparse point or not, and only
  // a plain file is kept. Reparse points in the folders above are followed.
  Status OpenNoFollow(const std::string& path, OpenAccess access,
                      std::unique_ptr<RandomRWFile>* result) override {
    const DWORD rights = access == OpenAccess::kReadOnly
                             ? GENERIC_READ
                             : GENERIC_READ | GENERIC_WRITE;
    return OpenHandle(path, rights, OPEN_EXISTING, nullptr, result,
                      /*follow=*/false);
  }

  // The entry itself, opened for its attributes only: that takes no share
  // of the file from anyone, so it works while others hold the file open.
  Status EntryFacts(const std::string& path, FileFacts* facts) override {
    HANDLE handle = CreateFileW(
        Wide(path).c_str(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastError(path);
    const ScopedHandle holder(handle);
    if (GetFileType(handle) != FILE_TYPE_DISK) {  // a device: nothing to tell
      facts->regular = false;
      facts->size = facts->device = facts->inode = facts->links = 0;
      return Status::OK();
    }
    FileFacts got;
    Status s = HandleFacts(handle, path, &got);
    if (!s.ok()) return s;
    // Who made a link or a folder decides whether a change may pass through
    // it. Asked on a second handle, so that an entry whose access list
    // withholds READ_CONTROL still tells the rest.
    if (!got.regular) {
      HANDLE owned = CreateFileW(
          Wide(path).c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
          OPEN_EXISTING,
          FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (owned != INVALID_HANDLE_VALUE) {
        const ScopedHandle owned_holder(owned);
        OwnerFacts(owned, path, &got);
      }
    }
    *facts = got;
    return Status::OK();
  }

  // See WindowsFile::MountOf.
  Status MountOfFolder(const std::string&, std::uint64_t* mount_id) override {
    *mount_id = 0;
    return Status::OK();
  }

  // The permission bits of `mode` have no meaning here: a new file takes
  // the access its folder passes on, unless it is to be private.
  Status CreateExclusive(const std::string& path, std::uint32_t mode,
                         std::unique_ptr<RandomRWFile>* result) override {
    if ((mode & kPrivateOnWindows) == 0) {
      return OpenHandle(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, nullptr,
                        result);
    }
    result->reset();
    LocalMemory<void> descriptor;
    const Status s = PrivateSecurity(&descriptor);
    if (!s.ok()) return Status::IOError(path + ": " + s.message());
    SECURITY_ATTRIBUTES security{sizeof(security), descriptor.get(), FALSE};
    return OpenHandle(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, &security,
                      result);
  }

  Status RenameReplacing(const std::string& from,
                         const std::string& to) override {
    if (!MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return LastError(from);
    }
    return Status::OK();
  }

  Status RenameNoReplace(const std::string& from,
                         const std::string& to) override {
    if (!MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                     MOVEFILE_WRITE_THROUGH)) {
      return LastError(to);
    }
    return Status::OK();
  }

  Status RemoveFile(const std::string& path) override {
    if (!DeleteFileW(Wide(path).c_str())) return LastError(path);
    return Status::OK();
  }

  bool EntryExists(const std::string& path) override {
    if (GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES) {
      return true;
    }
    // Only a definite "no such entry" counts as absent: an entry that cannot
    // be looked at (no rights, in use) must not be replaced.
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
  }

  Status FileSize(const std::string& path, std::uint64_t* size) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard,
                              &data)) {
      return LastError(path);
    }
    *size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
            data.nFileSizeLow;
    return Status::OK();
  }

  Status SyncDirectoryOf(const std::string&) override { return Status::OK(); }

  Status OpenFolder(const std::string& path,
                    std::unique_ptr<Folder>* result) override {
    result->reset();
    HANDLE handle =
        CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastError(path);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      CloseHandle(handle);
      return Status::IOError(path + ": not a folder");
    }
    result->reset(new WindowsFolder(this, path, handle));
    return Status::OK();
  }

  bool Variable(const std::string& name, std::string* value) override {
    std::wstring wide_name;
    if (!Utf8ToUtf16(name, &wide_name)) return false;
    const wchar_t* found = _wgetenv(wide_name.c_str());
    return found != nullptr && Utf16ToUtf8(found, value);
  }

  std::string CallerIdentity() override {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    std::string identity;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<char> buffer(size);
    wchar_t* text = nullptr;
    if (size != 0 &&
        GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidW(
            reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
      if (!Utf16ToUtf8(text, &identity)) identity.clear();
      LocalFree(text);
    }
    CloseHandle(token);
    return identity;
  }

  std::uint64_t NowMicros() override { return GetTickCount64() * 1000u; }

  void SleepForMicroseconds(int micros) override {
    Sleep(static_cast<DWORD>((micros + 999) / 1000));
  }

 private:
  // Shared for reading and writing with every other opener, as the
  // configuration file always was: the store's own locks keep calls apart.
  // Unless `follow`, a reparse point as the last component is opened itself
  // and refused.
  static Status OpenHandle(const std::string& path, DWORD rights,
                           DWORD disposition, SECURITY_ATTRIBUTES* security,
                           std::unique_ptr<RandomRWFile>* result,
                           bool follow = true) {
    result->reset();
    const DWORD flags =
        FILE_ATTRIBUTE_NORMAL | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE handle = CreateFileW(Wide(path).c_str(), rights,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, security,
                                disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastError(path);
    ScopedHandle holder(handle);
    // Device names ("CON", "NUL", pipes) open too, but hold no file.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
      return Status::IOError(path + ": not a regular file");
    }
    if (!follow) {
      FileFacts facts;
      const Status s = HandleFacts(handle, path, &facts);
      if (!s.ok()) return s;
      if (!facts.regular) {
        return Status::IOError(path + ": a link or folder, not a regular file");
      }
    }
    result->reset(new WindowsFile(path, holder.get()));
    holder.release();  // the file closes it now
    return Status::OK();
  }
};

}  // namespace

Env* Env::Default() {
  // Made in static storage and never destroyed (see env.h): valid at the
  // module's detach whatever order it and the static destructors run in,
  // and an unloaded copy of the library leaves no heap block behind.
  alignas(WindowsEnv) static unsigned char storage[sizeof(WindowsEnv)];
  static Env* const env = new (storage) WindowsEnv;
  return env;
}

}  // namespace brellox
