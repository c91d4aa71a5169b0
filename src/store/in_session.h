// Running one step of work inside one session on a store.
#ifndef BRELLOX_STORE_IN_SESSION_H_
#define BRELLOX_STORE_IN_SESSION_H_

#include "src/store/config_file.h"

namespace brellox {

// Opens `store` for `access`, runs `body(session)` and, for kWrite, commits
// what it wrote when it succeeded. Returns the first failure: of the open,
// of `body` (nothing is written then), or of the commit.
template <class Body>
Status InSession(const Store& store, Access access, Body&& body) {
  ConfigSession session;
  Status s = session.Open(store, access);
  if (s.ok()) s = body(session);
  if (s.ok() && access == Access::kWrite) s = session.Commit();
  return s;
}

}  // namespace brellox

#endif  // BRELLOX_STORE_IN_SESSION_H_
