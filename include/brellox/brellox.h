// The exported interface of the Brellox configuration store.
//
// The store keeps a server's whole configuration in "Svr_Config.CFG", in the
// directory of the library module; the library writes a default file there
// when it is loaded and finds none. Every function opens the file, does its
// work and closes it again, so each change is visible to the next call of any
// process. A lookup may instead be answered from tables this process read
// before, but only while the kernel's change signal proves the file the
// same (a change is seen by every call that starts after it returned);
// BRELLOX_READ_CACHE=0 in the environment turns that off (doc/read_cache.md).
//
// Every call is one isolated step, across threads and processes: it holds a
// lock on the file (shared to read, exclusive to change) from its first read
// to its last write, waiting for it at most five seconds before it fails.
// Every change lands whole or not at all, across crashes and power cuts,
// through a journal beside the file ("Svr_Config.CFG-journal", named after
// the file's resolved path); the first call after a crash restores the file
// from it, which needs write access to the file. A journal that could have
// been planted by someone else (a link, a file of another owner, one that
// others may write who may not write the file) is never read or written:
// every call fails until an administrator removes it. A file with more than
// one name (hard links) can be read but not changed. doc/locking.md and
// doc/journal.md say more.
//
// Results: 1 is success and 0 refusal or failure, except where a comment says
// otherwise. No function throws. Arguments are checked before the file is
// opened. A file whose header does not describe a consistent layout, or any
// read or write that fails, makes a call end with its failure result.
//
// Texts are NUL-terminated byte strings in the server's ANSI code page. Names
// are compared byte for byte, case-sensitively, with nothing trimmed. A
// "blank" name is empty or made of spaces (0x20) only. "Bounded copy of n
// bytes" means strncpy semantics: the text is copied up to its NUL or n
// bytes, the rest of the n bytes is zero, and a text of n or more bytes gets
// no terminator. The byte layout of the file is described in
// doc/file_format.md.
#ifndef BRELLOX_BRELLOX_H_
#define BRELLOX_BRELLOX_H_

#include <stddef.h>

#include "brellox/export.h"
#include "brellox/smart_array.h"

// A data-source connection (180 bytes). Only `id` and `name` mean anything to
// the store; every other byte is stored and returned as the caller gave it.
struct SVC_GDB_CONN_INFO {
  SVR_LONG id;    // issued by Svr_AddConn, 1 or more
  char name[32];  // unique among connections, NUL-terminated in the field
  char info1[32];
  char info2[16];
  char info3[30];
  char info4[64];
  char fill[2];
};

// A published geodatabase (168 bytes). `name` is its alias name.
struct SVC_GDB_INFO {
  SVR_LONG id;    // issued by Svr_AddGDB, 1 or more
  char name[32];  // unique among GDBs, NUL-terminated in the field
  char details[132];
};

// Option type codes: how many bytes of CONFIG_OPTION::value are the value.
enum : unsigned char {
  SVR_OPTION_TEXT = 0,    // NUL-terminated text, at most 127 bytes + NUL
  SVR_OPTION_INT32 = 4,   // bytes 0..3, little-endian
  SVR_OPTION_DOUBLE = 7,  // bytes 0..7, IEEE 754 little-endian
  SVR_OPTION_BLOCK = 13,  // all 128 bytes
};

#pragma pack(push, 1)
// One typed option (353 bytes, byte-packed).
struct CONFIG_OPTION {
  char name[32];
  unsigned char value[128];
  unsigned char type;  // an SVR_OPTION_* code; other codes carry no value
  char description[192];
};
#pragma pack(pop)

static_assert(sizeof(SVC_GDB_CONN_INFO) == 180, "connection record size");
static_assert(offsetof(SVC_GDB_CONN_INFO, name) == 4, "layout");
static_assert(offsetof(SVC_GDB_CONN_INFO, info1) == 36, "layout");
static_assert(offsetof(SVC_GDB_CONN_INFO, info2) == 68, "layout");
static_assert(offsetof(SVC_GDB_CONN_INFO, info3) == 84, "layout");
static_assert(offsetof(SVC_GDB_CONN_INFO, info4) == 114, "layout");
static_assert(offsetof(SVC_GDB_CONN_INFO, fill) == 178, "layout");
static_assert(sizeof(SVC_GDB_INFO) == 168, "GDB record size");
static_assert(offsetof(SVC_GDB_INFO, name) == 4, "layout");
static_assert(offsetof(SVC_GDB_INFO, details) == 36, "layout");
static_assert(sizeof(CONFIG_OPTION) == 353, "option record size");
static_assert(offsetof(CONFIG_OPTION, value) == 32, "layout");
static_assert(offsetof(CONFIG_OPTION, type) == 160, "layout");
static_assert(offsetof(CONFIG_OPTION, description) == 161, "layout");

// ---------------------------------------------------------------------------
// Temporary directory

// Stores `dir` as the server's temporary directory. Refused (0, file
// unchanged): `dir` NULL, or 128 bytes or longer.
BRELLOX_EXPORT SVR_LONG Svr_SetTempDir(char* dir);

