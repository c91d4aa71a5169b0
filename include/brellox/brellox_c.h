/* The C interface of the Brellox configuration store.
 *
 * The same store as brellox/brellox.h, for callers that are not C++: C
 * (C89 syntax; only <stdint.h> is needed) and any language with a foreign
 * function interface (ctypes, P/Invoke, cgo, Rust's FFI, Delphi). Every name
 * is plain C, prefixed brellox_; only C types cross, and every buffer belongs
 * to the caller, but for brellox_apply's report, which the caller releases
 * with brellox_free.
 *
 * Every function takes `path`, the configuration file to work on: NULL is
 * the library's own "Svr_Config.CFG", the one the Svr_ functions use; any
 * other path names a file of the caller's choosing (made with the admin
 * tool's `init`, or a copy of one). As with the Svr_ functions, every call
 * is one isolated step: it opens the file, locks it (waiting at most five
 * seconds), does its work, and closes it; a change lands whole or not at
 * all. A lookup may be answered from tables this process read before, only
 * while the kernel's change signal proves the file the same; a change is
 * seen by every call that starts after it returned (BRELLOX_READ_CACHE=0
 * turns that off; doc/read_cache.md).
 *
 * Every function returns a brellox_result. Out-values are written only on
 * BRELLOX_OK, unless a comment says otherwise; a failed change leaves the
 * file as it was. After any failure, brellox_last_error gives the reason in
 * words (in this thread, until its next call). The numbers of the results
 * never change; new ones may be added after the last.
 *
 * Texts are NUL-terminated byte strings in the server's code page, compared
 * byte for byte. Records are the bytes of the file (doc/file_format.md):
 * only `id` and `name` mean anything to the store.
 */
#ifndef BRELLOX_BRELLOX_C_H_
#define BRELLOX_BRELLOX_C_H_

#include <stdint.h>

#if defined(_WIN32)
#if defined(BRELLOX_BUILDING)
#define BRELLOX_C_API __declspec(dllexport)
#elif defined(BRELLOX_STATIC)
#define BRELLOX_C_API
#else
#define BRELLOX_C_API __declspec(dllimport)
#endif
#else
#define BRELLOX_C_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* What happened. An enum, so an int on every target. */
typedef enum brellox_result {
  BRELLOX_OK = 0,
  /* an argument can never be accepted: NULL, out of range, too long, a
     buffer too small for the answer */
  BRELLOX_INVALID_ARGUMENT = 1,
  /* the record, option group or GDB asked for does not exist */
  BRELLOX_NOT_FOUND = 2,
  /* the name is taken by another record of the table */
  BRELLOX_ALREADY_EXISTS = 3,
  /* a rule forbids it: name and password do not match, the ID counter is
     spent, the file would outgrow its offsets, a file with several names
     (hard links) cannot be changed */
  BRELLOX_REFUSED = 4,
  /* another call held the file's lock for the whole five seconds */
  BRELLOX_BUSY = 5,
  /* the configuration file (or its folder) does not exist */
  BRELLOX_FILE_MISSING = 6,
  /* the system does not let this process open or change the file */
  BRELLOX_PERMISSION_DENIED = 7,
  /* the file does not describe a consistent layout (brellox check) */
  BRELLOX_DAMAGED = 8,
  /* a read, write or other file operation failed; also a journal that
     cannot be trusted */
  BRELLOX_IO_ERROR = 9,
  /* memory for the work could not be had */
  BRELLOX_NO_MEMORY = 10
} brellox_result;

/* Buffer sizes that hold any stored text with its NUL. */
#define BRELLOX_USER_NAME_SIZE 31 /* user names: up to 30 bytes */
#define BRELLOX_NAME_SIZE 33      /* connection and GDB names: up to 32 */
#define BRELLOX_TEMP_DIR_SIZE 128 /* the temporary directory: up to 127 */
#define BRELLOX_OPTION_GROUP_SLOTS 6

