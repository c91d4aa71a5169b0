// The C interface's global option and option groups, over
// src/options/options.h and the option file's reads and writes.
#include <cstdint>
#include <cstring>

#include "brellox/brellox_c.h"
#include "src/c_api/c_call.h"
#include "src/options/options.h"

namespace brellox {
namespace {

static_assert(sizeof(brellox_option) == sizeof(CONFIG_OPTION) &&
                  offsetof(brellox_option, type) ==
                      offsetof(CONFIG_OPTION, type) &&
                  offsetof(brellox_option, description) ==
                      offsetof(CONFIG_OPTION, description),
              "a C option is the C++ record byte for byte");

const CONFIG_OPTION* AsRecords(const brellox_option* options) {
  return reinterpret_cast<const CONFIG_OPTION*>(options);
}

// InvalidArgument unless `options` holds `count` > 0 records.
Status CheckOptions(const brellox_option* options, std::int32_t count) {
  Status s = Required(options, "options");
  if (s.ok() && count <= 0) {
    s = Status::InvalidArgument("option count " + std::to_string(count) +
                                " is not above 0");
  }
  return s;
}

}  // namespace
}  // namespace brellox

using brellox::Access;
using brellox::CCall;
using brellox::ConfigSession;
using brellox::InSession;
using brellox::Status;
using brellox::StoreAt;

brellox_result brellox_add_option_group(const char* path, const char* name,
                                        int32_t group_type,
                                        const brellox_option* options,
                                        int32_t count) {
  return CCall([&] {
    Status s = brellox::CheckNewGroup(name, group_type,
                                      brellox::AsRecords(options), count);
    if (!s.ok()) return s;
    return InSession(
        StoreAt(path), Access::kWrite, [&](ConfigSession& session) {
          return brellox::AddOptionGroup(session, name, group_type,
                                         brellox::AsRecords(options), count);
        });
  });
}

brellox_result brellox_get_option_count(const char* path, const char* name,
                                        int32_t group_type, int32_t* count) {
  return CCall([&] {
    Status s = brellox::Required(count, "place for the count");
    if (s.ok()) s = brellox::CheckOptionAddress(name, group_type, 0);
    std::int32_t n = 0;
    if (s.ok()) s = brellox::CountOptions(StoreAt(path), name, group_type, &n);
    if (s.ok()) *count = n;
    return s;
  });
}

brellox_result brellox_get_options(const char* path, const char* name,
                                   int32_t group_type, brellox_option* options,
                                   int32_t count) {
  return CCall([&] {
    Status s = brellox::CheckOptions(options, count);
    if (s.ok()) s = brellox::CheckOptionAddress(name, group_type, 0);
    CONFIG_OPTION found[brellox::kOptionGroupSlots];
    std::int32_t n = 0;
    if (s.ok()) {
      s = brellox::ReadOptions(StoreAt(path), name, group_type, found, &n);
    }
    if (s.ok()) {
      std::memset(options, 0,
                  static_cast<std::size_t>(count) * sizeof(*options));
      std::memcpy(options, found, (count < n ? count : n) * sizeof(*options));
    }
    return s;
  });
}

brellox_result brellox_set_options(const char* path, const char* name,
                                   int32_t group_type,
                                   const brellox_option* options,
                                   int32_t count) {
  return CCall([&] {
    Status s = brellox::CheckOptions(options, count);
    if (s.ok()) s = brellox::CheckOptionAddress(name, group_type, 0);
    if (!s.ok()) return s;
    return InSession(
        StoreAt(path), Access::kWrite, [&](ConfigSession& session) {
          return brellox::SetOptions(session, name, group_type,
                                     brellox::AsRecords(options), count);
        });
  });
}

brellox_result brellox_get_option(const char* path, const char* name,
                                  int32_t group_type, int32_t index,
                                  brellox_option* option) {
  return CCall([&] {
    Status s = brellox::Required(option, "option");
    CONFIG_OPTION found;
    if (s.ok()) {
      s = brellox::ReadOption(StoreAt(path), name, group_type, index, &found);
    }
    if (s.ok()) std::memcpy(option, &found, sizeof(found));
    return s;
  });
}

brellox_result brellox_set_option(const char* path, const char* name,
                                  int32_t group_type, int32_t index,
                                  const brellox_option* option) {
  return CCall([&] {
    Status s = brellox::Required(option, "option");
    if (s.ok()) s = brellox::CheckOptionAddress(name, group_type, index);
    if (!s.ok()) return s;
    return InSession(
        StoreAt(path), Access::kWrite, [&](ConfigSession& session) {
          return brellox::SetOption(session, name, group_type, index,
                                    *brellox::AsRecords(option));
        });
  });
}
