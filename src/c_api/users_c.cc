// The C interface's users and privilege values, over src/users/users.h.
#include <cstdint>

#include "brellox/brellox_c.h"
#include "src/c_api/c_call.h"
#include "src/store/read_cache.h"
#include "src/store/table.h"
#include "src/users/users.h"

namespace brellox {
namespace {

Status CheckUserId(std::int32_t user_id) {
  return PositiveId(user_id, "user ID");
}

}  // namespace
}  // namespace brellox

using brellox::Access;
using brellox::CCall;
using brellox::ConfigSession;
using brellox::InSession;
using brellox::Status;
using brellox::StoreAt;

brellox_result brellox_add_user(const char* path, const char* name,
                                const char* password, int32_t* user_id) {
  return CCall([&] {
    Status s = brellox::Required(user_id, "place for the user ID");
    if (s.ok()) s = brellox::CheckNewUser(name, password);
    std::int32_t id = 0;
    if (s.ok()) {
      s = InSession(StoreAt(path), Access::kWrite, [&](ConfigSession& session) {
        return brellox::AddUser(session, name, password, &id);
      });
    }
    if (s.ok()) *user_id = id;
    return s;
  });
}

brellox_result brellox_get_user_name(const char* path, int32_t user_id,
                                     char* buffer, int32_t size) {
  return CCall([&] {
    Status s = brellox::CheckUserId(user_id);
    if (s.ok()) s = brellox::CheckTextBuffer(buffer, size);
    brellox::SVR_USER_REC user;
    if (s.ok()) {
      s = brellox::FindUser(StoreAt(path), user_id, &user);
    }
    if (s.ok()) {
      s = brellox::CopyText(user.name, sizeof(user.name), buffer, size,
                            "user name");
    }
    return s;
  });
}

brellox_result brellox_update_user(const char* path, int32_t user_id,
                                   const char* password) {
  return CCall([&] {
    Status s = brellox::CheckUserId(user_id);
    if (s.ok()) s = brellox::CheckPassword(password);
    if (!s.ok()) return s;
    return InSession(StoreAt(path), Access::kWrite,
                     [&](ConfigSession& session) {
                       return brellox::UpdateUser(session, user_id, password);
                     });
  });
}

brellox_result brellox_delete_user(const char* path, int32_t user_id) {
  return CCall([&] {
    Status s = brellox::CheckUserId(user_id);
    if (!s.ok()) return s;
    return InSession(StoreAt(path), Access::kWrite,
                     [&](ConfigSession& session) {
                       return brellox::DelUser(session, user_id);
                     });
  });
}

brellox_result brellox_get_user_count(const char* path, int32_t* count) {
  return CCall([&] {
    Status s = brellox::Required(count, "place for the count");
    std::int32_t n = 0;
    if (s.ok())
      s = brellox::CountRecords(StoreAt(path), brellox::kUserTable, &n);
    if (s.ok()) *count = n;
    return s;
  });
}

brellox_result brellox_get_user_ids(const char* path, int32_t* ids,
                                    int32_t capacity, int32_t* count) {
  return CCall([&] {
    Status s = brellox::CheckListArguments(ids, capacity, count);
    brellox::TableImage users;
    if (s.ok())
      s = brellox::ReadTable(StoreAt(path), brellox::kUserTable, &users);
    if (s.ok()) brellox::CopyIds(users, ids, capacity, count);
    return s;
  });
}

brellox_result brellox_get_user_id(const char* path, const char* name,
                                   int32_t* user_id) {
  return CCall([&] {
    Status s = brellox::Required(name, "name");
    if (s.ok()) s = brellox::Required(user_id, "place for the user ID");
    brellox::SVR_USER_REC user;
    if (s.ok()) {
      s = brellox::FindUserByName(StoreAt(path), name, &user);
    }
    if (s.ok()) *user_id = user.id;
    return s;
  });
}

brellox_result brellox_check_user(const char* path, const char* name,
                                  const char* password) {
  return CCall([&] {
    Status s = brellox::Required(name, "name");
    if (s.ok()) s = brellox::Required(password, "password");
    if (!s.ok()) return s;
    return brellox::CheckCredentials(StoreAt(path), name, password);
  });
}

brellox_result brellox_get_user_privilege(const char* path, int32_t user_id,
                                          int32_t privilege_id,
                                          int32_t* value) {
  return CCall([&] {
    Status s = brellox::CheckUserId(user_id);
    if (s.ok()) s = brellox::Required(value, "place for the value");
    std::int32_t found = 0;
    if (s.ok()) {
      s = brellox::ReadUserPriv(StoreAt(path), user_id, privilege_id, &found);
    }
    if (s.ok()) *value = found;
    return s;
  });
}

brellox_result brellox_set_user_privilege(const char* path, int32_t user_id,
                                          int32_t privilege_id, int32_t value) {
  return CCall([&] {
    Status s = brellox::CheckNewPrivilege(user_id, privilege_id, value);
    if (!s.ok()) return s;
    return InSession(
        StoreAt(path), Access::kWrite, [&](ConfigSession& session) {
          return brellox::SetUserPriv(session, user_id, privilege_id, value);
        });
  });
}