/* A data-source connection: 180 bytes, as in the file. */
typedef struct brellox_connection {
  int32_t id;    /* issued when added, 1 or more */
  char name[32]; /* unique among connections */
  char info1[32];
  char info2[16];
  char info3[30];
  char info4[64];
  char fill[2];
} brellox_connection;

/* A published geodatabase: 168 bytes. `name` is its alias name. */
typedef struct brellox_gdb {
  int32_t id;    /* issued when added, 1 or more */
  char name[32]; /* unique among GDBs */
  char details[132];
} brellox_gdb;

/* Option types: how many bytes of brellox_option.value are the value. */
#define BRELLOX_OPTION_TEXT 0   /* NUL-terminated, at most 127 bytes + NUL */
#define BRELLOX_OPTION_INT32 4  /* bytes 0..3, little-endian */
#define BRELLOX_OPTION_DOUBLE 7 /* bytes 0..7, IEEE 754 little-endian */
#define BRELLOX_OPTION_BLOCK 13 /* all 128 bytes */

#pragma pack(push, 1)
/* One typed option: 353 bytes, byte-packed. */
typedef struct brellox_option {
  char name[32];
  unsigned char value[128];
  unsigned char type; /* a BRELLOX_OPTION_* code */
  char description[192];
} brellox_option;
#pragma pack(pop)

/* ------------------------------------------------------------------------
 * The reason of the last failure */

/* The result of the calling thread's last failed call of this library (a C
 * function or a Svr_ function), or BRELLOX_OK when its last call succeeded
 * or it made none. Copies the reason, NUL-terminated and cut to fit, into
 * `message` when it is not NULL and `size` > 0 ("" after a success). Reading
 * it changes nothing. */
BRELLOX_C_API brellox_result brellox_last_error(char* message, int32_t size);

/* A short English name of a result ("already exists"), never NULL. */
BRELLOX_C_API const char* brellox_result_name(brellox_result result);

/* ------------------------------------------------------------------------
 * The busy timeout */

/* How long one call (a C function or a Svr_ function) waits in all for a
 * file that other calls keep locked before it fails with BRELLOX_BUSY: 5
 * seconds (5000000) at first; 0 tries each lock once. The process's applies
 * on every thread that has not set its own. BRELLOX_INVALID_ARGUMENT for a
 * negative timeout. */
BRELLOX_C_API brellox_result brellox_set_busy_timeout(int64_t microseconds);
/* The calling thread's own busy timeout, ahead of the process's; a negative
 * one follows the process's again. */
BRELLOX_C_API brellox_result
brellox_set_thread_busy_timeout(int64_t microseconds);

/* ------------------------------------------------------------------------
 * Functions that read a text into `buffer` of `size` bytes: the text and its
 * NUL must fit, else BRELLOX_INVALID_ARGUMENT with `buffer` set to "" (when
 * `size` > 0). The *_SIZE constants above always fit.
 *
 * Functions that list into a caller's array of `capacity` elements: `*count`
 * receives how many there are, and the first min(capacity, *count) are
 * copied; when *count > capacity, call again with a larger array. `array`
 * may be NULL when `capacity` is 0, to ask for the count alone. */

/* Temporary directory */
BRELLOX_C_API brellox_result brellox_set_temp_dir(const char* path,
                                                  const char* dir);
BRELLOX_C_API brellox_result brellox_get_temp_dir(const char* path,
                                                  char* buffer, int32_t size);

/* Users. Names are at most 30 bytes, not blank (empty or spaces only);
 * passwords at most 64 bytes (NULL when adding: empty). */
BRELLOX_C_API brellox_result brellox_add_user(const char* path,
                                              const char* name,
                                              const char* password,
                                              int32_t* user_id);
BRELLOX_C_API brellox_result brellox_get_user_name(const char* path,
                                                   int32_t user_id,
                                                   char* buffer, int32_t size);
BRELLOX_C_API brellox_result brellox_update_user(const char* path,
                                                 int32_t user_id,
                                                 const char* password);
