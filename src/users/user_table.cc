#include <cstddef>
#include <cstring>

#include "src/store/config_file.h"
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
  return users.record(i) + offsetof(SVR_USER_REC, password);
}

// True when `text` would not fit a field of `width` bytes whole.
bool Overflows(const char* text, std::size_t width) {
  return FieldLength(text, width + 1) > width;
}

// Index of the user named exactly `name`, or -1. A lookup by name walks the
// list of IDs and fetches each ID's name, which is the name of the first
// record carrying that ID; so a record whose ID an earlier record already
// carries never answers, even when its own name matches.
std::int32_t FindByName(const TableImage& users, const char* name) {
  for (std::int32_t i = 0; i < users.count(); ++i) {
    // Records with IDs below 1 cannot be fetched by ID and so never match;
    // the name is tested first, as it differs in almost every record.
    if (FieldEquals(NameField(users, i), kNameWidth, name) &&
        users.id(i) > 0 && users.FindId(users.id(i)) == i) {
      return i;
    }
  }
  return -1;
}

}  // namespace

SVR_LONG AddUser(const Store& store, const char* name, const char* password) {
  // Texts longer than their fields are refused: stored cut, the name could
  // equal another user's and the password could never be checked.
  if (name == nullptr || IsBlankName(name) || Overflows(name, kNameWidth)) {
    return 0;
  }
  if (password != nullptr && Overflows(password, kPasswordWidth)) return 0;

  ConfigSession session;
  TableImage users;
  if (!OpenTable(store, Access::kWrite, kUserTable, &session, &users).ok()) {
    return 0;
  }
  if (FindByName(users, name) >= 0) return 0;

  SVR_USER_REC record{};
  BoundedCopy(record.name, kNameWidth, name, kNameWidth);
  if (password != nullptr) {
    BoundedCopy(record.password, kPasswordWidth, password, kPasswordWidth);
  }
  std::int32_t id = 0;
  if (!AppendRecord(session, kUserTable, users, &record, &id).ok() ||
      !session.Commit().ok()) {
    return 0;
  }
  return id;
}

SVR_LONG GetUser(const Store& store, SVR_LONG userID, char* name,
                 SVR_LONG len) {
  if (userID <= 0 || name == nullptr || len <= 0) return 0;
  std::memset(name, 0, static_cast<std::size_t>(len));
  const std::size_t n =
      static_cast<std::size_t>(len) < kNameWidth ? len : kNameWidth;

  ConfigSession session;
  TableImage users;
  if (!OpenTable(store, Access::kRead, kUserTable, &session, &users).ok()) {
    return 0;
  }
  const std::int32_t index = users.FindId(userID);
  if (index < 0) return 0;
  BoundedCopy(name, n, NameField(users, index), kNameWidth);
  return 1;
}

SVR_LONG UpdateUser(const Store& store, SVR_LONG userID,
                    const char* password) {
  if (userID <= 0 || password == nullptr ||
      Overflows(password, kPasswordWidth)) {
    return 0;
  }
  ConfigSession session;
  TableImage users;
  if (!OpenTable(store, Access::kWrite, kUserTable, &session, &users).ok()) {
    return 0;
  }
  const std::int32_t index = users.FindId(userID);
  if (index < 0) return 0;
  BoundedCopy(PasswordField(users, index), kPasswordWidth, password,
              kPasswordWidth);
  return WriteRecord(session, kUserTable, users, index).ok() &&
                 session.Commit().ok()
             ? 1
             : 0;
}

SVR_LONG DelUser(const Store& store, SVR_LONG userID) {
  if (userID <= 0) return 0;
  ConfigSession session;
  TableImage users;
  if (!OpenTable(store, Access::kWrite, kUserTable, &session, &users).ok()) {
    return 0;
  }
  const std::int32_t index = users.FindId(userID);
  if (index < 0) return 1;
  return RemoveRecord(session, kUserTable, &users, index).ok() &&
                 session.Commit().ok()
             ? 1
             : 0;
}

SVR_LONG GetUserCount(const Store& store) {
  ConfigSession session;
  if (!session.Open(store, Access::kRead).ok()) return 0;
  return session.header().users.count;
}

SVR_LONG GetUserIDs(const Store& store, CSmartArray<SVR_LONG>& ids) {
  ids.RemoveAll();
  ConfigSession session;
  TableImage users;
  if (!OpenTable(store, Access::kRead, kUserTable, &session, &users).ok()) {
    return 0;
  }
  return ListIds(users, ids);
}

SVR_LONG GetUserIDByName(const Store& store, const char* name) {
  if (name == nullptr) return 0;
  ConfigSession session;
  TableImage users;
  if (!OpenTable(store, Access::kRead, kUserTable, &session, &users).ok()) {
    return 0;
  }
  const std::int32_t index = FindByName(users, name);
  return index < 0 ? 0 : users.id(index);
}

SVR_LONG CheckUser(const Store& store, const char* name,
                   const char* password) {
  if (name == nullptr || password == nullptr) return 0;
  ConfigSession session;
  TableImage users;
  if (!OpenTable(store, Access::kRead, kUserTable, &session, &users).ok()) {
    return 0;
  }
  // The record found by name is the first carrying its ID, so it is also
  // the record a fetch by that ID reads, and its name is already known to
  // be equal; only the password remains to be compared.
  const std::int32_t index = FindByName(users, name);
  if (index < 0) return 0;
  return FieldEqualsConstantTime(PasswordField(users, index), kPasswordWidth,
                                 password)
             ? 1
             : 0;
}

}  // namespace brellox
