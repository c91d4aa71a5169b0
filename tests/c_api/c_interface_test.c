/* Every function of the C interface, called from a program compiled as C,
 * against the shared library (Linux) or brellox.dll (Windows, 64- and
 * 32-bit): the round trip of each table, each result a call can give, and
 * the last error after a failure and after a success; bringing a file to a
 * desired state, and the report the caller frees.
 *
 *   c_interface_test PRISTINE_FILE SCRATCH_FOLDER
 *
 * PRISTINE_FILE is a configuration file as the library writes a new one; it
 * is copied into SCRATCH_FOLDER and never changed. Exit status 0 when every
 * check held; each failed check prints one line. */
#if !defined(_WIN32)
#define _POSIX_C_SOURCE 200809L /* setenv, chmod */
#include <sys/stat.h>
#endif
#include <brellox/brellox_c.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int g_failures = 0;

#define CHECK(condition)                                                    \
  do {                                                                      \
    if (!(condition)) {                                                     \
      fprintf(stderr, "line %d: %s does not hold\n", __LINE__, #condition); \
      ++g_failures;                                                         \
    }                                                                       \
  } while (0)

/* Checks that `call` gave `wanted`, and that the last error tells the same
 * result, with a reason for a failure and none for a success. */
#define EXPECT_RESULT(call, wanted) \
  ExpectResult((call), (wanted), #call, __LINE__)

static void ExpectResult(brellox_result got, brellox_result wanted,
                         const char* call, int line) {
  char reason[256];
  const brellox_result last = brellox_last_error(reason, sizeof reason);
  if (got != wanted) {
    fprintf(stderr, "line %d: %s gave %s (%s), wanted %s\n", line, call,
            brellox_result_name(got), reason, brellox_result_name(wanted));
    ++g_failures;
  } else if (last != got || (got == BRELLOX_OK) != (reason[0] == '\0')) {
    fprintf(stderr, "line %d: %s: the last error is %s '%s'\n", line, call,
            brellox_result_name(last), reason);
    ++g_failures;
  }
}

/* The last error's message holds `part`. */
static void ExpectReason(const char* part, int line) {
  char reason[256];
  brellox_last_error(reason, sizeof reason);
  if (strstr(reason, part) == NULL) {
    fprintf(stderr, "line %d: reason '%s' does not mention '%s'\n", line,
            reason, part);
    ++g_failures;
  }
}

/* Copies the first `limit` bytes of `from` (all of it for a negative
 * `limit`) to `to`. */
static int CopyFile(const char* from, const char* to, long limit) {
  char bytes[65536];
  size_t n;
  FILE* in = fopen(from, "rb");
  FILE* out = fopen(to, "wb");
  int ok = in != NULL && out != NULL;
  if (ok) {
    n = fread(bytes, 1, sizeof bytes, in);
    if (limit >= 0 && n > (size_t)limit) n = (size_t)limit;
    ok = fwrite(bytes, 1, n, out) == n;
  }
  if (in != NULL) fclose(in);
  if (out != NULL && fclose(out) != 0) ok = 0;
  return ok;
}

/* The last error's message does not hold `secret`. */
static void ExpectReasonLacks(const char* secret, int line) {
  char reason[1024];
  brellox_last_error(reason, sizeof reason);
  if (strstr(reason, secret) != NULL) {
    fprintf(stderr, "line %d: reason '%s' shows a secret\n", line, reason);
    ++g_failures;
  }
}

/* The first `size` bytes of the file `path` into `bytes`; how many. */
static size_t ReadFile(const char* path, char* bytes, size_t size) {
  size_t n = 0;
  FILE* in = fopen(path, "rb");
  if (in != NULL) {
    n = fread(bytes, 1, size, in);
    fclose(in);
  }
  return n;
}

static void SetVariable(const char* name, const char* value) {
#if defined(_WIN32)
  char setting[256];
  sprintf(setting, "%s=%s", name, value);
  CHECK(_putenv(setting) == 0);
#else
  CHECK(setenv(name, value, 1) == 0);
#endif
}

static void TempDir(const char* file) {
  char dir[BRELLOX_TEMP_DIR_SIZE];
  char small[4];
  char longest[BRELLOX_TEMP_DIR_SIZE + 1];
  EXPECT_RESULT(brellox_set_temp_dir(file, "/srv/tmp"), BRELLOX_OK);
  EXPECT_RESULT(brellox_get_temp_dir(file, dir, sizeof dir), BRELLOX_OK);
  CHECK(strcmp(dir, "/srv/tmp") == 0);
  EXPECT_RESULT(brellox_get_temp_dir(file, small, sizeof small),
                BRELLOX_INVALID_ARGUMENT);
  CHECK(small[0] == '\0');
  memset(longest, 'd', sizeof longest - 1);
  longest[sizeof longest - 1] = '\0';
  EXPECT_RESULT(brellox_set_temp_dir(file, longest), BRELLOX_INVALID_ARGUMENT);
  EXPECT_RESULT(brellox_set_temp_dir(file, NULL), BRELLOX_INVALID_ARGUMENT);
  longest[BRELLOX_TEMP_DIR_SIZE - 1] = '\0';
  EXPECT_RESULT(brellox_set_temp_dir(file, longest), BRELLOX_OK);
  EXPECT_RESULT(brellox_get_temp_dir(file, dir, sizeof dir), BRELLOX_OK);
  CHECK(strcmp(dir, longest) == 0);
}

static void Users(const char* file) {
  int32_t id = 0, count = 0, value = -1;
  int32_t ids[2] = {0, 0};
  char name[BRELLOX_USER_NAME_SIZE];
  char reason_unknown[256], reason_wrong[256];

  EXPECT_RESULT(brellox_add_user(file, "ann", "pw", &id), BRELLOX_OK);
  CHECK(id == 1);
  EXPECT_RESULT(brellox_add_user(file, "bob", NULL, &id), BRELLOX_OK);
  CHECK(id == 2);
  EXPECT_RESULT(brellox_add_user(file, "ann", "other", &id),
                BRELLOX_ALREADY_EXISTS);
  ExpectReason("user 'ann' already exists", __LINE__);
  CHECK(id == 2); /* untouched by the failure */
  EXPECT_RESULT(brellox_add_user(file, "  ", "pw", &id),
                BRELLOX_INVALID_ARGUMENT);
  ExpectReason("blank", __LINE__);
  EXPECT_RESULT(brellox_add_user(file, "carl", "pw", NULL),
                BRELLOX_INVALID_ARGUMENT);

  EXPECT_RESULT(brellox_get_user_name(file, 1, name, sizeof name), BRELLOX_OK);
  CHECK(strcmp(name, "ann") == 0);
  EXPECT_RESULT(brellox_get_user_name(file, 9, name, sizeof name),
                BRELLOX_NOT_FOUND);
  EXPECT_RESULT(brellox_get_user_name(file, 0, name, sizeof name),
                BRELLOX_INVALID_ARGUMENT);
  EXPECT_RESULT(brellox_get_user_name(file, 1, name, 3),
                BRELLOX_INVALID_ARGUMENT);

  EXPECT_RESULT(brellox_get_user_count(file, &count), BRELLOX_OK);
  CHECK(count == 2);
  /* Needed size: a short array gets the first IDs and the whole count. */
  EXPECT_RESULT(brellox_get_user_ids(file, NULL, 0, &count), BRELLOX_OK);
  CHECK(count == 2);
  EXPECT_RESULT(brellox_get_user_ids(file, ids, 1, &count), BRELLOX_OK);
  CHECK(count == 2 && ids[0] == 1 && ids[1] == 0);
  EXPECT_RESULT(brellox_get_user_ids(file, ids, 2, &count), BRELLOX_OK);
  CHECK(count == 2 && ids[0] == 1 && ids[1] == 2);
  EXPECT_RESULT(brellox_get_user_ids(file, NULL, 1, &count),
                BRELLOX_INVALID_ARGUMENT);

  EXPECT_RESULT(brellox_get_user_id(file, "bob", &id), BRELLOX_OK);
  CHECK(id == 2);
  EXPECT_RESULT(brellox_get_user_id(file, "nobody", &id), BRELLOX_NOT_FOUND);

  /* An unknown name and a wrong password read alike. */
  EXPECT_RESULT(brellox_check_user(file, "ann", "pw"), BRELLOX_OK);
  EXPECT_RESULT(brellox_check_user(file, "bob", ""), BRELLOX_OK);
  EXPECT_RESULT(brellox_check_user(file, "nobody", "pw"), BRELLOX_REFUSED);
  brellox_last_error(reason_unknown, sizeof reason_unknown);
  EXPECT_RESULT(brellox_check_user(file, "ann", "PW"), BRELLOX_REFUSED);
  brellox_last_error(reason_wrong, sizeof reason_wrong);
  CHECK(strcmp(reason_unknown, reason_wrong) == 0);
  EXPECT_RESULT(brellox_check_user(file, "ann", NULL),
                BRELLOX_INVALID_ARGUMENT);

  EXPECT_RESULT(brellox_update_user(file, 1, "new"), BRELLOX_OK);
  EXPECT_RESULT(brellox_check_user(file, "ann", "new"), BRELLOX_OK);
  EXPECT_RESULT(brellox_update_user(file, 9, "new"), BRELLOX_NOT_FOUND);
  ExpectReason("no user with ID 9", __LINE__);
  EXPECT_RESULT(brellox_update_user(file, 1, NULL), BRELLOX_INVALID_ARGUMENT);

  EXPECT_RESULT(brellox_set_user_privilege(file, 1, 5, 3), BRELLOX_OK);
  EXPECT_RESULT(brellox_get_user_privilege(file, 1, 5, &value), BRELLOX_OK);
  CHECK(value == 3);
  EXPECT_RESULT(brellox_get_user_privilege(file, 1, 6, &value), BRELLOX_OK);
  CHECK(value == 0);
  EXPECT_RESULT(brellox_set_user_privilege(file, 1, 5, -1),
                BRELLOX_INVALID_ARGUMENT);
  EXPECT_RESULT(brellox_get_user_privilege(file, 0, 5, &value),
                BRELLOX_INVALID_ARGUMENT);

  EXPECT_RESULT(brellox_delete_user(file, 2), BRELLOX_OK);
  EXPECT_RESULT(brellox_delete_user(file, 2), BRELLOX_NOT_FOUND);
  EXPECT_RESULT(brellox_get_user_count(file, &count), BRELLOX_OK);
  CHECK(count == 1);
  /* A user's ID is never issued again. */
  EXPECT_RESULT(brellox_add_user(file, "bob", "pw", &id), BRELLOX_OK);
  CHECK(id == 3);
}

static void Connections(const char* file) {
  brellox_connection pg, other, found, all[4];
  int32_t id = 0, count = 0, exists = -1;
  int32_t ids[4];
  memset(&pg, 0, sizeof pg);
  strcpy(pg.name, "pg");
  strcpy(pg.info1, "db.example.org");
  memset(pg.info4, 0x7f, sizeof pg.info4); /* kept byte for byte */
  pg.fill[1] = 9;

  EXPECT_RESULT(brellox_get_connection_count(file, &count), BRELLOX_OK);
  CHECK(count == 1); /* a new file has one connection */
  EXPECT_RESULT(brellox_add_connection(file, &pg, &id), BRELLOX_OK);
  CHECK(id == 2);
  EXPECT_RESULT(brellox_add_connection(file, &pg, &id), BRELLOX_ALREADY_EXISTS);
  ExpectReason("connection 'pg' already exists", __LINE__);
  EXPECT_RESULT(brellox_get_connection(file, 2, &found), BRELLOX_OK);
  pg.id = 2;
  CHECK(memcmp(&found, &pg, sizeof pg) == 0);

  other = pg;
  strcpy(other.name, "mirror");
  EXPECT_RESULT(brellox_add_connection(file, &other, &id), BRELLOX_OK);
  CHECK(id == 3);
  other.id = 3;
  strcpy(other.name, "pg"); /* the name of another record */
  EXPECT_RESULT(brellox_update_connection(file, &other),
                BRELLOX_ALREADY_EXISTS);
  strcpy(pg.info2, "5432");
  EXPECT_RESULT(brellox_update_connection(file, &pg), BRELLOX_OK);
  EXPECT_RESULT(brellox_get_connection(file, 2, &found), BRELLOX_OK);
  CHECK(strcmp(found.info2, "5432") == 0);
  other.id = 77;
  EXPECT_RESULT(brellox_update_connection(file, &other), BRELLOX_NOT_FOUND);

  EXPECT_RESULT(brellox_get_connections(file, all, 4, &count), BRELLOX_OK);
  CHECK(count == 3 && all[1].id == 2 && strcmp(all[2].name, "mirror") == 0);
  EXPECT_RESULT(brellox_get_connection_ids(file, ids, 4, &count), BRELLOX_OK);
  CHECK(count == 3 && ids[0] == 1 && ids[1] == 2 && ids[2] == 3);
  EXPECT_RESULT(brellox_connection_exists(file, "pg", &exists), BRELLOX_OK);
  CHECK(exists == 1);
  EXPECT_RESULT(brellox_connection_exists(file, "none", &exists), BRELLOX_OK);
  CHECK(exists == 0);

  EXPECT_RESULT(brellox_delete_connection(file, 3), BRELLOX_OK);
  EXPECT_RESULT(brellox_delete_connection(file, 3), BRELLOX_NOT_FOUND);
  EXPECT_RESULT(brellox_get_connection(file, 3, &found), BRELLOX_NOT_FOUND);
  EXPECT_RESULT(brellox_get_connection_count(file, &count), BRELLOX_OK);
  CHECK(count == 2);
}

static void Gdbs(const char* file) {
  brellox_gdb world, found, all[2];
  int32_t id = 0, count = -1, exists = -1;
  int32_t ids[2];
  char alias[BRELLOX_NAME_SIZE];
  memset(&world, 0, sizeof world);
  strcpy(world.name, "world");
  world.details[0] = 0x0a;
  world.details[131] = 0x0b;

  EXPECT_RESULT(brellox_get_gdb_count(file, &count), BRELLOX_OK);
  CHECK(count == 0);
  EXPECT_RESULT(brellox_get_gdb_id(file, "world", &id), BRELLOX_NOT_FOUND);
  EXPECT_RESULT(brellox_add_gdb(file, &world, &id), BRELLOX_OK);
  CHECK(id == 1);
  EXPECT_RESULT(brellox_add_gdb(file, &world, &id), BRELLOX_ALREADY_EXISTS);
  world.id = 1;
  EXPECT_RESULT(brellox_get_gdb(file, 1, &found), BRELLOX_OK);
  CHECK(memcmp(&found, &world, sizeof world) == 0);
  world.details[1] = 0x0c;
  EXPECT_RESULT(brellox_update_gdb(file, &world), BRELLOX_OK);
  EXPECT_RESULT(brellox_get_gdbs(file, all, 2, &count), BRELLOX_OK);
  CHECK(count == 1 && memcmp(&all[0], &world, sizeof world) == 0);
  EXPECT_RESULT(brellox_get_gdb_ids(file, ids, 2, &count), BRELLOX_OK);
  CHECK(count == 1 && ids[0] == 1);
  EXPECT_RESULT(brellox_gdb_exists(file, "world", &exists), BRELLOX_OK);
  CHECK(exists == 1);
  EXPECT_RESULT(brellox_get_gdb_alias_name(file, 1, alias, sizeof alias),
                BRELLOX_OK);
  CHECK(strcmp(alias, "world") == 0);
  EXPECT_RESULT(brellox_get_gdb_alias_name(file, 2, alias, sizeof alias),
                BRELLOX_NOT_FOUND);
  EXPECT_RESULT(brellox_get_gdb_id(file, "world", &id), BRELLOX_OK);
  CHECK(id == 1);
  EXPECT_RESULT(brellox_delete_gdb(file, 1), BRELLOX_OK);
  EXPECT_RESULT(brellox_gdb_exists(file, "world", &exists), BRELLOX_OK);
  CHECK(exists == 0);
  EXPECT_RESULT(brellox_delete_gdb(file, 0), BRELLOX_INVALID_ARGUMENT);
}

static void Options(const char* file) {
  brellox_option global, group[BRELLOX_OPTION_GROUP_SLOTS], one;
  int32_t count = 0, value = 8192, read_back = 0;
  EXPECT_RESULT(brellox_get_option_count(file, NULL, 0, &count), BRELLOX_OK);
  CHECK(count == 1);
  EXPECT_RESULT(brellox_get_option(file, NULL, 0, 0, &global), BRELLOX_OK);
  CHECK(global.type == BRELLOX_OPTION_INT32);
  memcpy(global.value, &value, sizeof value);
  EXPECT_RESULT(brellox_set_option(file, NULL, 0, 0, &global), BRELLOX_OK);
  EXPECT_RESULT(brellox_get_options(file, NULL, 0, &one, 1), BRELLOX_OK);
  memcpy(&read_back, one.value, sizeof read_back);
  CHECK(read_back == 8192);
  EXPECT_RESULT(brellox_set_options(file, NULL, 0, &global, 1), BRELLOX_OK);
  EXPECT_RESULT(brellox_get_option(file, NULL, 0, 1, &one),
                BRELLOX_INVALID_ARGUMENT);

  memset(group, 0, sizeof group);
  strcpy(group[0].name, "tiles");
  group[0].type = BRELLOX_OPTION_INT32;
  strcpy(group[1].name, "dir");
  group[1].type = BRELLOX_OPTION_TEXT;
  strcpy((char*)group[1].value, "/srv/tiles");
  EXPECT_RESULT(brellox_add_option_group(file, "render", 1, group, 2),
                BRELLOX_OK);
  EXPECT_RESULT(brellox_add_option_group(file, "render", 1, group, 2),
                BRELLOX_ALREADY_EXISTS);
  EXPECT_RESULT(brellox_add_option_group(file, "render", 0, group, 2),
                BRELLOX_INVALID_ARGUMENT);
  EXPECT_RESULT(brellox_get_option_count(file, "render", 1, &count),
                BRELLOX_OK);
  CHECK(count == BRELLOX_OPTION_GROUP_SLOTS);
  EXPECT_RESULT(brellox_get_option_count(file, "render", 2, &count),
                BRELLOX_NOT_FOUND);

  strcpy((char*)group[1].value, "/var/tiles");
  strcpy(group[1].name, "renamed"); /* names never change */
  EXPECT_RESULT(brellox_set_options(file, "render", 1, group, 2), BRELLOX_OK);
  one = group[0];
  memcpy(one.value, &value, sizeof value);
  EXPECT_RESULT(brellox_set_option(file, "render", 1, 0, &one), BRELLOX_OK);
  memset(group, 0x55, sizeof group);
  EXPECT_RESULT(
      brellox_get_options(file, "render", 1, group, BRELLOX_OPTION_GROUP_SLOTS),
      BRELLOX_OK);
  memcpy(&read_back, group[0].value, sizeof read_back);
  CHECK(read_back == 8192);
  CHECK(strcmp(group[1].name, "dir") == 0);
  CHECK(strcmp((const char*)group[1].value, "/var/tiles") == 0);
  CHECK(group[5].name[0] == '\0' && group[5].type == 0);
  EXPECT_RESULT(brellox_get_option(file, "render", 1, 1, &one), BRELLOX_OK);
  CHECK(strcmp((const char*)one.value, "/var/tiles") == 0);
  EXPECT_RESULT(brellox_get_option(file, "render", 1, 6, &one),
                BRELLOX_INVALID_ARGUMENT);
  EXPECT_RESULT(brellox_set_option(file, "absent", 1, 0, &one),
                BRELLOX_NOT_FOUND);
  ExpectReason("no option group 'absent' of type 1", __LINE__);
}

/* Files that cannot be used, and the library's own file (path NULL). */
/* Applies `state` with `flags`, expecting `wanted`; a success's report must
 * hold each of `parts` (NULL-ended) and, like any reason, not `secret`. */
static void ExpectApply(const char* file, const char* state, uint32_t flags,
                        brellox_result wanted, const char* const* parts,
                        const char* secret, int line) {
  char* report = (char*)&report; /* must be set to NULL on failure */
  const brellox_result got = brellox_apply(file, state, NULL, flags, &report);
  ExpectResult(got, wanted, state != NULL ? state : "no state", line);
  if (got != BRELLOX_OK) {
    if (report != NULL) {
      fprintf(stderr, "line %d: a failed apply left a report\n", line);
      ++g_failures;
    }
    if (secret != NULL) ExpectReasonLacks(secret, line);
    return;
  }
  if (report == NULL) {
    fprintf(stderr, "line %d: no report\n", line);
    ++g_failures;
    return;
  }
  for (; parts != NULL && *parts != NULL; ++parts) {
    if (strstr(report, *parts) == NULL) {
      fprintf(stderr, "line %d: report %s lacks %s\n", line, report, *parts);
      ++g_failures;
    }
  }
  if (secret != NULL && strstr(report, secret) != NULL) {
    fprintf(stderr, "line %d: report %s shows a secret\n", line, report);
    ++g_failures;
  }
  brellox_free(report);
}

static void Apply(const char* file, const char* scratch) {
  static const char kDora[] =
      "{\"users\": [{\"name\": \"dora\", \"password\": {\"env\": "
      "\"BRELLOX_C_TEST_PASSWORD\"}}], \"privileges\": [{\"user\": "
      "\"dora\", \"privID\": 4, \"value\": 2}], \"connections\": "
      "[{\"name\": \"pg2\", \"info1\": \"db.example.org\"}]}";
  static const char* const kAdded[] = {
      "\"changed\":true", "\"dryRun\":false", "added", "user 'dora'",
      "privilege (user 'dora', privilege 4)", "connection 'pg2'", NULL};
  static const char* const kDryRun[] = {"\"changed\":false",
                                        "\"dryRun\":true", "user 'dora'",
                                        NULL};
  static const char* const kNone[] = {"\"changed\":false", "\"changes\":[]",
                                      NULL};
  static const char* const kRemoved[] = {"\"changed\":true", "removed",
                                         "user 'dora'", NULL};
  static const char* const kPassword[] = {"password", NULL};
  static const char* const kNoPassword[] = {"\"changed\":true", "user 'nopw'",
                                            NULL};
  char before[65536], after[65536];
  size_t size_before, size_after;
  int32_t id = 0, value = 0, exists = 0;
  char* report = NULL;
#if !defined(_WIN32)
  char secret_file[1024];
  FILE* out;
#endif

  /* A new user needs a password, or the flag that allows none. */
  ExpectApply(file, "{\"users\": [{\"name\": \"nopw\"}]}", 0,
              BRELLOX_REFUSED, NULL, NULL, __LINE__);
  ExpectReason("users[0]: new user 'nopw' has no password", __LINE__);
  ExpectReason("BRELLOX_APPLY_ALLOW_EMPTY_PASSWORD", __LINE__);
  EXPECT_RESULT(brellox_get_user_id(file, "nopw", &id), BRELLOX_NOT_FOUND);
  ExpectApply(file, "{\"users\": [{\"name\": \"nopw\"}]}",
              BRELLOX_APPLY_ALLOW_EMPTY_PASSWORD, BRELLOX_OK, kNoPassword, NULL,
              __LINE__);
  EXPECT_RESULT(brellox_check_user(file, "nopw", ""), BRELLOX_OK);

  /* Arguments the call never takes, and a state that is not JSON. */
  ExpectApply(file, "{}", 16u, BRELLOX_INVALID_ARGUMENT, NULL, NULL, __LINE__);
  ExpectApply(file, NULL, 0, BRELLOX_INVALID_ARGUMENT, NULL, NULL, __LINE__);
  EXPECT_RESULT(brellox_apply(file, "{}", "no-such-code-page", 0, &report),
                BRELLOX_INVALID_ARGUMENT);
  CHECK(report == NULL);
  ExpectApply(file, "{\"users\": [", 0, BRELLOX_REFUSED, NULL, NULL,
              __LINE__);
  ExpectReason("not valid JSON", __LINE__);
  ExpectApply(file, "{\"users\": [{\"name\": \" \", \"password\": \"x\"}]}",
              0, BRELLOX_REFUSED, NULL, NULL, __LINE__);
  ExpectReason("users[0].name: is blank", __LINE__);

  /* A reference to a variable that is not set names it, not a secret. */
  ExpectApply(file, kDora, 0, BRELLOX_REFUSED, NULL, NULL, __LINE__);
  ExpectReason("users[0].password (env 'BRELLOX_C_TEST_PASSWORD'): is not set",
               __LINE__);
  SetVariable("BRELLOX_C_TEST_PASSWORD", "env-s3cret");

  /* A dry run tells the changes and leaves every byte as it was. */
  size_before = ReadFile(file, before, sizeof before);
  ExpectApply(file, kDora, BRELLOX_APPLY_DRY_RUN, BRELLOX_OK, kDryRun,
              "env-s3cret", __LINE__);
  size_after = ReadFile(file, after, sizeof after);
  CHECK(size_before > 0 && size_before == size_after &&
        memcmp(before, after, size_before) == 0);
  EXPECT_RESULT(brellox_get_user_id(file, "dora", &id), BRELLOX_NOT_FOUND);

  /* Applied, then again: nothing left to change. */
  ExpectApply(file, kDora, 0, BRELLOX_OK, kAdded, "env-s3cret", __LINE__);
  EXPECT_RESULT(brellox_check_user(file, "dora", "env-s3cret"), BRELLOX_OK);
  EXPECT_RESULT(brellox_get_user_id(file, "dora", &id), BRELLOX_OK);
  EXPECT_RESULT(brellox_get_user_privilege(file, id, 4, &value), BRELLOX_OK);
  CHECK(value == 2);
  EXPECT_RESULT(brellox_connection_exists(file, "pg2", &exists), BRELLOX_OK);
  CHECK(exists == 1);
  size_before = ReadFile(file, before, sizeof before);
  ExpectApply(file, kDora, 0, BRELLOX_OK, kNone, "env-s3cret", __LINE__);
  size_after = ReadFile(file, after, sizeof after);
  CHECK(size_before == size_after && memcmp(before, after, size_before) == 0);
  /* The report may be left out. */
  EXPECT_RESULT(brellox_apply(file, kDora, NULL, 0, NULL), BRELLOX_OK);

  /* A new password by reference is told as differing, never shown. */
  SetVariable("BRELLOX_C_TEST_PASSWORD", "env-other");
  ExpectApply(file, kDora, 0, BRELLOX_OK, kPassword, "env-other", __LINE__);
  EXPECT_RESULT(brellox_check_user(file, "dora", "env-other"), BRELLOX_OK);

#if !defined(_WIN32)
  /* A file reference must be its owner's alone. */
  sprintf(secret_file, "%s/c_interface_password", scratch);
  out = fopen(secret_file, "wb");
  CHECK(out != NULL);
  if (out != NULL) {
    fputs("file-s3cret\r\nsecond line\n", out);
    fclose(out);
  }
  {
    char state[2048];
    static const char* const kFileAdded[] = {"user 'fred'", NULL};
    sprintf(state,
            "{\"users\": [{\"name\": \"fred\", \"password\": {\"file\": "
            "\"%s\"}}]}",
            secret_file);
    CHECK(chmod(secret_file, 0644) == 0);
    ExpectApply(file, state, 0, BRELLOX_REFUSED, NULL, "file-s3cret",
                __LINE__);
    ExpectReason("chmod 600", __LINE__);
    CHECK(chmod(secret_file, 0600) == 0);
    ExpectApply(file, state, 0, BRELLOX_OK, kFileAdded, "file-s3cret",
                __LINE__);
    EXPECT_RESULT(brellox_check_user(file, "fred", "file-s3cret"), BRELLOX_OK);
  }
  remove(secret_file);
#else
  (void)scratch;
#endif

  /* Absent records go, with the user's privilege values; then no change. */
  ExpectApply(file,
              "{\"users\": [{\"name\": \"dora\", \"state\": \"absent\"}], "
              "\"connections\": [{\"name\": \"pg2\", \"state\": "
              "\"absent\"}]}",
              0, BRELLOX_OK, kRemoved, NULL, __LINE__);
  EXPECT_RESULT(brellox_get_user_id(file, "dora", &id), BRELLOX_NOT_FOUND);
  EXPECT_RESULT(brellox_connection_exists(file, "pg2", &exists), BRELLOX_OK);
  CHECK(exists == 0);
  ExpectApply(file,
              "{\"users\": [{\"name\": \"dora\", \"state\": \"absent\"}]}",
              0, BRELLOX_OK, kNone, NULL, __LINE__);
  brellox_free(NULL);
}

static void Files(const char* pristine, const char* missing,
                  const char* damaged) {
  int32_t count = -1, id = 0;
  char reason[8];
  EXPECT_RESULT(brellox_get_user_count(missing, &count), BRELLOX_FILE_MISSING);
  CHECK(count == -1);
  EXPECT_RESULT(brellox_add_user(missing, "ann", "pw", &id),
                BRELLOX_FILE_MISSING);
  EXPECT_RESULT(brellox_apply(missing, "{}", NULL, 0, NULL),
                BRELLOX_FILE_MISSING);
  CHECK(CopyFile(pristine, damaged, 100)); /* shorter than a header */
  EXPECT_RESULT(brellox_get_user_count(damaged, &count), BRELLOX_DAMAGED);
  ExpectReason("header", __LINE__);
  EXPECT_RESULT(brellox_check_user(damaged, "ann", "pw"), BRELLOX_DAMAGED);
  /* The message is cut to the buffer, and a success clears it. */
  CHECK(brellox_last_error(reason, sizeof reason) == BRELLOX_DAMAGED);
  CHECK(strlen(reason) == sizeof reason - 1);
  EXPECT_RESULT(brellox_get_user_count(NULL, &count), BRELLOX_OK);
  CHECK(brellox_last_error(reason, sizeof reason) == BRELLOX_OK);
  CHECK(reason[0] == '\0');
  CHECK(strcmp(brellox_result_name(BRELLOX_ALREADY_EXISTS), "already exists") ==
        0);
  CHECK(strcmp(brellox_result_name((brellox_result)99), "unknown result") == 0);
}

int main(int argc, char** argv) {
  char file[1024], missing[1024], damaged[1024];
  if (argc != 3) {
    fprintf(stderr, "usage: c_interface_test PRISTINE_FILE SCRATCH_FOLDER\n");
    return 2;
  }
  sprintf(file, "%s/c_interface.CFG", argv[2]);
  sprintf(missing, "%s/no_such_folder/Svr_Config.CFG", argv[2]);
  sprintf(damaged, "%s/c_interface_damaged.CFG", argv[2]);
  if (!CopyFile(argv[1], file, -1)) {
    fprintf(stderr, "cannot copy %s to %s\n", argv[1], file);
    return 2;
  }
  TempDir(file);
  Users(file);
  Connections(file);
  Gdbs(file);
  Options(file);
  Apply(file, argv[2]);
  Files(argv[1], missing, damaged);
  remove(file);
  remove(damaged);
  if (g_failures > 0) fprintf(stderr, "%d check(s) failed\n", g_failures);
  return g_failures == 0 ? 0 : 1;
}
