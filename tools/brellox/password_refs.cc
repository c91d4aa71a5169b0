#include "tools/brellox/password_refs.h"

#include <algorithm>
#include <memory>
#include <string>

#include "tools/brellox/command.h"
#include "tools/brellox/system.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

// The text of a secret up to its first line end; `whole` is the secret or
// (for a file) its first kPasswordLineLimit + 1 bytes.
std::string FirstLine(const std::string& whole, const std::string& where) {
  std::string line = whole.substr(0, whole.find('\n'));
  if (line.size() > kPasswordLineLimit) {
    Refuse(where + ": the first line goes on past " +
           std::to_string(kPasswordLineLimit) + " bytes; at most " +
           std::to_string(kPasswordWidth) + " fit");
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string ReadReferencedFile(Env* env, const std::string& path,
                               const std::string& where) {
  std::unique_ptr<RandomRWFile> file;
  Status s = env->Open(path, OpenAccess::kReadOnly, &file);
  FileFacts facts;
  if (s.ok()) s = file->Facts(&facts);
  if (!s.ok()) Refuse(where + ": cannot be read: " + s.message());
  if (!facts.regular) Refuse(where + ": is not a regular file");
  if (facts.owner != CallerIdentity() && !facts.owner_is_administrator) {
    Refuse(where + ": is owned by neither this user nor an administrator");
  }
  if ((facts.mode & 077) != 0) {
    Refuse(where +
           ": others may read or change it; allow its owner alone "
           "(chmod 600)");
  }
  std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(
                       facts.size, kPasswordLineLimit + 1)),
                   '\0');
  if (!head.empty()) s = file->Read(0, head.size(), &head[0]);
  if (!s.ok()) Refuse(where + ": cannot be read: " + s.message());
  return FirstLine(head, where);
}

}  // namespace

void ResolvePasswordReferences(Env* env, json* state) {
  if (!state->is_object() || !state->contains("users") ||
      !(*state)["users"].is_array()) {
    return;
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
      Refuse(path + ": a reference is {\"env\": NAME} or {\"file\": PATH}");
    }
    const std::string name = ref.front().get<std::string>();
    const std::string where =
        path + " (" + (by_env ? "env " : "file ") + Quoted(name) + ")";
    std::string secret;
    if (by_env) {
      if (!EnvironmentVariable(name, &secret)) Refuse(where + ": is not set");
      secret = FirstLine(secret, where);
    } else {
      secret = ReadReferencedFile(env, name, where);
    }
    user["password"] = std::move(secret);
  }
}

}  // namespace tool
}  // namespace brellox
