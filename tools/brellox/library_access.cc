// ConfigAccess over the exported functions. They take mutable pointers and
// references although they change nothing the caller passes in but output
// arguments, so inputs are handed over as private copies.
#include <string>
#include <vector>

#include "tools/brellox/config_access.h"
#include "tools/brellox/system.h"

namespace brellox {
namespace tool {
namespace {

// A mutable copy of a caller's text; NULL stays NULL.
class TextCopy {
 public:
  explicit TextCopy(const char* text)
      : null_(text == nullptr), text_(null_ ? "" : text) {}
  char* get() { return null_ ? nullptr : &text_[0]; }

 private:
  bool null_;
  std::string text_;
};

class LibraryAccess final : public ConfigAccess {
 public:
  LibraryAccess() : path_(LibraryConfigPath()) {}

  const std::string& path() const override { return path_; }

  SVR_LONG SetTempDir(const char* dir) override {
    return Svr_SetTempDir(TextCopy(dir).get());
  }
  SVR_LONG GetTempDir(char* buf, short len) override {
    return Svr_GetTempDir(buf, len);
  }

  SVR_LONG AddUser(const char* name, const char* password) override {
    return Svr_AddUser(TextCopy(name).get(), TextCopy(password).get());
  }
  SVR_LONG UpdateUser(SVR_LONG userID, const char* password) override {
    return Svr_UpdateUser(userID, TextCopy(password).get());
  }
  SVR_LONG DelUser(SVR_LONG userID) override { return Svr_DelUser(userID); }
  SVR_LONG CheckUser(const char* name, const char* password) override {
    return Svr_CheckUser(TextCopy(name).get(), TextCopy(password).get());
  }
  SVR_LONG GetUserPriv(SVR_LONG userID, SVR_LONG privID,
                       SVR_LONG& value) override {
    return Svr_GetUserPriv(userID, privID, value);
  }
  SVR_LONG SetUserPriv(SVR_LONG userID, SVR_LONG privID,
                       SVR_LONG value) override {
    return Svr_SetUserPriv(userID, privID, value);
  }

  SVR_LONG AddConn(const SVC_GDB_CONN_INFO& info) override {
    SVC_GDB_CONN_INFO copy = info;
    return Svr_AddConn(copy);
  }
  SVR_LONG GetConn(SVR_LONG connID, SVC_GDB_CONN_INFO& info) override {
    return Svr_GetConn(connID, info);
  }
  SVR_LONG UpdateConn(const SVC_GDB_CONN_INFO& info) override {
    SVC_GDB_CONN_INFO copy = info;
    return Svr_UpdateConn(copy);
  }
  SVR_LONG DelConn(SVR_LONG connID) override { return Svr_DelConn(connID); }

  SVR_LONG AddGDB(const SVC_GDB_INFO& info) override {
    SVC_GDB_INFO copy = info;
    return Svr_AddGDB(copy);
  }
  SVR_LONG GetGDB(SVR_LONG gdbID, SVC_GDB_INFO& info) override {
    return Svr_GetGDB(gdbID, info);
  }
  SVR_LONG UpdateGDB(const SVC_GDB_INFO& info) override {
    SVC_GDB_INFO copy = info;
    return Svr_UpdateGDB(copy);
  }
  SVR_LONG DelGDB(SVR_LONG gdbID) override { return Svr_DelGDB(gdbID); }
  SVR_LONG GetGDBAliasName(SVR_LONG gdbID, char* name, short len) override {
    return Svr_GetGDBAliasName(gdbID, name, len);
  }
  SVR_LONG GetGDBID(const char* name, SVR_LONG& gdbID) override {
    return Svr_GetGDBID(TextCopy(name).get(), gdbID);
  }

  SVR_LONG AddOptionInfo(const char* name, SVR_LONG groupType,
                         const CONFIG_OPTION* options,
                         SVR_LONG count) override {
    std::vector<CONFIG_OPTION> copy;
    if (options != nullptr && count > 0) copy.assign(options, options + count);
    return Svr_AddOptionInfo(TextCopy(name).get(), groupType,
                             copy.empty() ? nullptr : copy.data(), count);
  }
  SVR_LONG GetOptionInfo(const char* name, SVR_LONG groupType, SVR_LONG index,
                         CONFIG_OPTION& option) override {
    return Svr_GetOptionInfo(TextCopy(name).get(), groupType, index, option);
  }
  SVR_LONG SetOptionInfo(const char* name, SVR_LONG groupType, SVR_LONG index,
                         const CONFIG_OPTION& option) override {
    CONFIG_OPTION copy = option;
    return Svr_SetOptionInfo(TextCopy(name).get(), groupType, index, copy);
  }

 private:
  std::string path_;
};

}  // namespace

std::unique_ptr<ConfigAccess> MakeLibraryAccess() {
  return std::make_unique<LibraryAccess>();
}

}  // namespace tool
}  // namespace brellox