/* Removes the user; its privilege values stay, as with Svr_DelUser. */
BRELLOX_C_API brellox_result brellox_delete_user(const char* path,
                                                 int32_t user_id);
BRELLOX_C_API brellox_result brellox_get_user_count(const char* path,
                                                    int32_t* count);
BRELLOX_C_API brellox_result brellox_get_user_ids(const char* path,
                                                  int32_t* ids,
                                                  int32_t capacity,
                                                  int32_t* count);
BRELLOX_C_API brellox_result brellox_get_user_id(const char* path,
                                                 const char* name,
                                                 int32_t* user_id);
/* BRELLOX_OK when the name and password belong to one user; otherwise
 * BRELLOX_REFUSED, the same for an unknown name as for a wrong password. */
BRELLOX_C_API brellox_result brellox_check_user(const char* path,
                                                const char* name,
                                                const char* password);

/* Privilege values. Getting a value never set gives 0. */
BRELLOX_C_API brellox_result brellox_get_user_privilege(const char* path,
                                                        int32_t user_id,
                                                        int32_t privilege_id,
                                                        int32_t* value);
BRELLOX_C_API brellox_result brellox_set_user_privilege(const char* path,
                                                        int32_t user_id,
                                                        int32_t privilege_id,
                                                        int32_t value);

/* Connections. Adding ignores the record's `id` and issues a new one. */
BRELLOX_C_API brellox_result brellox_add_connection(
    const char* path, const brellox_connection* record, int32_t* id);
BRELLOX_C_API brellox_result brellox_get_connection(const char* path,
                                                    int32_t id,
                                                    brellox_connection* record);
BRELLOX_C_API brellox_result
brellox_get_connections(const char* path, brellox_connection* records,
                        int32_t capacity, int32_t* count);
/* Replaces the connection whose ID is record->id, whole. */
BRELLOX_C_API brellox_result
brellox_update_connection(const char* path, const brellox_connection* record);
BRELLOX_C_API brellox_result brellox_delete_connection(const char* path,
                                                       int32_t id);
/* `*exists` is 1 when a connection has exactly this name, else 0. */
BRELLOX_C_API brellox_result brellox_connection_exists(const char* path,
                                                       const char* name,
                                                       int32_t* exists);
BRELLOX_C_API brellox_result brellox_get_connection_count(const char* path,
                                                          int32_t* count);
BRELLOX_C_API brellox_result brellox_get_connection_ids(const char* path,
                                                        int32_t* ids,
                                                        int32_t capacity,
                                                        int32_t* count);

/* GDBs, as connections. */
BRELLOX_C_API brellox_result brellox_add_gdb(const char* path,
                                             const brellox_gdb* record,
                                             int32_t* id);
BRELLOX_C_API brellox_result brellox_get_gdb(const char* path, int32_t id,
                                             brellox_gdb* record);
BRELLOX_C_API brellox_result brellox_get_gdbs(const char* path,
                                              brellox_gdb* records,
                                              int32_t capacity, int32_t* count);
BRELLOX_C_API brellox_result brellox_update_gdb(const char* path,
                                                const brellox_gdb* record);
BRELLOX_C_API brellox_result brellox_delete_gdb(const char* path, int32_t id);
BRELLOX_C_API brellox_result brellox_gdb_exists(const char* path,
                                                const char* name,
                                                int32_t* exists);
BRELLOX_C_API brellox_result brellox_get_gdb_count(const char* path,
                                                   int32_t* count);
BRELLOX_C_API brellox_result brellox_get_gdb_ids(const char* path, int32_t* ids,
                                                 int32_t capacity,
                                                 int32_t* count);
BRELLOX_C_API brellox_result brellox_get_gdb_alias_name(const char* path,
                                                        int32_t id,
                                                        char* buffer,
                                                        int32_t size);
BRELLOX_C_API brellox_result brellox_get_gdb_id(const char* path,
                                                const char* alias_name,
                                                int32_t* id);

