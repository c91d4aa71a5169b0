// UsersFixture: a fresh default file with verbs to fill and inspect the user
// and privilege tables, and to put option groups behind them.
#ifndef BRELLOX_TESTS_USERS_USERS_FIXTURE_H_
#define BRELLOX_TESTS_USERS_USERS_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "src/store/config_file.h"
#include "src/users/users.h"
#include "tests/testutil/store_fixture.h"

namespace brellox {
namespace test {

class UsersFixture : public StoreFixture {
 protected:
  static std::string NameOf(int i) { return "user" + std::to_string(i); }
  static std::string PasswordOf(int i) { return "pw-" + std::to_string(i); }

  SVR_LONG Add(const std::string& name, const char* password) {
    return AddUser(store(), name.c_str(), password);
  }
  SVR_LONG Add(const std::string& name, const std::string& password) {
    return Add(name, password.c_str());
  }
  SVR_LONG Check(const std::string& name, const std::string& password) {
    return CheckUser(store(), name.c_str(), password.c_str());
  }
  SVR_LONG IdOf(const std::string& name) {
    return GetUserIDByName(store(), name.c_str());
  }

  // Adds users NameOf(first) .. NameOf(first + n - 1), each with PasswordOf.
  std::vector<SVR_LONG> AddUsers(int n, int first = 1) {
    std::vector<SVR_LONG> ids;
    for (int i = first; i < first + n; ++i) {
      ids.push_back(Add(NameOf(i), PasswordOf(i)));
      EXPECT_GT(ids.back(), 0) << NameOf(i);
    }
    return ids;
  }

  std::vector<SVR_LONG> Ids() {
    CSmartArray<SVR_LONG> list;
    GetUserIDs(store(), list);
    std::vector<SVR_LONG> ids;
    for (SVR_LONG i = 0; i < list.GetSize(); ++i) ids.push_back(*list.GetAt(i));
    return ids;
  }

  SVR_LONG Priv(SVR_LONG user, SVR_LONG priv) {
    SVR_LONG value = -1;
    EXPECT_EQ(GetUserPriv(store(), user, priv, value), 1);
    return value;
  }

  // Appends option groups of recognisable bytes at the end of the file.
  void AddOptionGroups(int n) {
    for (int i = 0; i < n; ++i) AddRawOptionGroup(static_cast<char>('G' + i));
  }

  std::string Table(Section section, bool whole_capacity = false) const {
    const SectionView view = GetSection(Header(), section);
    const int slots = whole_capacity ? view.capacity : view.count;
    return FileBytes().substr(view.offset, slots * RecordSize(section));
  }
  std::string UserSlot(int slot) const {
    return FileBytes().substr(Header().users.offset + 100 * slot, 100);
  }
  std::string OptionGroups() const {
    return FileBytes().substr(Header().optionGroupsOffset);
  }
};

}  // namespace test
}  // namespace brellox

#endif  // BRELLOX_TESTS_USERS_USERS_FIXTURE_H_
