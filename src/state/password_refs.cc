#include "src/state/password_refs.h"

#include <algorithm>
#include <memory>
#include <string>

#include "src/state/codec.h"

namespace brellox {
namespace state {

using json = nlohmann::ordered_json;

namespace {

// The text of a secret up to its first line end; `whole` is the secret or
// (for a file) its first kPasswordLineLimit + 1 bytes.
Status FirstLine(const std::string& whole, const std::string& where,
                 std::string* line) {
  *line = whole.substr(0, whole.find('\n'));
  if (line->size() > kPasswordLineLimit) {
    line->clear();
    return Status::Refused(where + ": the first line goes on past " +
                           std::to_string(kPasswordLineLimit) +
                           " bytes; at most " + std::to_string(kPasswordWidth) +
                           " fit");
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return Status::OK();
}

Status ReadReferencedFile(Env* env, const std::string& path,
                          const std::string& where, std::string* secret) {
  std::unique_ptr<RandomRWFile> file;
  Status s = env->Open(path, OpenAccess::kReadOnly, &file);
  FileFacts facts;
  if (s.ok()) s = file->Facts(&facts);
  if (!s.ok()) return Status::Refused(where + ": cannot be read: " + s.message());
  if (!facts.regular) return Status::Refused(where + ": is not a regular file");
  if (facts.owner != env->CallerIdentity() && !facts.owner_is_administrator) {
    return Status::Refused(
        where + ": is owned by neither this user nor an administrator");
  }
  if ((facts.mode & 077) != 0) {
    return Status::Refused(where +
                           ": others may read or change it; allow its owner "
                           "alone (chmod 600)");
  }
  std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(
                       facts.size, kPasswordLineLimit + 1)),
                   '\0');
  if (!head.empty()) s = file->Read(0, head.size(), &head[0]);
  if (!s.ok()) return Status::Refused(where + ": cannot be read: " + s.message());
  const Status line = FirstLine(head, where, secret);
  // The bytes read may hold the secret: nothing of them is kept.
  std::fill(head.begin(), head.end(), '\0');
  return line;
}

}  // namespace

Status ResolvePasswordReferences(Env* env, json* state) {
  if (!state->is_object() || !state->contains("users") ||
      !(*state)["users"].is_array()) {
    return Status::OK();
  }
  json& users = (*state)["users"];
  for (std::size_t i = 0; i < users.size(); ++i) {
    json& user = users[i];
    // Other objects ({"hex": ...}) are the state's validation's to read.
    if (!user.is_object() || !user.contains("password") ||
        !user["password"].is_object() ||
        !(user["password"].contains("env") ||
          user["password"].contains("file"))) {
      continue;
    }
    const std::string path = "users[" + std::to_string(i) + "].password";
    const json& ref = user["password"];
    const bool by_env = ref.size() == 1 && ref.contains("env");
    const bool by_file = ref.size() == 1 && ref.contains("file");
    if ((!by_env && !by_file) || !ref.front().is_string()) {
      return Status::Refused(
          path + ": a reference is {\"env\": NAME} or {\"file\": PATH}");
    }
    const std::string name = ref.front().get<std::string>();
    const std::string where =
        path + " (" + (by_env ? "env " : "file ") + Quoted(name) + ")";
    std::string secret;
    Status s;
    if (by_env) {
      std::string value;
      if (!env->Variable(name, &value)) {
        return Status::Refused(where + ": is not set");
      }
      s = FirstLine(value, where, &secret);
    } else {
      s = ReadReferencedFile(env, name, where, &secret);
    }
    if (!s.ok()) return s;
    user["password"] = std::move(secret);
  }
  return Status::OK();
}

Status RequireNoInlinePasswords(const json& state) {
  if (!state.is_object() || !state.contains("users") ||
      !state["users"].is_array()) {
    return Status::OK();
  }
  const json& users = state["users"];
  for (std::size_t i = 0; i < users.size(); ++i) {
    const json& user = users[i];
    if (!user.is_object() || !user.contains("password")) continue;
    const json& password = user["password"];
    if (password.is_object() &&
        (password.contains("env") || password.contains("file"))) {
      continue;
    }
    return Status::Refused(
        "users[" + std::to_string(i) +
        "].password: a plan holds no secrets; give the password by "
        "reference, {\"env\": NAME} or {\"file\": PATH}");
  }
  return Status::OK();
}

}  // namespace state
}  // namespace brellox
