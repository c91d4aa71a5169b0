// Fuzz target: any bytes at all as a desired state. The JSON reader that
// apply and import share either refuses them, naming where, or gives JSON
// no deeper than its limit; the state's validation either refuses that or
// gives a state; the plan of a valid state against a well-filled file is
// made, checked against the tables it was made from, and put into words.
// Nothing may crash, and no refusal may be anything but a ToolError or a
// Status saying why.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "src/desired/plan.h"
#include "src/store/default_file.h"
#include "tools/brellox/apply_plan.h"
#include "tools/brellox/backup_json.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace {

using json = nlohmann::ordered_json;

// The default file with two users, a privilege and a connection, as a
// state would find a server.
const FileTables& Server() {
  static const FileTables tables = [] {
    FileTables t;
    if (!DecodeImage(DefaultConfigImage(), &t).ok()) std::abort();
    SVR_USER_REC user{};
    for (int i = 1; i <= 2; ++i) {
      user.id = i;
      user.name[0] = static_cast<char>('a' + i);
      user.password[0] = 'p';
      t.users.push_back(user);
    }
    t.privs.push_back({1, 3, 7});
    t.header.lastUserID = 2;
    return t;
  }();
  return tables;
}

void Plan(const desired::DesiredState& state, const tool::Codec& codec,
          const desired::ApplyRules& rules) {
  desired::Plan plan;
  if (!desired::Plan::Make(state, Server(), rules, &plan).ok()) return;
  const json changes = tool::PlanChanges(plan, state, Server(), codec);
  if (changes.size() < plan.changes().size()) std::abort();
  for (const desired::Change& c : plan.changes()) {
    // Every change to a record names one that exists on its side.
    if (c.part == desired::Part::kTempDir ||
        c.part == desired::Part::kGlobalOption) {
      continue;
    }
    if (c.kind != desired::ChangeKind::kAdd && c.have < 0) std::abort();
    if (c.kind != desired::ChangeKind::kRemove && c.want < 0) std::abort();
  }
}

}  // namespace
}  // namespace brellox

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace brellox;
  static const tool::Codec codec("GBK");
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    nlohmann::ordered_json state;
    std::size_t error_byte = 0;
    if (!tool::ParseBackup(text, &state, &error_byte)) {
      if (error_byte > size + 1) std::abort();
      return 0;
    }
    const desired::DesiredState desired =
        tool::ParseDesiredState(std::move(state), codec);
    desired::ApplyRules rules;
    Plan(desired, codec, rules);
    rules.prune = rules.allow_empty_password = true;
    Plan(desired, codec, rules);
  } catch (const tool::ToolError&) {
    // A refusal, with its reason: what the tool prints.
  }
  return 0;
}
