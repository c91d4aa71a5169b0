// The C interface's desired state, over src/state/apply.h.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "brellox/brellox_c.h"
#include "src/c_api/c_call.h"
#include "src/state/apply.h"
#include "src/state/codec.h"

namespace brellox {
namespace {

constexpr std::uint32_t kApplyFlags =
    BRELLOX_APPLY_PRUNE | BRELLOX_APPLY_DRY_RUN | BRELLOX_APPLY_KEEP_IDS |
    BRELLOX_APPLY_ALLOW_EMPTY_PASSWORD;

Status CheckApplyFlags(std::uint32_t flags) {
  if ((flags & ~kApplyFlags) == 0) return Status::OK();
  return Status::InvalidArgument("unknown apply flags " +
                                 std::to_string(flags & ~kApplyFlags));
}

// `text` with its NUL in a buffer of the C heap, for brellox_free.
Status CopyOut(const std::string& text, char** buffer) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy == nullptr) return Status::NoMemory("out of memory for the report");
  std::memcpy(copy, text.c_str(), text.size() + 1);
  *buffer = copy;
  return Status::OK();
}

}  // namespace
}  // namespace brellox

brellox_result brellox_apply(const char* path, const char* state_json,
                             const char* encoding, uint32_t flags,
                             char** report) {
  if (report != nullptr) *report = nullptr;
  return brellox::CCall([&] {
    using brellox::Status;
    Status s = brellox::Required(state_json, "desired state");
    if (s.ok()) s = brellox::CheckApplyFlags(flags);
    if (!s.ok()) return s;
    const brellox::state::Codec codec(encoding != nullptr ? encoding : "GBK");
    if (!codec.status().ok()) return codec.status();
    brellox::state::ApplyOptions options;
    options.rules.prune = (flags & BRELLOX_APPLY_PRUNE) != 0;
    options.rules.keep_ids = (flags & BRELLOX_APPLY_KEEP_IDS) != 0;
    options.rules.allow_empty_password =
        (flags & BRELLOX_APPLY_ALLOW_EMPTY_PASSWORD) != 0;
    options.rules.allow_empty_password_switch =
        "BRELLOX_APPLY_ALLOW_EMPTY_PASSWORD";
    options.dry_run = (flags & BRELLOX_APPLY_DRY_RUN) != 0;
    brellox::state::ApplyOutcome outcome;
    s = brellox::state::ApplyJsonText(brellox::StoreAt(path), state_json, codec,
                                      options, &outcome);
    if (!s.ok() || report == nullptr) return s;
    return brellox::CopyOut(
        brellox::state::ApplyReport(outcome, options.dry_run)
            .dump(-1, ' ', false,
                  nlohmann::ordered_json::error_handler_t::replace),
        report);
  });
}

void brellox_free(void* buffer) { std::free(buffer); }