// Bounded-copies the stored directory into `buf`, min(len, 128) bytes; the
// rest of `buf` is not touched. 0 for a NULL `buf` or `len` <= 0 (`buf`
// untouched) and when the file cannot be read.
BRELLOX_EXPORT SVR_LONG Svr_GetTempDir(char* buf, short len);

// ---------------------------------------------------------------------------
// Users

// Adds a user and returns its new ID (the last issued user ID + 1; IDs are
// never reused). `password` may be NULL (stored as empty). Refused (0, file
// unchanged): `name` NULL or blank, longer than 30 bytes or already in use;
// `password` longer than 64 bytes. A 30-byte name or 64-byte password is
// stored without a terminator.
BRELLOX_EXPORT SVR_LONG Svr_AddUser(char* name, char* password);

// Zeroes all `len` bytes of `name`, then bounded-copies the user's name into
// it, min(len, 30) bytes. 1 when the user exists. 0 (buffer untouched) for
// `userID` <= 0, NULL `name` or `len` <= 0; 0 with the buffer all zero when
// no user has the ID or the file cannot be read.
BRELLOX_EXPORT SVR_LONG Svr_GetUser(SVR_LONG userID, char* name, SVR_LONG len);

// Replaces the user's password. 0 for `userID` <= 0, NULL `password`, a
// password longer than 64 bytes, an ID no user has, or a file failure.
BRELLOX_EXPORT SVR_LONG Svr_UpdateUser(SVR_LONG userID, char* password);

// Removes the user; later users move up one slot and keep their order. The
// freed slot is cleared. 1 also when no user has the ID; 0 for `userID` <= 0
// or a file failure. The user's privilege values are kept.
BRELLOX_EXPORT SVR_LONG Svr_DelUser(SVR_LONG userID);

// The number of users; 0 when the file cannot be read.
BRELLOX_EXPORT SVR_LONG Svr_GetUserCount();

// Empties `ids`, then appends every user's ID in table order. Returns the
// number of IDs listed; 0 (list empty) when the file cannot be read.
BRELLOX_EXPORT SVR_LONG Svr_GetUserIDs(CSmartArray<SVR_LONG>& ids);

// The ID of the user with exactly this name, or 0.
BRELLOX_EXPORT SVR_LONG Svr_GetUserIDByName(char* name);

// 1 when a user has exactly this name and exactly this password; else 0. A
// NULL password never matches; an empty one matches an empty password.
BRELLOX_EXPORT SVR_LONG Svr_CheckUser(char* name, char* password);

// ---------------------------------------------------------------------------
// Privilege values, one per (user ID, privilege ID) pair

// Sets `value` to 0, then to the stored value of the pair if there is one.
// 1 when the table was searched, matched or not; 0 for `userID` <= 0 or a
// file failure.
BRELLOX_EXPORT SVR_LONG Svr_GetUserPriv(SVR_LONG userID, SVR_LONG privID,
                                        SVR_LONG& value);

// Stores `value` for the pair, replacing an earlier value. The user ID is
// not checked against the user table. Refused (0): `userID` <= 0,
// `privID` <= 0, `value` < 0.
BRELLOX_EXPORT SVR_LONG Svr_SetUserPriv(SVR_LONG userID, SVR_LONG privID,
                                        SVR_LONG value);

// ---------------------------------------------------------------------------
// Connections

// Adds a copy of `info` (all 180 bytes) under a new ID and returns the ID;
// `info` itself is not changed. Refused (0, file unchanged): a blank name or
// one in use.
BRELLOX_EXPORT SVR_LONG Svr_AddConn(SVC_GDB_CONN_INFO& info);

// Zeroes `info` (for `connID` > 0), then copies the connection in. 1 when
// found; 0 otherwise (`info` untouched for `connID` <= 0, else all zero).
BRELLOX_EXPORT SVR_LONG Svr_GetConn(SVR_LONG connID, SVC_GDB_CONN_INFO& info);

// Zeroes `count` elements of `infos`, then copies the first min(count,
// number of connections) connections in. 1 when the table was read, also
// when empty; 0 for a NULL array, `count` <= 0 (nothing touched) or a file
// failure.
BRELLOX_EXPORT SVR_LONG Svr_GetAllConn(SVC_GDB_CONN_INFO* infos,
                                       SVR_LONG count);

// Replaces the connection whose ID is `info.id` with `info`, whole. Refused
// (0, file unchanged): no connection has that ID, or another one has that
// name. The record may keep its own name.
BRELLOX_EXPORT SVR_LONG Svr_UpdateConn(SVC_GDB_CONN_INFO& info);

// Removes the connection as Svr_DelUser removes a user.
BRELLOX_EXPORT SVR_LONG Svr_DelConn(SVR_LONG connID);

// 1 when a connection has exactly this name; else 0.
BRELLOX_EXPORT SVR_LONG Svr_ConnIsExist(char* name);

// The number of connections; 0 when the file cannot be read.
BRELLOX_EXPORT SVR_LONG Svr_GetConnCount();

