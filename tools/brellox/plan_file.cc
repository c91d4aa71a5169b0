#include "tools/brellox/plan_file.h"

#include <cstdint>
#include <utility>

#include "src/state/password_refs.h"
#include "tools/brellox/change_lines.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

constexpr int kPlanFormatVersion = 1;

std::string Hex(std::uint32_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 15];
  return text;
}

}  // namespace

void RequireNoInlinePasswords(const json& state) {
  const Status s = state::RequireNoInlinePasswords(state);
  if (!s.ok()) Fail(s, s.message());
}

json PlanFileJson(const SavedPlan& plan) {
  json fingerprint = json::object();
  for (int i = 0; i < desired::Fingerprint::kParts; ++i) {
    fingerprint[desired::FingerprintPart(i)] = Hex(plan.fingerprint.parts[i]);
  }
  return json{{"planFormatVersion", kPlanFormatVersion},
              {"prune", plan.rules.prune},
              {"keepIds", plan.rules.keep_ids},
              {"allowEmptyPassword", plan.rules.allow_empty_password},
              {"fingerprint", std::move(fingerprint)},
              {"changes", ChangesToJson(plan.changes)},
              {"state", plan.state}};
}

SavedPlan ParsePlanFile(json file, const std::string& source) {
  const auto bad = [&](const std::string& what) {
    Refuse(source + " is not a plan apply --plan-out wrote: " + what);
  };
  if (!file.is_object() || file["planFormatVersion"] != kPlanFormatVersion) {
    bad("no \"planFormatVersion\": " + std::to_string(kPlanFormatVersion));
  }
  SavedPlan plan;
  for (const auto& flag : {std::make_pair("prune", &plan.rules.prune),
                           std::make_pair("keepIds", &plan.rules.keep_ids),
                           std::make_pair("allowEmptyPassword",
                                          &plan.rules.allow_empty_password)}) {
    if (!file[flag.first].is_boolean()) bad(std::string(flag.first));
    *flag.second = file[flag.first].get<bool>();
  }
  const json& fingerprint = file["fingerprint"];
  for (int i = 0; i < desired::Fingerprint::kParts; ++i) {
    const char* part = desired::FingerprintPart(i);
    if (!fingerprint.is_object() || !fingerprint.contains(part) ||
        !fingerprint[part].is_string()) {
      bad(std::string("fingerprint.") + part);
    }
    const std::string hex = fingerprint[part].get<std::string>();
    if (hex.size() != 8 ||
        hex.find_first_not_of("0123456789abcdef") != std::string::npos) {
      bad(std::string("fingerprint.") + part);
    }
    plan.fingerprint.parts[i] =
        static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
  }
  const Status changes = state::ChangesFromJson(file["changes"], &plan.changes);
  if (!changes.ok()) bad(changes.message());
  plan.state = std::move(file["state"]);
  RequireNoInlinePasswords(plan.state);
  return plan;
}

Status PlanStillHolds(const SavedPlan& saved, const desired::Fingerprint& now,
                      const ChangeList& changes, const std::string& file) {
  const std::vector<std::string> differ =
      desired::FingerprintDifferences(saved.fingerprint, now);
  if (!differ.empty()) {
    std::string parts;
    for (const std::string& part : differ) {
      parts += (parts.empty() ? "" : ", ") + part;
    }
    return Status::Refused(file +
                           " changed since the plan was made (it differs in: " +
                           parts + "); make a new plan");
  }
  // The same file, but a reference may now read another secret.
  for (std::size_t i = 0; i < std::max(changes.size(), saved.changes.size());
       ++i) {
    if (i < changes.size() && i < saved.changes.size() &&
        changes[i] == saved.changes[i]) {
      continue;
    }
    return Status::Refused(
        "the plan no longer makes the changes it lists: " +
           (i < saved.changes.size()
                ? "it planned \"" + ChangeLine(saved.changes[i]) + "\""
                : std::string("it planned no more")) +
           ", now " +
           (i < changes.size() ? "\"" + ChangeLine(changes[i]) + "\""
                               : std::string("nothing")) +
           "; make a new plan");
  }
  return Status::OK();
}

}  // namespace tool
}  // namespace brellox
