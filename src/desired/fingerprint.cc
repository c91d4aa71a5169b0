#include "src/desired/fingerprint.h"

#include <cstring>

#include "src/store/crc32c.h"

namespace brellox {
namespace desired {

namespace {

template <class Record>
std::uint32_t TableCrc(const std::vector<Record>& records) {
  return Crc32c(records.data(), records.size() * sizeof(Record));
}

}  // namespace

const char* FingerprintPart(int part) {
  static const char* const kNames[Fingerprint::kParts] = {
      "header", "global option", "connections",  "GDBs",
      "users",  "privileges",    "option groups"};
  return kNames[part];
}

Fingerprint FingerprintOf(const FileTables& tables) {
  Fingerprint f;
  f.parts[0] = Crc32c(&tables.header, sizeof(tables.header));
  f.parts[1] = Crc32c(&tables.global_option, sizeof(tables.global_option));
  f.parts[2] = TableCrc(tables.conns);
  f.parts[3] = TableCrc(tables.gdbs);
  std::uint32_t users = 0;
  for (SVR_USER_REC user : tables.users) {
    std::memset(user.password, 0, sizeof(user.password));
    users = Crc32cExtend(users, &user, sizeof(user));
  }
  f.parts[4] = users;
  f.parts[5] = TableCrc(tables.privs);
  f.parts[6] = TableCrc(tables.groups);
  return f;
}

std::vector<std::string> FingerprintDifferences(const Fingerprint& a,
                                                const Fingerprint& b) {
  std::vector<std::string> differ;
  for (int i = 0; i < Fingerprint::kParts; ++i) {
    if (a.parts[i] != b.parts[i]) differ.push_back(FingerprintPart(i));
  }
  return differ;
}

}  // namespace desired
}  // namespace brellox