// As Svr_GetUserIDs, for connections.
BRELLOX_EXPORT SVR_LONG Svr_GetConnIDs(CSmartArray<SVR_LONG>& ids);

// ---------------------------------------------------------------------------
// GDBs: as the connection functions, with SVC_GDB_INFO records.

BRELLOX_EXPORT SVR_LONG Svr_AddGDB(SVC_GDB_INFO& info);
BRELLOX_EXPORT SVR_LONG Svr_GetGDB(SVR_LONG gdbID, SVC_GDB_INFO& info);
BRELLOX_EXPORT SVR_LONG Svr_GetAllGDB(SVC_GDB_INFO* infos, SVR_LONG count);
BRELLOX_EXPORT SVR_LONG Svr_UpdateGDB(SVC_GDB_INFO& info);
BRELLOX_EXPORT SVR_LONG Svr_DelGDB(SVR_LONG gdbID);
BRELLOX_EXPORT SVR_LONG Svr_GDBIsExist(char* name);

// The number of GDBs; -1 (not 0) when the file cannot be read.
BRELLOX_EXPORT SVR_LONG Svr_GetGDBCount();

BRELLOX_EXPORT SVR_LONG Svr_GetGDBIDs(CSmartArray<SVR_LONG>& ids);

// Zeroes the first `len` bytes of `name`, then bounded-copies the alias name
// of the GDB with this ID, min(len, 32) bytes. 1 when the GDB table is not
// empty and was read, whether or not the ID was found (not found: all
// zero). 0 for a NULL `name` or `len` <= 0 (untouched), an empty table or a
// file failure.
BRELLOX_EXPORT SVR_LONG Svr_GetGDBAliasName(SVR_LONG gdbID, char* name,
                                            short len);

// Sets `gdbID` to 0, then to the ID of the GDB with exactly this alias name.
// Results as Svr_GetGDBAliasName: 1 for a readable, non-empty table.
BRELLOX_EXPORT SVR_LONG Svr_GetGDBID(char* name, SVR_LONG& gdbID);

// ---------------------------------------------------------------------------
// Options. A NULL `name` selects the global option (position 0 only);
// otherwise a group is selected by (`groupType` > 0, `name`). A group has six
// option positions. New values are taken in the form of the stored option's
// type; names, types and descriptions never change after creation.

// Appends a group holding copies of the first min(count, 6) records of
// `options` (the other positions zero). Refused (0): `groupType` <= 0, NULL
// `name`, a name longer than 31 bytes, NULL `options`, `count` <= 0, or a
// group with this type and name already stored.
BRELLOX_EXPORT SVR_LONG Svr_AddOptionInfo(char* name, SVR_LONG groupType,
                                          CONFIG_OPTION* options,
                                          SVR_LONG count);

// 1 for a NULL `name`; 6 when the group exists; -1 otherwise.
BRELLOX_EXPORT SVR_LONG Svr_GetOptionCount(char* name, SVR_LONG groupType);

// Zeroes `count` records of `options`, then copies in the global option (one
// record) or the group's first min(count, 6) options.
BRELLOX_EXPORT SVR_LONG Svr_GetOptionInfo(char* name, SVR_LONG groupType,
                                          CONFIG_OPTION* options,
                                          SVR_LONG count);

// Takes new values from the first min(count, 6) records of `options` (only
// the first for the global option).
BRELLOX_EXPORT SVR_LONG Svr_SetOptionInfo(char* name, SVR_LONG groupType,
                                          CONFIG_OPTION* options,
                                          SVR_LONG count);

// Zeroes `option`, then copies in the option at `index` (0 to 5; only 0 for
// the global option).
BRELLOX_EXPORT SVR_LONG Svr_GetOptionInfo(char* name, SVR_LONG groupType,
                                          SVR_LONG index,
                                          CONFIG_OPTION& option);

// Takes a new value for the option at `index` from `option`.
BRELLOX_EXPORT SVR_LONG Svr_SetOptionInfo(char* name, SVR_LONG groupType,
                                          SVR_LONG index,
                                          CONFIG_OPTION& option);

// ---------------------------------------------------------------------------
// The reason of the last failure

// The reason the calling thread's last call of this library failed (a Svr_
// function, or a brellox_ function of brellox/brellox_c.h): returns its
// result code, a brellox_result number of brellox_c.h (for example 3: a
// name already taken, 5: the file was busy), or 0 when the last call
// succeeded or none was made; copies its message, NUL-terminated and cut to
// fit, into `buffer` when it is not NULL and `size` > 0 ("" after a
// success). Each Svr_ function clears it when it starts; reading it changes
// nothing. A "success" is a call that did not end in its failure result: a
// name looked up and not found (Svr_GetUserIDByName answering 0, for
// instance) is a failure with its reason; Svr_ConnIsExist answering 0 is
// not.
BRELLOX_EXPORT SVR_LONG Svr_GetLastError(char* buffer, SVR_LONG size);

#endif  // BRELLOX_BRELLOX_H_
