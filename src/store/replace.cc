#include "src/store/replace.h"

#include <cstring>

#include "src/store/config_file.h"

namespace brellox {

Status ReplaceConfigFile(const Store& store, const std::string& image,
                         IdCounters counters, ReplaceOutcome* outcome) {
  *outcome = ReplaceOutcome{};
  SVR_CFG_HEADER header;
  if (image.size() < sizeof(header)) {
    return Status::Refused("the new contents are shorter than a header");
  }
  std::memcpy(&header, image.data(), sizeof(header));
  Status s = ValidateHeader(header, image.size());
  if (!s.ok()) return Status::Refused("the new contents: " + s.message());

  ConfigSession session;
  s = session.Open(store, Access::kReplace);
  if (!s.ok()) return s;
  outcome->was_damaged = session.damaged();
  if (!outcome->was_damaged) {
    outcome->previous = session.header();
    if (counters == IdCounters::kKeepHigher) {
      std::int32_t SVR_CFG_HEADER::*const kCounters[3] = {
          &SVR_CFG_HEADER::lastConnID, &SVR_CFG_HEADER::lastGDBID,
          &SVR_CFG_HEADER::lastUserID};
      for (int i = 0; i < 3; ++i) {
        const std::int32_t had = outcome->previous.*kCounters[i];
        if (had > header.*kCounters[i]) {
          header.*kCounters[i] = had;
          outcome->kept_counter[i] = true;
        }
      }
    }
  }
  s = session.Write(0, image.data(), image.size());
  if (s.ok()) s = session.Truncate(image.size());
  if (!s.ok()) return s;
  session.header() = header;
  s = session.WriteHeader();
  if (s.ok()) s = session.Commit();
  return s;
}

}  // namespace brellox
