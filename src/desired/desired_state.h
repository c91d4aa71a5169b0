// A desired state: the parts of a configuration a caller wants a file to
// hold, as records in the file's own layout, matched to the file by name
// (match.h) and brought about by a plan (plan.h).
#ifndef BRELLOX_DESIRED_DESIRED_STATE_H_
#define BRELLOX_DESIRED_DESIRED_STATE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "src/store/file_image.h"

namespace brellox {
namespace desired {

struct DesiredState {
  // Which parts the state gives; a part left out is left as it is.
  bool has_temp_dir = false;
  bool has_global_option = false;
  bool has_conns = false;
  bool has_gdbs = false;
  bool has_users = false;
  bool has_privs = false;
  bool has_groups = false;
  // The temp dir, the global option and the records, in the state's order
  // (records[i] is the state's i-th record of its table). A record keeps
  // the ID the state gives it; one without carries a stand-in ID that no
  // record of the state carries. records.privs is unused: see privs.
  FileTables records;
  std::vector<bool> conn_has_id;
  std::vector<bool> gdb_has_id;
  std::vector<bool> user_has_id;
  // Whether the state gives the user's password (it may be empty).
  std::vector<bool> user_has_password;
  // Per connection and GDB: the fields (fields.h) the state gives, bit i
  // for field i; on update a field left out keeps the file's value. Empty:
  // every field given.
  std::vector<std::uint32_t> conn_fields;
  std::vector<std::uint32_t> gdb_fields;
  // Records that are to be absent: removed when the file holds them.
  std::vector<bool> conn_absent;
  std::vector<bool> gdb_absent;
  std::vector<bool> user_absent;

  // A privilege names its user by name.
  struct Privilege {
    std::string user;  // the name's bytes in the file's code page
    std::int32_t priv_id;
    std::int32_t value;
    bool absent = false;  // removed when the file holds it
  };
  std::vector<Privilege> privs;
};

}  // namespace desired
}  // namespace brellox

#endif  // BRELLOX_DESIRED_DESIRED_STATE_H_
