#include "src/desired/apply_to_file.h"

#include <string>
#include <utility>

#include "src/store/config_file.h"

namespace brellox {
namespace desired {

namespace {

// The file's bytes, all of them, as the session sees them.
Status ReadImage(ConfigSession& session, std::string* image) {
  image->assign(static_cast<std::size_t>(session.Size()), '\0');
  if (image->empty()) return Status::OK();
  return session.Read(0, image->size(), &(*image)[0]);
}

Status PlanFor(const DesiredState& state, const ApplyRules& rules,
               ApplyOutcome* outcome) {
  outcome->plan = Plan();
  return Plan::Make(state, outcome->file, rules, &outcome->plan);
}

}  // namespace

Status ApplyToFile(const Store& store, const DesiredState& state,
                   const ApplyRules& rules, bool write,
                   const ApprovePlan& approve, ApplyOutcome* outcome) {
  outcome->wrote = false;
  ApplyStep& step = outcome->failed_at;
  std::string read;
  {
    ConfigSession session;
    step = ApplyStep::kOpen;
    Status s = session.Open(store, Access::kRead);
    if (!s.ok()) return s;
    step = ApplyStep::kRead;
    s = ReadImage(session, &read);
    if (!s.ok()) return s;
  }
  // Decoded and planned with no lock held: a writer waiting meanwhile is
  // not kept waiting for it.
  outcome->file = FileTables();
  Status s = DecodeImage(read, &outcome->file);
  if (!s.ok()) return s;
  step = ApplyStep::kPlan;
  s = PlanFor(state, rules, outcome);
  if (!s.ok()) return s;
  step = ApplyStep::kApprove;
  s = approve(outcome->file, outcome->plan);
  if (!s.ok() || !write || outcome->plan.empty()) return s;

  ConfigSession session;
  step = ApplyStep::kOpen;
  s = session.Open(store, Access::kWrite);
  if (!s.ok()) return s;
  step = ApplyStep::kRead;
  std::string now;
  s = ReadImage(session, &now);
  if (!s.ok()) return s;
  if (now != read) {
    // Another process changed the file since: its changes decide anew.
    outcome->file = FileTables();
    s = ReadTables(session, &outcome->file);
    if (!s.ok()) return s;
    step = ApplyStep::kPlan;
    s = PlanFor(state, rules, outcome);
    if (!s.ok()) return s;
    step = ApplyStep::kApprove;
    s = approve(outcome->file, outcome->plan);
    if (!s.ok() || outcome->plan.empty()) return s;
  }
  step = ApplyStep::kCarry;
  s = outcome->plan.Carry(session, state, outcome->file);
  if (!s.ok()) return s;
  step = ApplyStep::kCommit;
  s = session.Commit();
  if (s.ok()) outcome->wrote = session.wrote();
  return s;
}

}  // namespace desired
}  // namespace brellox
