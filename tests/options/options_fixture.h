// OptionsFixture: a default file plus verbs to build option records and
// option groups and to look at the global option and the group table.
#ifndef BRELLOX_TESTS_OPTIONS_OPTIONS_FIXTURE_H_
#define BRELLOX_TESTS_OPTIONS_OPTIONS_FIXTURE_H_

#include <cstring>
#include <string>
#include <vector>

#include "src/options/options.h"
#include "src/store/format.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {

// An option whose name, value and description are filled with text made
// from `tag`, so that every byte of it is recognisable.
inline CONFIG_OPTION MakeOption(unsigned char type, char tag) {
  CONFIG_OPTION option;
  std::memset(&option, 0, sizeof(option));
  std::memset(option.name, tag, 10);
  std::memset(option.value, tag + 1, 20);
  option.type = type;
  std::memset(option.description, tag + 2, 40);
  return option;
}

inline CONFIG_OPTION ZeroOption() {
  CONFIG_OPTION option;
  std::memset(&option, 0, sizeof(option));
  return option;
}

inline std::string Bytes(const void* data, std::size_t n) {
  return std::string(static_cast<const char*>(data), n);
}

inline std::string Image(const CONFIG_OPTION& option) {
  return Bytes(&option, sizeof(option));
}

class OptionsFixture : public StoreFixture {
 protected:
  // `n` options of mixed type codes: text, int32, double, block, and a code
  // without a value layout, repeating.
  static std::vector<CONFIG_OPTION> MakeOptions(int n) {
    static const unsigned char kTypes[] = {0, 4, 7, 13, 5};
    std::vector<CONFIG_OPTION> options;
    for (int i = 0; i < n; ++i) {
      options.push_back(
          MakeOption(kTypes[i % 5], static_cast<char>('A' + 3 * i)));
    }
    return options;
  }

  SVR_LONG AddGroup(const char* name, SVR_LONG type, int n) {
    std::vector<CONFIG_OPTION> options = MakeOptions(n);
    return AddOptionInfo(store(), name, type, options.data(), n);
  }

  // The group record at position `i`, straight from the file.
  SVR_OPTION_GROUP GroupRecord(int i) const {
    SVR_OPTION_GROUP group;
    const std::string bytes = FileBytes();
    std::memcpy(&group,
                bytes.data() + Header().optionGroupsOffset + i * sizeof(group),
                sizeof(group));
    return group;
  }

  CONFIG_OPTION GlobalRecord() const {
    CONFIG_OPTION option;
    std::memcpy(&option, FileBytes().data() + kGlobalOptionOffset,
                sizeof(option));
    return option;
  }

  std::vector<CONFIG_OPTION> ReadGroup(const char* name, SVR_LONG type,
                                       int count, SVR_LONG* result) {
    std::vector<CONFIG_OPTION> out(count, MakeOption(9, 'x'));
    *result = GetOptionInfo(store(), name, type, out.data(), count);
    return out;
  }
};

}  // namespace test
}  // namespace brellox

#endif  // BRELLOX_TESTS_OPTIONS_OPTIONS_FIXTURE_H_
