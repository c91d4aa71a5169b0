#include "src/desired/apply_to_file.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "platform/mem_env.h"
#include "src/store/config_file.h"
#include "src/store/replace.h"

namespace brellox {
namespace desired {

namespace {

// The bytes `image` becomes when `plan` is carried out on it: the very
// operations that would change the file, worked out on a copy in memory
// and read back through the session, which is never committed.
Status CarryOnCopy(const std::string& image, const DesiredState& state,
                   const ApplyOutcome& outcome, std::string* after) {
  MemEnv memory;
  const Store copy{&memory, "/copy/Svr_Config.CFG"};
  memory.SetContents(copy.path, image);
  ConfigSession session;
  Status s = session.Open(copy, Access::kWrite);
  if (s.ok()) s = outcome.plan.Carry(session, state, outcome.file);
  if (s.ok()) s = session.Contents(after);
  return s;
}

// Whether the file, as `session` sees it, still holds `bytes`: compared a
// block at a time, without a second copy of the whole file.
Status StillHolds(ConfigSession& session, const std::string& bytes,
                  bool* same) {
  constexpr std::size_t kBlockBytes = 64 * 1024;
  *same = session.Size() == bytes.size();
  std::string block(kBlockBytes, '\0');
  for (std::size_t at = 0; *same && at < bytes.size(); at += kBlockBytes) {
    const std::size_t n = std::min(kBlockBytes, bytes.size() - at);
    const Status s =
        session.Read(static_cast<std::int64_t>(at), n, &block[0]);
    if (!s.ok()) return s;
    *same = std::memcmp(block.data(), bytes.data() + at, n) == 0;
  }
  return Status::OK();
}

Status Open(const Store& store, const ApplyHooks& hooks, Access access,
            ConfigSession* session) {
  return hooks.open ? hooks.open(session, access)
                    : session->Open(store, access);
}

// Decodes `image`, the file's bytes, makes the plan for its tables and has
// the hook check it.
Status Decide(const std::string& image, const DesiredState& state,
              const ApplyRules& rules, const ApplyHooks& hooks,
              ApplyOutcome* outcome, ApplyStep& step) {
  step = ApplyStep::kRead;
  outcome->file = FileTables();
  Status s = DecodeImage(image, &outcome->file);
  if (!s.ok()) return s;
  step = ApplyStep::kPlan;
  outcome->plan = Plan();
  s = Plan::Make(state, outcome->file, rules, &outcome->plan);
  if (!s.ok()) return s;
  step = ApplyStep::kCheck;
  return hooks.check ? hooks.check(outcome->file, outcome->plan) : Status::OK();
}

// ApplyToFile, leaving in `step` the step it is at.
Status ApplySteps(const Store& store, const DesiredState& state,
                  const ApplyRules& rules, bool write, const ApplyHooks& hooks,
                  ApplyOutcome* outcome, ApplyStep& step) {
  std::string read;
  {
    ConfigSession session;
    step = ApplyStep::kOpen;
    Status s = Open(store, hooks, Access::kRead, &session);
    if (!s.ok()) return s;
    step = ApplyStep::kRead;
    s = session.Contents(&read);
    if (!s.ok()) return s;
  }
  // Decided, and the changes worked out on a copy, with no lock held: the
  // exclusive lock is held only to see that the file is unchanged and to
  // write them.
  Status s = Decide(read, state, rules, hooks, outcome, step);
  if (!s.ok() || !write || outcome->plan.empty()) return s;
  step = ApplyStep::kCarry;
  std::string after;
  s = CarryOnCopy(read, state, *outcome, &after);
  if (!s.ok()) return s;

  ConfigSession session;
  step = ApplyStep::kOpen;
  s = Open(store, hooks, Access::kWrite, &session);
  if (!s.ok()) return s;
  step = ApplyStep::kRead;
  bool unchanged = false;
  s = StillHolds(session, read, &unchanged);
  if (!s.ok()) return s;
  if (!unchanged) {
    // Another process changed the file since: its changes decide anew,
    // under this lock.
    s = session.Contents(&read);
    if (!s.ok()) return s;
    s = Decide(read, state, rules, hooks, outcome, step);
    if (!s.ok() || outcome->plan.empty()) return s;
    step = ApplyStep::kCarry;
    s = CarryOnCopy(read, state, *outcome, &after);
    if (!s.ok()) return s;
  }
  step = ApplyStep::kCarry;
  s = WriteDifferences(session, read, after);
  if (!s.ok()) return s;
  step = ApplyStep::kCommit;
  s = session.Commit();
  if (s.ok()) outcome->wrote = session.wrote();
  return s;
}

}  // namespace

Status ApplyToFile(const Store& store, const DesiredState& state,
                   const ApplyRules& rules, bool write,
                   const ApplyHooks& hooks, ApplyOutcome* outcome) {
  outcome->wrote = false;
  ApplyStep step = ApplyStep::kNone;
  const Status s = ApplySteps(store, state, rules, write, hooks, outcome, step);
  outcome->failed_at = s.ok() ? ApplyStep::kNone : step;
  return s;
}

}  // namespace desired
}  // namespace brellox
