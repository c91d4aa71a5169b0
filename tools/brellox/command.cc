#include "tools/brellox/command.h"

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <nlohmann/json.hpp>

#include "platform/console.h"
#include "src/store/file_name.h"
#include "tools/brellox/check.h"
#include "tools/brellox/input.h"
#include "tools/brellox/system.h"
#include "tools/brellox/usage.h"

namespace brellox {
namespace tool {

void Context::RequirePath() const {
  if (path.empty()) {
    Fail(BRELLOX_FILE_MISSING,
         "cannot tell where the brellox library was loaded from; "
         "name a file with --config");
  }
}

void Context::Open(ConfigSession* session, Access access) const {
  RequirePath();
  if (access != Access::kRead) WarnBeforeChange(path);
  // A busy file is waited for as long as the busy timeout (--wait) says.
  const Status s = session->Open(Store{env, path}, access);
  if (!s.ok()) OpenFailed(s);
}

void Context::WarnBeforeChange(const std::string& target) const {
  for (const std::string& warning : FolderWarnings(env, target)) {
    std::cerr << "brellox: warning: " << warning << "\n";
  }
}

void Context::OpenFailed(const Status& opened) const {
  Fail(opened, OpenFailureMessage(env, path, opened));
}

void Context::OpenToChange(ConfigSession* session) const {
  Open(session, Access::kWrite);
  CheckTexts(*session);
}

void Context::CheckTexts(ConfigSession& session) const {
  if (force_encoding || texts_checked) return;
  Snapshot snapshot;
  Status s = ReadTables(session, &snapshot);
  if (!s.ok()) Fail(s, "cannot read " + path + ": " + s.message());
  s = TextsDecode(snapshot);
  if (!s.ok()) Fail(s, s.message());
}

Status Context::TextsDecode(const FileTables& tables) const {
  if (force_encoding || texts_checked) return Status::OK();
  const std::string where = FirstUndecodedText(tables, *codec);
  if (!where.empty()) {
    return Status::Refused("the text of " + where + " does not decode in " +
                           codec->encoding() +
                           "; is --encoding right? (--force-encoding "
                           "changes a file whose texts are mixed)");
  }
  texts_checked = true;
  return Status::OK();
}

void Context::Commit(ConfigSession* session) const {
  const Status s = session->Commit();
  if (!s.ok()) Fail(s, "cannot write " + path + ": " + s.message());
  if (session->wrote()) changed = true;
}

void Context::Require(const Status& status) const {
  if (status.ok()) return;
  const std::string reason = codec->Shown(status.message());
  if (status.IsCorrupt()) Fail(status, path + " is damaged: " + reason);
  if (status.IsIOError() || status.IsPermissionDenied() || status.IsBusy() ||
      status.IsNoMemory()) {
    Fail(status, path + ": " + reason);
  }
  Fail(status, reason);
}

bool Context::RequireAdded(const Status& added, bool if_not_exists) const {
  if (if_not_exists && added.IsAlreadyExists()) {
    *out << "unchanged: " << codec->Shown(added.message()) << "\n";
    return false;
  }
  Require(added);
  return true;
}

Snapshot Context::Load() const {
  ConfigSession session;
  Open(&session, Access::kRead);
  Snapshot snapshot;
  const Status s = ReadTables(session, &snapshot);
  if (!s.ok()) Fail(s, "cannot read " + path + ": " + s.message());
  return snapshot;
}

void Context::PrintJson(const nlohmann::ordered_json& value) const {
  *out << value.dump(2) << '\n';
}

bool RecordRef::IsId() const {
  if (by_name || text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::int32_t RecordRef::Id() const { return ParseInt32(text, "ID"); }

std::int32_t ParseInt32(const std::string& text, const std::string& what) {
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno == ERANGE ||
      value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    std::string shown = text;
    if (HasControlCharacter(shown)) shown = "(text with control characters)";
    UsageError(what + " " + Quoted(shown) + " is not a 32-bit integer");
  }
  return static_cast<std::int32_t>(value);
}

std::string NameBytes(const Context& ctx, const std::string& utf8,
                      const std::string& what) {
  if (HasControlCharacter(utf8)) {
    Refuse(what + " " + Quoted(ctx.codec->Shown(utf8)) +
           " holds a control character");
  }
  return ctx.codec->FromUtf8(utf8, what);
}

std::string ShownName(const Context& ctx, const char* field,
                      std::size_t width) {
  return Quoted(ctx.codec->Display(field, width));
}

std::string ReadPassword(const Context& ctx, bool from_stdin,
                         const std::string& purpose, bool confirm) {
  std::string password;
  if (from_stdin) {
    // Byte by byte up to the limit: an endless input is refused at once.
    bool got = false;
    char c;
    while (std::cin.get(c)) {
      got = true;
      if (c == '\n') break;
      if (password.size() == kPasswordLineLimit) {
        Refuse("the " + purpose + " on standard input goes on past " +
               std::to_string(kPasswordLineLimit) + " bytes; at most " +
               std::to_string(kPasswordWidth) + " fit");
      }
      password += c;
    }
    if (!got) UsageError("no " + purpose + " on standard input");
    if (!password.empty() && password.back() == '\r') password.pop_back();
  } else {
    // A password argument would be visible to every user in the process
    // list.
    if (!StdinIsTerminal()) {
      UsageError("standard input is not a terminal; give the " + purpose +
                 " with --password-stdin");
    }
    if (!ReadLineNoEcho("Enter " + purpose + ": ", &password)) {
      UsageError("could not read the " + purpose + " from the terminal");
    }
    if (confirm) {
      std::string again;
      if (!ReadLineNoEcho("Repeat " + purpose + ": ", &again) ||
          again != password) {
        Refuse("the two entries of the " + purpose + " differ");
      }
    }
  }
  std::string bytes;
  // Never quoted back: the message would show the secret.
  if (!ctx.codec->TryFromUtf8(password, &bytes)) {
    Refuse("the " + purpose + " holds characters that " +
           ctx.codec->encoding() + " cannot write");
  }
  if (password.find('\0') != std::string::npos ||
      bytes.find('\0') != std::string::npos) {
    Refuse("the " + purpose + " holds a NUL byte, which would end it");
  }
  if (bytes.size() > kPasswordWidth) {
    Refuse("the " + purpose + " is " + std::to_string(bytes.size()) +
           " bytes in " + ctx.codec->encoding() + "; at most " +
           std::to_string(kPasswordWidth) + " fit");
  }
  return bytes;
}

}  // namespace tool
}  // namespace brellox
