// ConfigAccess over the internal functions, for a file named on the command
// line. Each call is guarded as the exported wrappers are, so a failure deep
// inside ends as the function's failure result here too.
#include "src/options/options.h"
#include "src/sources/sources.h"
#include "src/store/store.h"
#include "src/store/temp_dir.h"
#include "src/users/users.h"
#include "tools/brellox/config_access.h"

namespace brellox {
namespace tool {
namespace {

class StoreAccess final : public ConfigAccess {
 public:
  StoreAccess(Env* env, const std::string& path) : store_{env, path} {}

  const std::string& path() const override { return store_.path; }

  SVR_LONG SetTempDir(const char* dir) override {
    return Guarded(0, [&] { return brellox::SetTempDir(store_, dir); });
  }
  SVR_LONG GetTempDir(char* buf, short len) override {
    return Guarded(0, [&] { return brellox::GetTempDir(store_, buf, len); });
  }

  SVR_LONG AddUser(const char* name, const char* password) override {
    return Guarded(0, [&] { return brellox::AddUser(store_, name, password); });
  }
  SVR_LONG UpdateUser(SVR_LONG userID, const char* password) override {
    return Guarded(0,
                   [&] { return brellox::UpdateUser(store_, userID, password); });
  }
  SVR_LONG DelUser(SVR_LONG userID) override {
    return Guarded(0, [&] { return brellox::DelUser(store_, userID); });
  }
  SVR_LONG CheckUser(const char* name, const char* password) override {
    return Guarded(0, [&] { return brellox::CheckUser(store_, name, password); });
  }
  SVR_LONG GetUserPriv(SVR_LONG userID, SVR_LONG privID,
                       SVR_LONG& value) override {
    value = 0;
    return Guarded(0, [&] {
      return brellox::GetUserPriv(store_, userID, privID, value);
    });
  }
  SVR_LONG SetUserPriv(SVR_LONG userID, SVR_LONG privID,
                       SVR_LONG value) override {
    return Guarded(0, [&] {
      return brellox::SetUserPriv(store_, userID, privID, value);
    });
  }

  SVR_LONG AddConn(const SVC_GDB_CONN_INFO& info) override {
    return Guarded(0, [&] { return brellox::AddConn(store_, info); });
  }
  SVR_LONG GetConn(SVR_LONG connID, SVC_GDB_CONN_INFO& info) override {
    return Guarded(0, [&] { return brellox::GetConn(store_, connID, info); });
  }
  SVR_LONG UpdateConn(const SVC_GDB_CONN_INFO& info) override {
    return Guarded(0, [&] { return brellox::UpdateConn(store_, info); });
  }
  SVR_LONG DelConn(SVR_LONG connID) override {
    return Guarded(0, [&] { return brellox::DelConn(store_, connID); });
  }

  SVR_LONG AddGDB(const SVC_GDB_INFO& info) override {
    return Guarded(0, [&] { return brellox::AddGDB(store_, info); });
  }
  SVR_LONG GetGDB(SVR_LONG gdbID, SVC_GDB_INFO& info) override {
    return Guarded(0, [&] { return brellox::GetGDB(store_, gdbID, info); });
  }
  SVR_LONG UpdateGDB(const SVC_GDB_INFO& info) override {
    return Guarded(0, [&] { return brellox::UpdateGDB(store_, info); });
  }
  SVR_LONG DelGDB(SVR_LONG gdbID) override {
    return Guarded(0, [&] { return brellox::DelGDB(store_, gdbID); });
  }
  SVR_LONG GetGDBAliasName(SVR_LONG gdbID, char* name, short len) override {
    return Guarded(0, [&] {
      return brellox::GetGDBAliasName(store_, gdbID, name, len);
    });
  }
  SVR_LONG GetGDBID(const char* name, SVR_LONG& gdbID) override {
    gdbID = 0;
    return Guarded(0, [&] { return brellox::GetGDBID(store_, name, gdbID); });
  }

  SVR_LONG AddOptionInfo(const char* name, SVR_LONG groupType,
                         const CONFIG_OPTION* options,
                         SVR_LONG count) override {
    return Guarded(0, [&] {
      return brellox::AddOptionInfo(store_, name, groupType, options, count);
    });
  }
  SVR_LONG GetOptionInfo(const char* name, SVR_LONG groupType, SVR_LONG index,
                         CONFIG_OPTION& option) override {
    return Guarded(0, [&] {
      return brellox::GetOptionInfo(store_, name, groupType, index, option);
    });
  }
  SVR_LONG SetOptionInfo(const char* name, SVR_LONG groupType, SVR_LONG index,
                         const CONFIG_OPTION& option) override {
    return Guarded(0, [&] {
      return brellox::SetOptionInfo(store_, name, groupType, index, option);
    });
  }

 private:
  Store store_;
};

}  // namespace

std::unique_ptr<ConfigAccess> MakeStoreAccess(Env* env,
                                              const std::string& path) {
  return std::make_unique<StoreAccess>(env, path);
}

}  // namespace tool
}  // namespace brellox
