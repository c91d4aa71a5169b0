// The records of the configuration file "Svr_Config.CFG". The byte layout is
// a contract with other programs; doc/file_format.md describes it in full.
//
//   0     header (SVR_CFG_HEADER, 428 bytes)
//   428   the global option (CONFIG_OPTION, 353 bytes)
//   781   connections, then GDBs, users, privileges: each table `capacity`
//         fixed-size slots, the first `count` in use, back to back
//   ...   option groups (SVR_OPTION_GROUP), `count` records, last in the file
#ifndef BRELLOX_STORE_FORMAT_H_
#define BRELLOX_STORE_FORMAT_H_

#include <cstddef>
#include <cstdint>

#include "brellox/brellox.h"
#include "platform/env.h"

namespace brellox {

#if defined(__BYTE_ORDER__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the file format is little-endian and records are used in place");
#endif

struct SVR_CFG_SECTION {
  std::int32_t offset;    // file offset of slot 0
  std::int32_t count;     // records in use, in slots [0, count)
  std::int32_t capacity;  // slots reserved
};

struct SVR_CFG_HEADER {
  char magic[16];           // "KELMIR7XCFGFILE\0"; never checked
  std::uint16_t formatTag;  // 0x4470; kept by every rewrite
  std::uint16_t reserved1;
  std::int32_t lastConnID;  // last ID issued, per table; never lowered
  std::int32_t lastGDBID;
  std::int32_t lastUserID;
  SVR_CFG_SECTION conns;
  SVR_CFG_SECTION gdbs;
  SVR_CFG_SECTION users;
  SVR_CFG_SECTION privs;
  std::int32_t optionGroupsOffset;
  std::int32_t optionGroupsCount;
  char tempDir[128];
  unsigned char reserved2[212];  // carried along unchanged
};

struct SVR_USER_REC {
  std::int32_t id;
  char name[30];
  char password[64];
  char fill[2];
};

struct SVR_USER_PRIV {
  std::int32_t userID;
  std::int32_t privID;
  std::int32_t value;
};

// A privilege's pair as one number, which the file holds once: its owner
// (the user ID, or any other 32-bit number that stands for the user) above,
// the privilege ID below.
constexpr std::uint64_t PrivilegePair(std::uint32_t owner,
                                      std::int32_t priv_id) {
  return (std::uint64_t{owner} << 32) | static_cast<std::uint32_t>(priv_id);
}
constexpr std::uint64_t PrivilegePair(const SVR_USER_PRIV& priv) {
  return PrivilegePair(static_cast<std::uint32_t>(priv.userID), priv.privID);
}

#pragma pack(push, 1)
struct SVR_OPTION_GROUP {
  std::int32_t groupType;
  char groupName[32];
  CONFIG_OPTION options[6];
  char fill[2];
};
#pragma pack(pop)

static_assert(sizeof(SVR_CFG_SECTION) == 12, "section size");
static_assert(sizeof(SVR_CFG_HEADER) == 428, "header size");
static_assert(offsetof(SVR_CFG_HEADER, formatTag) == 16, "layout");
static_assert(offsetof(SVR_CFG_HEADER, lastConnID) == 20, "layout");
static_assert(offsetof(SVR_CFG_HEADER, lastGDBID) == 24, "layout");
static_assert(offsetof(SVR_CFG_HEADER, lastUserID) == 28, "layout");
static_assert(offsetof(SVR_CFG_HEADER, conns) == 32, "layout");
static_assert(offsetof(SVR_CFG_HEADER, gdbs) == 44, "layout");
static_assert(offsetof(SVR_CFG_HEADER, users) == 56, "layout");
static_assert(offsetof(SVR_CFG_HEADER, privs) == 68, "layout");
static_assert(offsetof(SVR_CFG_HEADER, optionGroupsOffset) == 80, "layout");
static_assert(offsetof(SVR_CFG_HEADER, optionGroupsCount) == 84, "layout");
static_assert(offsetof(SVR_CFG_HEADER, tempDir) == 88, "layout");
static_assert(offsetof(SVR_CFG_HEADER, reserved2) == 216, "layout");
static_assert(sizeof(SVR_USER_REC) == 100, "user record size");
static_assert(offsetof(SVR_USER_REC, name) == 4, "layout");
static_assert(offsetof(SVR_USER_REC, password) == 34, "layout");
static_assert(offsetof(SVR_USER_REC, fill) == 98, "layout");
static_assert(sizeof(SVR_USER_PRIV) == 12, "privilege record size");
static_assert(sizeof(SVR_OPTION_GROUP) == 2156, "option group size");
static_assert(offsetof(SVR_OPTION_GROUP, groupName) == 4, "layout");
static_assert(offsetof(SVR_OPTION_GROUP, options) == 36, "layout");
static_assert(offsetof(SVR_OPTION_GROUP, fill) == 2154, "layout");

constexpr char kConfigFileName[] = "Svr_Config.CFG";
constexpr char kMagic[16] = "KELMIR7XCFGFILE";
constexpr std::uint16_t kFormatTag = 0x4470;

constexpr std::int32_t kHeaderSize = sizeof(SVR_CFG_HEADER);
constexpr std::int32_t kGlobalOptionOffset = 428;
constexpr std::int32_t kFirstTableOffset =
    kGlobalOptionOffset + static_cast<std::int32_t>(sizeof(CONFIG_OPTION));
static_assert(kFirstTableOffset == 781, "tables start after the global option");

// The five tables, in file order.
enum class Section { kConns, kGdbs, kUsers, kPrivs, kOptionGroups };
constexpr int kSectionCount = 5;

constexpr std::int32_t kRecordSize[kSectionCount] = {
    sizeof(SVC_GDB_CONN_INFO), sizeof(SVC_GDB_INFO), sizeof(SVR_USER_REC),
    sizeof(SVR_USER_PRIV), sizeof(SVR_OPTION_GROUP)};

constexpr std::int32_t RecordSize(Section s) {
  return kRecordSize[static_cast<int>(s)];
}

// What each table's records are called in messages, in file order.
constexpr const char* kTableNames[kSectionCount] = {
    "connection", "GDB", "user", "privilege", "option-group"};

constexpr const char* TableName(Section s) {
  return kTableNames[static_cast<int>(s)];
}

// A table's place and fill, read uniformly from the header. The option-group
// table has no reserved slots: its capacity is its count.
struct SectionView {
  std::int32_t offset;
  std::int32_t count;
  std::int32_t capacity;
};
SectionView GetSection(const SVR_CFG_HEADER& header, Section s);
// Sets the offset, count and capacity of `s` (capacity ignored for option
// groups).
void SetSection(SVR_CFG_HEADER* header, Section s, const SectionView& view);

// Corrupt unless: the connection table starts at 781; each table starts
// where the one before it ends (offset + record size × capacity, in the order
// connections, GDBs, users, privileges, option groups); 0 <= count <=
// capacity for the four tables; the option-group count is >= 0; and the file
// is at least as long as the end of the option-group table.
Status ValidateHeader(const SVR_CFG_HEADER& header, std::uint64_t file_size);

// Reads the 428-byte header of a file of `file_size` bytes and checks that
// it describes a consistent layout within it (ValidateHeader). Corrupt if
// not.
Status ReadHeader(RandomRWFile& file, std::uint64_t file_size,
                  SVR_CFG_HEADER* header);

// The file offset just past the option-group table.
std::int64_t LayoutEnd(const SVR_CFG_HEADER& header);

}  // namespace brellox

#endif  // BRELLOX_STORE_FORMAT_H_
