// ConfigAccess: the one interface through which the tool's commands change
// (and look up single records in) a configuration file. Every method is the
// Svr_ function of the same name with the contract of brellox/brellox.h.
//
// Two implementations, chosen once at start-up:
//  - LibraryAccess calls the exported functions of the loaded library, so
//    that without --config the tool acts on the library's own file exactly
//    as a server program linked against the library would, through the same
//    entry points and the same path the library worked out at load.
//  - StoreAccess calls the internal functions on a Store for the file named
//    with --config, since the exported interface can only reach the
//    library's own file and is not to grow a way to name another one.
// Both report path(), the file they act on, so that the read-only commands
// (show, layout, check, export) read the same file directly: the exported
// interface has no way to list privileges or option groups, nor to see the
// header, the ID counters or the free slots. For the library's own file the
// path is found from the address of an exported function (LibraryConfigPath),
// which is why the tool links the library's internals without its exported
// wrappers: every Svr_ symbol the tool calls must be the library's.
#ifndef BRELLOX_TOOLS_BRELLOX_CONFIG_ACCESS_H_
#define BRELLOX_TOOLS_BRELLOX_CONFIG_ACCESS_H_

#include <memory>
#include <string>

#include "brellox/brellox.h"
#include "platform/env.h"

namespace brellox {
namespace tool {

class ConfigAccess {
 public:
  virtual ~ConfigAccess() = default;

  // The file every call acts on; empty when the library's own file cannot
  // be located.
  virtual const std::string& path() const = 0;

  virtual SVR_LONG SetTempDir(const char* dir) = 0;
  virtual SVR_LONG GetTempDir(char* buf, short len) = 0;

  virtual SVR_LONG AddUser(const char* name, const char* password) = 0;
  virtual SVR_LONG UpdateUser(SVR_LONG userID, const char* password) = 0;
  virtual SVR_LONG DelUser(SVR_LONG userID) = 0;
  virtual SVR_LONG CheckUser(const char* name, const char* password) = 0;
  virtual SVR_LONG GetUserPriv(SVR_LONG userID, SVR_LONG privID,
                               SVR_LONG& value) = 0;
  virtual SVR_LONG SetUserPriv(SVR_LONG userID, SVR_LONG privID,
                               SVR_LONG value) = 0;

  virtual SVR_LONG AddConn(const SVC_GDB_CONN_INFO& info) = 0;
  virtual SVR_LONG GetConn(SVR_LONG connID, SVC_GDB_CONN_INFO& info) = 0;
  virtual SVR_LONG UpdateConn(const SVC_GDB_CONN_INFO& info) = 0;
  virtual SVR_LONG DelConn(SVR_LONG connID) = 0;

  virtual SVR_LONG AddGDB(const SVC_GDB_INFO& info) = 0;
  virtual SVR_LONG GetGDB(SVR_LONG gdbID, SVC_GDB_INFO& info) = 0;
  virtual SVR_LONG UpdateGDB(const SVC_GDB_INFO& info) = 0;
  virtual SVR_LONG DelGDB(SVR_LONG gdbID) = 0;
  virtual SVR_LONG GetGDBAliasName(SVR_LONG gdbID, char* name, short len) = 0;
  virtual SVR_LONG GetGDBID(const char* name, SVR_LONG& gdbID) = 0;

  virtual SVR_LONG AddOptionInfo(const char* name, SVR_LONG groupType,
                                 const CONFIG_OPTION* options,
                                 SVR_LONG count) = 0;
  virtual SVR_LONG GetOptionInfo(const char* name, SVR_LONG groupType,
                                 SVR_LONG index, CONFIG_OPTION& option) = 0;
  virtual SVR_LONG SetOptionInfo(const char* name, SVR_LONG groupType,
                                 SVR_LONG index,
                                 const CONFIG_OPTION& option) = 0;
};

// The library's own file, through the exported functions.
std::unique_ptr<ConfigAccess> MakeLibraryAccess();

// The file at `path`, through the internal functions on `env`.
std::unique_ptr<ConfigAccess> MakeStoreAccess(Env* env, const std::string& path);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_CONFIG_ACCESS_H_
