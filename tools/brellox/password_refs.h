// Passwords a desired state gives by reference, so that the state can be
// kept and shared without secrets: {"env": "NAME"} names an environment
// variable, {"file": "PATH"} a file whose first line is the password.
#ifndef BRELLOX_TOOLS_BRELLOX_PASSWORD_REFS_H_
#define BRELLOX_TOOLS_BRELLOX_PASSWORD_REFS_H_

#include <nlohmann/json.hpp>

#include "platform/env.h"

namespace brellox {
namespace tool {

// Replaces each "password" of the state's "users" that is a reference with
// the secret's text, read as --password-stdin reads a line: up to the
// first line end (a carriage return before it dropped), refused past
// kPasswordLineLimit bytes. A referenced file must be a regular file owned
// by the caller or an administrator (root) and, on POSIX, readable or
// writable by nobody else, so that a reference cannot pull the first line
// of any file into the configuration. Refusals name the path and the
// reference, never the secret. A state that is not of the expected shape
// is left for the state's validation to refuse.
void ResolvePasswordReferences(Env* env, nlohmann::ordered_json* state);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_PASSWORD_REFS_H_
