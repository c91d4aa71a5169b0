#include "src/store/replace.h"

#include <algorithm>
#include <cstring>

namespace brellox {
namespace {

// The header of `image`, when it describes a consistent layout within it.
Status ImageHeader(const std::string& image, SVR_CFG_HEADER* header) {
  if (image.size() < sizeof(*header)) {
    return Status::Refused("the new contents are shorter than a header");
  }
  std::memcpy(header, image.data(), sizeof(*header));
  Status s = ValidateHeader(*header, image.size());
  if (!s.ok()) return Status::Refused("the new contents: " + s.message());
  return s;
}

}  // namespace

Status ReplaceContents(ConfigSession& session, const std::string& image) {
  SVR_CFG_HEADER header;
  Status s = ImageHeader(image, &header);
  if (s.ok()) s = session.Write(0, image.data(), image.size());
  if (s.ok()) s = session.Truncate(image.size());
  if (!s.ok()) return s;
  session.header() = header;
  return session.WriteHeader();
}

Status WriteDifferences(ConfigSession& session, const std::string& before,
                        const std::string& image) {
  SVR_CFG_HEADER header;
  Status s = ImageHeader(image, &header);
  // Runs of differing blocks go in one write each.
  constexpr std::size_t kBlock = 4096;
  const auto differs = [&](std::size_t at) {
    const std::size_t n = std::min(kBlock, image.size() - at);
    return at + n > before.size() ||
           std::memcmp(before.data() + at, image.data() + at, n) != 0;
  };
  std::size_t at = 0;
  while (s.ok() && at < image.size()) {
    if (!differs(at)) {
      at += kBlock;
      continue;
    }
    const std::size_t run = at;
    while (at < image.size() && differs(at)) at += kBlock;
    const std::size_t end = std::min(at, image.size());
    s = session.Write(static_cast<std::int64_t>(run), image.data() + run,
                      end - run);
  }
  if (s.ok() && image.size() < before.size()) s = session.Truncate(image.size());
  if (!s.ok()) return s;
  session.header() = header;
  return session.WriteHeader();
}

Status ReplaceConfigFile(const Store& store, const std::string& image,
                         IdCounters counters, ReplaceOutcome* outcome) {
  *outcome = ReplaceOutcome{};
  // Refused before the file is opened, let alone locked.
  SVR_CFG_HEADER checked;
  Status s = ImageHeader(image, &checked);
  if (!s.ok()) return s;

  ConfigSession session;
  s = session.Open(store, Access::kReplace);
  if (!s.ok()) return s;
  outcome->was_damaged = session.damaged();
  if (!outcome->was_damaged) outcome->previous = session.header();
  s = ReplaceContents(session, image);
  if (!s.ok()) return s;
  if (!outcome->was_damaged && counters == IdCounters::kKeepHigher) {
    std::int32_t SVR_CFG_HEADER::*const kCounters[3] = {
        &SVR_CFG_HEADER::lastConnID, &SVR_CFG_HEADER::lastGDBID,
        &SVR_CFG_HEADER::lastUserID};
    SVR_CFG_HEADER& header = session.header();
    for (int i = 0; i < 3; ++i) {
      const std::int32_t had = outcome->previous.*kCounters[i];
      if (had > header.*kCounters[i]) {
        header.*kCounters[i] = had;
        outcome->kept_counter[i] = true;
      }
    }
  }
  return session.Commit();
}

}  // namespace brellox
