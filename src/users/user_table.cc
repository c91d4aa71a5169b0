#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "src/store/in_session.h"
#include "src/store/read_cache.h"
#include "src/store/table.h"
#include "src/store/text.h"
#include "src/users/users.h"

namespace brellox {
namespace {

constexpr std::size_t kNameWidth = sizeof(SVR_USER_REC::name);
constexpr std::size_t kPasswordWidth = sizeof(SVR_USER_REC::password);

const char* NameField(const TableImage& users, std::int32_t i) {
  return users.record(i) + offsetof(SVR_USER_REC, name);
}

char* PasswordField(TableImage& users, std::int32_t i) {
  return users.mutable_record(i) + offsetof(SVR_USER_REC, password);
}

// Texts longer than their fields are refused: stored cut, a name could
// equal another user's and a password could never be checked. The length
// is told, never the text: it may be a password.
Status CheckFits(const char* text, std::size_t width, const char* what) {
  const std::size_t length = FieldLength(text, width + 1);
  if (length <= width) return Status::OK();
  return Status::InvalidArgument(std::string(what) + " is longer than its " +
                                 std::to_string(width) + " bytes");
}

Status CheckUserId(std::int32_t userID) {
  if (userID > 0) return Status::OK();
  return Status::InvalidArgument("user ID " + std::to_string(userID) +
                                 " is not above 0");
}

Status NoUserWithId(std::int32_t userID) {
  return Status::NotFound("no user with ID " + std::to_string(userID));
}

std::string_view NameKey(const char* field) {
  return FieldView(field, kNameWidth);
}

// The names a lookup by name can answer with (FindByName): those of the
// records that are the first to carry their ID. The IDs seen are kept in
// one open-addressing table (0: empty, as no such ID is above 0).
void NameKeys(const TableImage& users, KeyList* keys) {
  keys->reserve(static_cast<std::size_t>(users.count()));
  std::size_t size = 16;
  while (size < 2 * static_cast<std::size_t>(users.count())) size *= 2;
  std::vector<std::int32_t> seen(size, 0);
  const std::size_t mask = size - 1;
  for (std::int32_t i = 0; i < users.count(); ++i) {
    const std::int32_t id = users.id(i);
    if (id <= 0) continue;
    // Fibonacci hashing: consecutive IDs spread over the table.
    std::size_t slot =
        static_cast<std::size_t>(static_cast<std::uint32_t>(id) * 2654435761u) &
        mask;
    while (seen[slot] != 0 && seen[slot] != id) slot = (slot + 1) & mask;
    if (seen[slot] == id) continue;
    seen[slot] = id;
    keys->emplace_back(NameKey(NameField(users, i)), i);
  }
}

// Index of the user named exactly `name`, or -1. A lookup by name walks the
// list of IDs and fetches each ID's name, which is the name of the first
// record carrying that ID; so a record whose ID an earlier record already
// carries never answers, even when its own name matches.
std::int32_t FindByName(const TableImage& users, const char* name) {
  std::int32_t index;
  // A name longer than the field matches no record, nor any key.
  if (users.FindIndexed(NameKeys, std::string_view(name), &index)) {
    return index;
  }
  for (std::int32_t i = 0; i < users.count(); ++i) {
    // Records with IDs below 1 cannot be fetched by ID and so never match;
    // the name is tested first, as it differs in almost every record.
    if (FieldEquals(NameField(users, i), kNameWidth, name) && users.id(i) > 0 &&
        users.FindId(users.id(i)) == i) {
      return i;
    }
  }
  return -1;
}

void CopyOut(const TableImage& users, std::int32_t index, SVR_USER_REC* user) {
  std::memcpy(user, users.record(index), sizeof(*user));
}

Status FindUserIn(const TableImage& users, std::int32_t userID,
                  SVR_USER_REC* user) {
  const std::int32_t index = users.FindId(userID);
  if (index < 0) return NoUserWithId(userID);
  CopyOut(users, index, user);
  return Status::OK();
}

Status FindUserByNameIn(const TableImage& users, const char* name,
                        SVR_USER_REC* user) {
  const std::int32_t index = FindByName(users, name);
  if (index < 0) return Status::NotFound("no user '" + std::string(name) + "'");
  CopyOut(users, index, user);
  return Status::OK();
}

Status CheckUserIn(const TableImage& users, const char* name,
                   const char* password) {
  // The record found by name is the first carrying its ID, so it is also
  // the record a fetch by that ID reads, and its name is already known to
  // be equal; only the password remains to be compared.
  const std::int32_t index = FindByName(users, name);
  if (index < 0 || !FieldEqualsConstantTime(
                       users.record(index) + offsetof(SVR_USER_REC, password),
                       kPasswordWidth, password)) {
    return Status::Refused("name and password do not match");
  }
  return Status::OK();
}

}  // namespace

Status CheckNewUser(const char* name, const char* password) {
  if (name == nullptr) return Status::InvalidArgument("no name");
  if (IsBlankName(name)) return Status::InvalidArgument("name is blank");
  Status s = CheckFits(name, kNameWidth, "name");
  if (s.ok() && password != nullptr) {
    s = CheckFits(password, kPasswordWidth, "password");
  }
  return s;
}

Status CheckPassword(const char* password) {
  if (password == nullptr) return Status::InvalidArgument("no password");
  return CheckFits(password, kPasswordWidth, "password");
}

Status AddUser(ConfigSession& session, const char* name, const char* password,
               std::int32_t* id) {
  Status s = CheckNewUser(name, password);
  TableImage users;
  if (s.ok()) s = TableImage::Load(session, kUserTable, &users);
  if (!s.ok()) return s;
  if (FindByName(users, name) >= 0) {
    return Status::AlreadyExists("user '" + std::string(name) +
                                 "' already exists");
  }
  SVR_USER_REC record{};
  BoundedCopy(record.name, kNameWidth, name, kNameWidth);
  if (password != nullptr) {
    BoundedCopy(record.password, kPasswordWidth, password, kPasswordWidth);
  }
  return AppendRecord(session, kUserTable, users, &record, id);
}

Status AddUsers(ConfigSession& session, const SVR_USER_REC* users,
                std::int32_t count, NewIds numbering, std::int32_t* ids) {
  TableImage in_use;
  Status s = TableImage::Load(session, kUserTable, &in_use);
  if (!s.ok()) return s;
  // The names a lookup finds (FindByName), gathered once: looking each new
  // name up in turn would read the table once per user.
  // Names are seen in place, in the table and in `users`, which both stay
  // where they are meanwhile.
  std::unordered_map<std::int32_t, std::int32_t> first_with_id(
      static_cast<std::size_t>(in_use.count()));
  std::unordered_set<std::string_view> taken(
      static_cast<std::size_t>(in_use.count()) + static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < in_use.count(); ++i) {
    if (in_use.id(i) > 0 && first_with_id.emplace(in_use.id(i), i).second) {
      taken.insert(std::string_view(
          NameField(in_use, i), FieldLength(NameField(in_use, i), kNameWidth)));
    }
  }
  std::vector<SVR_USER_REC> added(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    const SVR_USER_REC& given = users[i];
    const std::string name(given.name, FieldLength(given.name, kNameWidth));
    const std::string password(given.password,
                               FieldLength(given.password, kPasswordWidth));
    s = CheckNewUser(name.c_str(), password.c_str());
    if (!s.ok()) return s;
    if (!taken.insert(std::string_view(given.name, name.size())).second) {
      return Status::Refused("user '" + name + "' already exists");
    }
    SVR_USER_REC& record = added[static_cast<std::size_t>(i)];
    record = SVR_USER_REC{};
    record.id = given.id;
    BoundedCopy(record.name, kNameWidth, name.c_str(), kNameWidth);
    BoundedCopy(record.password, kPasswordWidth, password.c_str(),
                kPasswordWidth);
  }
  return AppendRecords(session, kUserTable, in_use, added.data(), count,
                       numbering, ids);
}

Status UpdateUser(ConfigSession& session, std::int32_t userID,
                  const char* password) {
  Status s = CheckUserId(userID);
  if (s.ok()) s = CheckPassword(password);
  TableImage users;
  if (s.ok()) s = TableImage::Load(session, kUserTable, &users);
  if (!s.ok()) return s;
  const std::int32_t index = users.FindId(userID);
  if (index < 0) return NoUserWithId(userID);
  BoundedCopy(PasswordField(users, index), kPasswordWidth, password,
              kPasswordWidth);
  return WriteRecord(session, kUserTable, users, index);
}

Status DelUser(ConfigSession& session, std::int32_t userID) {
  Status s = CheckUserId(userID);
  TableImage users;
  if (s.ok()) s = TableImage::Load(session, kUserTable, &users);
  if (!s.ok()) return s;
  const std::int32_t index = users.FindId(userID);
  if (index < 0) return NoUserWithId(userID);
  return RemoveRecord(session, kUserTable, &users, index);
}

Status FindUser(ConfigSession& session, std::int32_t userID,
                SVR_USER_REC* user) {
  Status s = CheckUserId(userID);
  TableImage users;
  if (s.ok()) s = TableImage::Load(session, kUserTable, &users);
  return s.ok() ? FindUserIn(users, userID, user) : s;
}

Status FindUserByName(ConfigSession& session, const char* name,
                      SVR_USER_REC* user) {
  if (name == nullptr) return Status::InvalidArgument("no name");
  TableImage users;
  Status s = TableImage::Load(session, kUserTable, &users);
  return s.ok() ? FindUserByNameIn(users, name, user) : s;
}

Status CheckUser(ConfigSession& session, const char* name,
                 const char* password) {
  if (name == nullptr || password == nullptr) {
    return Status::InvalidArgument("no name or no password");
  }
  TableImage users;
  Status s = TableImage::Load(session, kUserTable, &users);
  return s.ok() ? CheckUserIn(users, name, password) : s;
}

Status FindUser(const Store& store, std::int32_t userID, SVR_USER_REC* user) {
  TableImage users;
  Status s = ReadTable(store, kUserTable, &users);
  return s.ok() ? FindUserIn(users, userID, user) : s;
}

Status FindUserByName(const Store& store, const char* name,
                      SVR_USER_REC* user) {
  if (name == nullptr) return Status::InvalidArgument("no name");
  TableImage users;
  Status s = ReadTable(store, kUserTable, &users);
  return s.ok() ? FindUserByNameIn(users, name, user) : s;
}

Status CheckCredentials(const Store& store, const char* name,
                        const char* password) {
  if (name == nullptr || password == nullptr) {
    return Status::InvalidArgument("no name or no password");
  }
  TableImage users;
  Status s = ReadTable(store, kUserTable, &users);
  return s.ok() ? CheckUserIn(users, name, password) : s;
}

// The SVR_LONG forms report why they fail (last_error.h).

SVR_LONG AddUser(const Store& store, const char* name, const char* password) {
  // Arguments are judged before the file is opened.
  if (!Reported(CheckNewUser(name, password))) return 0;
  std::int32_t id = 0;
  Status s = InSession(store, Access::kWrite, [&](ConfigSession& session) {
    return AddUser(session, name, password, &id);
  });
  return Reported(s) ? id : 0;
}

SVR_LONG GetUser(const Store& store, SVR_LONG userID, char* name,
                 SVR_LONG len) {
  if (!Reported(CheckUserId(userID))) return 0;
  if (name == nullptr || len <= 0) {
    SetLastError(Status::Code::kInvalidArgument, "no buffer for the name");
    return 0;
  }
  std::memset(name, 0, static_cast<std::size_t>(len));
  const std::size_t n =
      static_cast<std::size_t>(len) < kNameWidth ? len : kNameWidth;
  SVR_USER_REC user;
  if (!Reported(FindUser(store, userID, &user))) return 0;
  BoundedCopy(name, n, user.name, kNameWidth);
  return 1;
}

SVR_LONG UpdateUser(const Store& store, SVR_LONG userID, const char* password) {
  if (!Reported(CheckUserId(userID)) || !Reported(CheckPassword(password))) {
    return 0;
  }
  return Reported(InSession(store, Access::kWrite,
                            [&](ConfigSession& session) {
                              return UpdateUser(session, userID, password);
                            }))
             ? 1
             : 0;
}

SVR_LONG DelUser(const Store& store, SVR_LONG userID) {
  if (!Reported(CheckUserId(userID))) return 0;
  ConfigSession session;
  if (!Reported(session.Open(store, Access::kWrite))) return 0;
  Status s = DelUser(session, userID);
  // Removing a user that is not there leaves what was asked for.
  if (s.IsNotFound()) return 1;
  if (s.ok()) s = session.Commit();
  return Reported(s) ? 1 : 0;
}

SVR_LONG GetUserCount(const Store& store) {
  std::int32_t count = 0;
  return Reported(CountRecords(store, kUserTable, &count)) ? count : 0;
}

SVR_LONG GetUserIDs(const Store& store, CSmartArray<SVR_LONG>& ids) {
  ids.RemoveAll();
  TableImage users;
  if (!Reported(ReadTable(store, kUserTable, &users))) return 0;
  return ListIds(users, ids);
}

SVR_LONG GetUserIDByName(const Store& store, const char* name) {
  SVR_USER_REC user{};
  return Reported(FindUserByName(store, name, &user)) ? user.id : 0;
}

SVR_LONG CheckUser(const Store& store, const char* name, const char* password) {
  return Reported(CheckCredentials(store, name, password)) ? 1 : 0;
}

}  // namespace brellox
