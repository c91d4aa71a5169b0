// Fuzz target: any bytes at all as the configuration file and its journal.
// The input is a 4-byte little-endian length n, then n bytes of the file
// (fewer if the input ends first), then the journal (none if empty).
// Recovering from the journal must never crash, never make the file longer
// than it was, and either restore the file and idle the journal, or refuse
// and leave both as they were. Every operation must then return without
// crashing; an operation on a file whose header was consistent must leave
// it consistent, and one on a file that passes the integrity check must
// add no error to it (warnings, such as privileges of a removed user, are
// the format's own). The files live in memory (MemEnv): an input costs no
// disk, so a minute's run tries many times more of them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "src/options/options.h"
#include "src/sources/sources.h"
#include "src/sources/twin_table.h"
#include "src/store/config_file.h"
#include "src/store/file_image.h"
#include "src/store/integrity.h"
#include "src/store/journal.h"
#include "src/store/temp_dir.h"
#include "src/users/users.h"
#include "platform/mem_env.h"

namespace brellox {
namespace {


// What `path` holds; empty when there is no such file.
std::string ReadAll(const Store& store, const std::string& path) {
  return static_cast<MemEnv*>(store.env)->Contents(path).value_or("");
}

struct Verdict {
  bool consistent = false;  // the header describes a layout within the file
  bool passes = false;      // and the integrity check finds no error
};

Verdict Judge(const std::string& bytes) {
  Verdict verdict;
  FileTables tables;
  if (!DecodeImage(bytes, &tables).ok()) return verdict;
  verdict.consistent = true;
  verdict.passes = true;
  for (const Finding& f : CheckTables(tables)) {
    verdict.passes = verdict.passes && !f.error;
  }
  return verdict;
}

// Runs `operation`: a consistent file must stay consistent, and a file
// that passes the check must still pass it.
void Step(const Store& store, const std::function<void()>& operation) {
  const Verdict before = Judge(ReadAll(store, store.path));
  operation();
  const Verdict after = Judge(ReadAll(store, store.path));
  if (before.consistent && !after.consistent) std::abort();
  if (before.passes && !after.passes) std::abort();
}

void RunEveryOperation(const Store& s) {
  char text[64] = {};
  SVR_LONG value = 0;
  CSmartArray<SVR_LONG> ids;
  SVC_GDB_CONN_INFO conns[3] = {};
  SVC_GDB_INFO gdbs[3] = {};
  CONFIG_OPTION options[7] = {};
  std::strcpy(conns[0].name, "fuzz");
  std::strcpy(gdbs[0].name, "fuzz");
  std::strcpy(options[0].name, "fuzz");

  Step(s, [&] {
    GetTempDir(s, text, sizeof(text));
    SetTempDir(s, "/tmp");
  });
  Step(s, [&] {
    GetUserCount(s);
    GetUserIDs(s, ids);
    GetUser(s, 1, text, 31);
    CheckUser(s, "fuzz", "pw");
    GetUserIDByName(s, "fuzz");
    GetUserPriv(s, 1, 1, value);
  });
  Step(s, [&] { AddUser(s, "fuzz", "pw"); });
  Step(s, [&] { UpdateUser(s, 1, "new"); });
  Step(s, [&] { SetUserPriv(s, 1, 2, 3); });
  Step(s, [&] { DelUser(s, 1); });
  Step(s, [&] {
    ConnTable::Count(s);
    ConnTable::GetIds(s, ids);
    ConnTable::GetAll(s, conns, 3);
    ConnTable::Get(s, 1, conns[1]);
    ConnTable::Exists(s, "fuzz");
  });
  Step(s, [&] { ConnTable::Add(s, conns[0]); });
  Step(s, [&] {
    conns[0].id = 1;
    ConnTable::Update(s, conns[0]);
  });
  Step(s, [&] { ConnTable::Remove(s, 1); });
  Step(s, [&] {
    GdbTable::Count(s);
    GdbTable::GetIds(s, ids);
    GdbTable::GetAll(s, gdbs, 3);
    GdbTable::Get(s, 1, gdbs[1]);
    GdbTable::Exists(s, "fuzz");
    GetGDBAliasName(s, 1, text, 40);
    GetGDBID(s, "fuzz", value);
  });
  Step(s, [&] { GdbTable::Add(s, gdbs[0]); });
  Step(s, [&] {
    gdbs[0].id = 1;
    GdbTable::Update(s, gdbs[0]);
  });
  Step(s, [&] { GdbTable::Remove(s, 1); });
  Step(s, [&] {
    GetOptionCount(s, "fuzz", 1);
    GetOptionInfo(s, nullptr, 0, options, 7);
    GetOptionInfo(s, "fuzz", 1, options, 7);
    GetOptionInfo(s, "fuzz", 1, 2, options[6]);
  });
  Step(s, [&] { AddOptionInfo(s, "fuzz", 1, options, 6); });
  Step(s, [&] { SetOptionInfo(s, "fuzz", 1, options, 6); });
  Step(s, [&] { SetOptionInfo(s, nullptr, 0, 0, options[0]); });
  Step(s, [&] { SetOptionInfo(s, "fuzz", 1, 5, options[0]); });
}

// The first call recovers: it may only restore the file (never longer than
// it was) and idle the journal, or refuse and touch neither.
void Recover(const Store& s) {
  const std::string journal_path = JournalPathFor(s.path);
  const std::string file = ReadAll(s, s.path);
  const std::string journal = ReadAll(s, journal_path);
  GetUserCount(s);
  const std::string file_after = ReadAll(s, s.path);
  const std::string journal_after = ReadAll(s, journal_path);
  if (file_after.size() > file.size()) std::abort();
  if (file_after != file && !journal_after.empty()) std::abort();
  if (!journal_after.empty() && journal_after != journal) std::abort();
}

}  // namespace
}  // namespace brellox

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  static const std::string path = "/fuzz/Svr_Config.CFG";
  const char* bytes = reinterpret_cast<const char*>(data);
  std::uint32_t file_size = 0;
  if (size >= sizeof(file_size)) {
    std::memcpy(&file_size, bytes, sizeof(file_size));
    bytes += sizeof(file_size);
    size -= sizeof(file_size);
  }
  const std::size_t in_file = file_size < size ? file_size : size;
  brellox::MemEnv env;
  env.SetContents(path, std::string(bytes, in_file));
  if (size > in_file) {
    env.SetContents(brellox::JournalPathFor(path),
                    std::string(bytes + in_file, size - in_file));
  }
  const brellox::Store store{&env, path};
  brellox::Recover(store);
  brellox::RunEveryOperation(store);
  return 0;
}