/* Options. A NULL `name` selects the global option (index 0 only);
 * otherwise the group (`group_type` > 0, `name`) of six options. New values
 * are taken in the form of the stored option's type; names, types and
 * descriptions never change after a group is added. */

/* Adds a group holding the first min(count, 6) of `options` (the other
 * slots zero). Names are at most 31 bytes. */
BRELLOX_C_API brellox_result
brellox_add_option_group(const char* path, const char* name, int32_t group_type,
                         const brellox_option* options, int32_t count);
/* 1 for the global option, 6 for a group. */
BRELLOX_C_API brellox_result brellox_get_option_count(const char* path,
                                                      const char* name,
                                                      int32_t group_type,
                                                      int32_t* count);
/* Zeroes `count` records, then copies in the global option (one record) or
 * the group's first min(count, 6) options. */
BRELLOX_C_API brellox_result brellox_get_options(const char* path,
                                                 const char* name,
                                                 int32_t group_type,
                                                 brellox_option* options,
                                                 int32_t count);
/* Takes new values from the first min(count, 6) records (only the first
 * for the global option). */
BRELLOX_C_API brellox_result brellox_set_options(const char* path,
                                                 const char* name,
                                                 int32_t group_type,
                                                 const brellox_option* options,
                                                 int32_t count);
BRELLOX_C_API brellox_result brellox_get_option(const char* path,
                                                const char* name,
                                                int32_t group_type,
                                                int32_t index,
                                                brellox_option* option);
BRELLOX_C_API brellox_result brellox_set_option(const char* path,
                                                const char* name,
                                                int32_t group_type,
                                                int32_t index,
                                                const brellox_option* option);

/* ------------------------------------------------------------------------
 * Desired state (doc/apply_format.md) */

/* Flags of brellox_apply, as the admin tool's `apply` options. */
/* Also remove the records of each table the state lists that it lacks
   (users with their privilege values); a table left out is never pruned. */
#define BRELLOX_APPLY_PRUNE 1u
/* Decide and describe the changes under a read lock; write nothing. */
#define BRELLOX_APPLY_DRY_RUN 2u
/* Add records under the IDs the state gives them, which must be above the
   IDs the file has issued. */
#define BRELLOX_APPLY_KEEP_IDS 4u
/* Let a user be added, or a password set, with an empty password. */
#define BRELLOX_APPLY_ALLOW_EMPTY_PASSWORD 8u

/* Brings the file at `path` (NULL: the library's own) to the desired state
 * `state_json`: UTF-8 JSON as doc/apply_format.md describes, records matched
 * by name, every change in one journaled commit, nothing written when
 * nothing differs. Texts are converted to the file's code page `encoding`
 * (NULL: "GBK"). Passwords given by reference ({"env": NAME},
 * {"file": PATH}) are read by the calling process; no reason and no report
 * ever holds a password.
 *
 * On success *report (when `report` is not NULL) receives a NUL-terminated
 * UTF-8 JSON text {"changed": bool, "dryRun": bool, "changes": [...]}, the
 * change objects that `brellox apply --json` prints, which the caller
 * releases with brellox_free. On failure *report is NULL, the file is as it
 * was, and brellox_last_error gives the reason, naming the state's path
 * ("users[2].name: is blank"): BRELLOX_INVALID_ARGUMENT for a NULL state,
 * an unknown flag bit or an encoding the library cannot use,
 * BRELLOX_REFUSED for a state apply refuses (among them a new user without
 * a password, unless BRELLOX_APPLY_ALLOW_EMPTY_PASSWORD). */
BRELLOX_C_API brellox_result brellox_apply(const char* path,
                                           const char* state_json,
                                           const char* encoding,
                                           uint32_t flags, char** report);

/* Releases a buffer the library allocated for the caller (brellox_apply's
 * report). NULL is ignored. */
BRELLOX_C_API void brellox_free(void* buffer);

#ifdef __cplusplus
}
#endif

#endif /* BRELLOX_BRELLOX_C_H_ */
