// Fuzz target: any bytes at all as a desired state. The JSON reader that
// apply and import share either refuses them, naming where, or gives JSON
// no deeper than its limit; the state's validation either refuses that or
// gives a state; the plan of a valid state against a well-filled file is
// made, checked against the tables it was made from, and put into words.
// Nothing may crash, and every refusal is a Status saying why.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "src/desired/plan.h"
#include "src/state/desired_json.h"
#include "src/state/json_reader.h"
#include "src/store/default_file.h"

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

void Plan(const desired::DesiredState& state, const state::Codec& codec,
          const desired::ApplyRules& rules) {
  desired::Plan plan;
  if (!desired::Plan::Make(state, Server(), rules, &plan).ok()) return;
  const state::ChangeList changes =
      state::PlanChanges(plan, state, Server(), codec);
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
  static const state::Codec codec("GBK");
  const std::string text(reinterpret_cast<const char*>(data), size);
  nlohmann::ordered_json value;
  std::size_t error_byte = 0;
  const Status parsed = state::ParseStrictJson(text, &value, &error_byte);
  if (parsed.IsInvalidArgument() && error_byte > size + 1) std::abort();
  if (!parsed.ok()) {
    if (parsed.message().empty()) std::abort();
    return 0;
  }
  desired::DesiredState desired;
  const Status read =
      state::ParseDesiredState(std::move(value), codec, &desired);
  if (!read.ok()) {
    // A refusal, with its reason: what apply reports.
    if (!read.IsRefused() || read.message().empty()) std::abort();
    return 0;
  }
  desired::ApplyRules rules;
  Plan(desired, codec, rules);
  rules.prune = rules.allow_empty_password = true;
  Plan(desired, codec, rules);
  return 0;
}
