// Passwords a desired state gives by reference, so that the state can be
// kept and shared without secrets: {"env": "NAME"} names an environment
// variable, {"file": "PATH"} a file whose first line is the password.
#ifndef BRELLOX_STATE_PASSWORD_REFS_H_
#define BRELLOX_STATE_PASSWORD_REFS_H_

#include <cstddef>
#include <nlohmann/json.hpp>

#include "platform/env.h"
#include "platform/status.h"
#include "src/store/format.h"

namespace brellox {
namespace state {

// The bytes of a password in the file.
constexpr std::size_t kPasswordWidth = sizeof(SVR_USER_REC::password);
// The longest line a password of kPasswordWidth bytes can take in UTF-8
// (4 bytes a character at most), and a carriage return.
constexpr std::size_t kPasswordLineLimit = 4 * kPasswordWidth + 1;

// Replaces each "password" of the state's "users" that is a reference with
// the secret's text, read as --password-stdin reads a line: up to the
// first line end (a carriage return before it dropped), refused past
// kPasswordLineLimit bytes. Variables and files are read through `env`. A
// referenced file must be a regular file owned by the caller or an
// administrator (root) and, on POSIX, readable or writable by nobody else,
// so that a reference cannot pull the first line of any file into the
// configuration. Refusals name the path and the reference, never the
// secret. A state that is not of the expected shape is left for the
// state's validation to refuse.
Status ResolvePasswordReferences(Env* env, nlohmann::ordered_json* state);

// Refuses a state that gives a password inline, naming the first
// ("users[2].password: ..."): a saved plan holds references only.
Status RequireNoInlinePasswords(const nlohmann::ordered_json& state);

}  // namespace state
}  // namespace brellox

#endif  // BRELLOX_STATE_PASSWORD_REFS_H_
