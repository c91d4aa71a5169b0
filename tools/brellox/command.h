// The frame every command runs in: which file, how texts convert, where the
// output goes, and what commands share once the command line is parsed (the
// command line itself: command_line.h).
//
// Every command works on the file through the library's own functions on
// one session: one lock, and for a change one commit, whichever file it is
// (the --config file or the library's own). No session is open while the
// tool waits for a password or standard input.
#ifndef BRELLOX_TOOLS_BRELLOX_COMMAND_H_
#define BRELLOX_TOOLS_BRELLOX_COMMAND_H_

#include <cstdint>
#include <iosfwd>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "platform/env.h"
#include "src/state/password_refs.h"
#include "src/store/config_file.h"
#include "tools/brellox/codec.h"
#include "tools/brellox/snapshot.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

struct Context {
  Env* env;
  std::string path;  // empty when the library's own file cannot be found
  const Codec* codec;
  std::ostream* out;
  // The exit code of a command that ends without failing (diff:
  // kExitDiffers when the two differ).
  int result = kExitDone;
  // --force-encoding: change the file even when some of its texts do not
  // decode in the encoding.
  bool force_encoding = false;
  // Set once CheckTexts has looked at the file in this run.
  mutable bool texts_checked = false;
  // Set when a commit or a replacement changed the file in this run
  // (--detailed-exitcodes tells it apart).
  mutable bool changed = false;

  // Opens a session on the file, waiting for a busy one as long as the
  // thread's busy timeout (--wait) allows, warning first for a change
  // (WarnBeforeChange); throws the ToolError of the failure that says why
  // it cannot be used.
  void Open(ConfigSession* session, Access access) const;
  // Throws the ToolError for a file that cannot be found (no --config, and
  // the library's own file's place unknown).
  void RequirePath() const;
  // Before a change of the file at `target`: prints on stderr a warning
  // for each folder holding it that others may write (FolderWarnings).
  void WarnBeforeChange(const std::string& target) const;
  // The ToolError for `opened`, the failed outcome of opening a session on
  // the file, its exit code that of the failure's kind: thrown without
  // trying again, which would wait for a busy file's lock a second time.
  [[noreturn]] void OpenFailed(const Status& opened) const;
  // Opens a session for a change of records (every command that changes
  // the file but init and import, which replace all of it). The texts are
  // looked at first, as CheckTexts does.
  void OpenToChange(ConfigSession* session) const;
  // Unless force_encoding, or already done in this run: refuses (exit 1)
  // a file holding a text that does not decode in the encoding, naming the
  // first one, so that texts in two code pages are never mixed.
  void CheckTexts(ConfigSession& session) const;
  // CheckTexts for the tables of the file as read in a session: Refused,
  // naming the first text that does not decode; OK (and remembered) when
  // every text decodes or force_encoding is set.
  Status TextsDecode(const FileTables& tables) const;
  // Lands a session's changes (setting `changed` unless they left every
  // byte as it was); throws the failure's ToolError when they cannot.
  void Commit(ConfigSession* session) const;
  // Unless `status`, a library function's outcome, is OK: throws its
  // ToolError, whose exit code is that of its kind (ExitCodeOf). Names in
  // the library's reasons are in the file's code page and are shown
  // converted.
  void Require(const Status& status) const;
  // Require for `added`, the outcome of an add, except that with
  // `if_not_exists` a name already taken prints "unchanged" and why, and
  // returns false. True when the record was added.
  bool RequireAdded(const Status& added, bool if_not_exists) const;
  // The whole configuration, read through a read session.
  Snapshot Load() const;
  void PrintJson(const nlohmann::ordered_json& value) const;
};

// A record given on the command line by ID (all digits) or by name.
struct RecordRef {
  std::string text;
  bool by_name = false;  // --by-name: digits are a name too

  bool IsId() const;
  std::int32_t Id() const;
};

// The record `ref` names, looked up in the session with `by_id(session, id,
// &record)` or `by_name(session, name, &record)`. Throws the lookup's
// refusal; an ID that names nothing, when a record of `noun` is named by
// those digits, also tells how to address it.
template <class Record, class ById, class ByName>
Record Resolve(const Context& ctx, ConfigSession& session, const RecordRef& ref,
               const std::string& noun, ById by_id, ByName by_name) {
  Record record{};
  if (!ref.IsId()) {
    const std::string name = ctx.codec->FromUtf8(ref.text, noun + " name");
    ctx.Require(by_name(session, name.c_str(), &record));
    return record;
  }
  const Status found = by_id(session, ref.Id(), &record);
  if (found.IsNotFound() && by_name(session, ref.text.c_str(), &record).ok()) {
    Fail(found, ctx.codec->Shown(found.message()) + "; for the " + noun +
                    " named " + Quoted(ref.text) + ", add --by-name");
  }
  ctx.Require(found);
  return record;
}

// Parses a decimal 32-bit integer; throws a usage ToolError naming `what`.
std::int32_t ParseInt32(const std::string& text, const std::string& what);

// The file bytes of a name typed by the administrator. Refused when it
// holds a control character (it would break listings and one-line
// messages) or has no form in the file's code page.
std::string NameBytes(const Context& ctx, const std::string& utf8,
                      const std::string& what);

// A name for messages and listings: quoted, with control characters and
// bytes that do not convert escaped, so that 'bob ' and 'bob' differ.
std::string ShownName(const Context& ctx, const char* field, std::size_t width);

using state::kPasswordLineLimit;
using state::kPasswordWidth;

// Reads a password for `purpose` ("password for 'bob'"): from standard input
// when `from_stdin` (one line, the line end dropped, read no further than
// kPasswordLineLimit bytes), else with a prompt without echo, which needs a
// terminal. Returns its bytes in the file's code page. Refused, without
// being shown, when it has none, holds a NUL byte or needs more than
// kPasswordWidth bytes (the library would cut it).
std::string ReadPassword(const Context& ctx, bool from_stdin,
                         const std::string& purpose, bool confirm);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_COMMAND_H_
