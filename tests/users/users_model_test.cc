// Thousands of random user and privilege calls against a plain in-memory
// model: every result and output must agree, and so must the tables' bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/users/users_fixture.h"

namespace brellox {
namespace test {
namespace {

struct ModelUser {
  SVR_LONG id;
  std::string name;
  std::string password;
};

struct ModelPriv {
  SVR_LONG user;
  SVR_LONG priv;
  SVR_LONG value;
};

// What the tables should hold, kept the obvious way.
class Model {
 public:
  SVR_LONG Add(const std::string* name, const std::string* password) {
    if (name == nullptr || name->size() > 30 ||
        name->find_first_not_of(' ') == std::string::npos ||
        (password != nullptr && password->size() > 64) || Find(*name)) {
      return 0;
    }
    if (users_.size() == static_cast<std::size_t>(user_capacity_)) {
      user_capacity_ += 2;
    }
    users_.push_back({++last_id_, *name, password ? *password : ""});
    return last_id_;
  }
  SVR_LONG IdOf(const std::string& name) const {
    const ModelUser* user = Find(name);
    return user ? user->id : 0;
  }
  SVR_LONG Check(const std::string& name, const std::string& password) const {
    const ModelUser* user = Find(name);
    return user && user->password == password ? 1 : 0;
  }
  // The name as fetched into `len` bytes, or "" when there is no such user.
  std::string Fetch(SVR_LONG id, int len, SVR_LONG* result) const {
    std::string buffer(len, '\0');
    *result = 0;
    for (const ModelUser& user : users_) {
      if (user.id != id) continue;
      buffer.replace(0, std::min<std::size_t>(len, user.name.size()),
                     user.name.substr(0, len));
      *result = 1;
    }
    return buffer;
  }
  SVR_LONG Update(SVR_LONG id, const std::string& password) {
    if (password.size() > 64) return 0;
    for (ModelUser& user : users_) {
      if (user.id == id) {
        user.password = password;
        return 1;
      }
    }
    return 0;
  }
  SVR_LONG Delete(SVR_LONG id) {
    if (id <= 0) return 0;
    const auto removed = [id](const ModelUser& u) { return u.id == id; };
    users_.erase(std::remove_if(users_.begin(), users_.end(), removed),
                 users_.end());
    return 1;
  }
  SVR_LONG GetPriv(SVR_LONG user, SVR_LONG priv) const {
    for (const ModelPriv& p : privs_) {
      if (p.user == user && p.priv == priv) return p.value;
    }
    return 0;
  }
  SVR_LONG SetPriv(SVR_LONG user, SVR_LONG priv, SVR_LONG value) {
    if (user <= 0 || priv <= 0 || value < 0) return 0;
    for (ModelPriv& p : privs_) {
      if (p.user == user && p.priv == priv) {
        p.value = value;
        return 1;
      }
    }
    if (privs_.size() == static_cast<std::size_t>(priv_capacity_)) {
      priv_capacity_ += 2;
    }
    privs_.push_back({user, priv, value});
    return 1;
  }

  std::string UserTableBytes() const {
    std::string bytes(100 * user_capacity_, '\0');
    for (std::size_t i = 0; i < users_.size(); ++i) {
      std::memcpy(&bytes[100 * i], &users_[i].id, 4);
      bytes.replace(100 * i + 4, users_[i].name.size(), users_[i].name);
      bytes.replace(100 * i + 34, users_[i].password.size(),
                    users_[i].password);
    }
    return bytes;
  }
  std::string PrivTableBytes() const {
    std::string bytes(12 * priv_capacity_, '\0');
    for (std::size_t i = 0; i < privs_.size(); ++i) {
      std::memcpy(&bytes[12 * i], &privs_[i], 12);
    }
    return bytes;
  }

  const std::vector<ModelUser>& users() const { return users_; }
  SVR_LONG last_id() const { return last_id_; }
  int user_capacity() const { return user_capacity_; }
  int priv_capacity() const { return priv_capacity_; }
  int priv_count() const { return static_cast<int>(privs_.size()); }

 private:
  const ModelUser* Find(const std::string& name) const {
    for (const ModelUser& user : users_) {
      if (user.name == name) return &user;
    }
    return nullptr;
  }

  std::vector<ModelUser> users_;
  std::vector<ModelPriv> privs_;
  SVR_LONG last_id_ = 0;
  int user_capacity_ = 2;
  int priv_capacity_ = 2;
};

class UsersModelTest : public UsersFixture {
 protected:
  std::mt19937 random_{20261207};

  int Uniform(int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random_);
  }
  // Names from a small pool, so that duplicates are common; now and then
  // blank, full-width, too long, or differing only in case or spaces.
  std::string RandomName() {
    switch (Uniform(0, 9)) {
      case 0:
        return std::string(Uniform(0, 3), ' ');
      case 1:
        return std::string(30, 'a' + Uniform(0, 2));
      case 2:
        return std::string(31, 'a' + Uniform(0, 2));
      case 3:
        return "Name" + std::to_string(Uniform(0, 5));
      case 4:
        return " name" + std::to_string(Uniform(0, 5));
      default:
        return "name" + std::to_string(Uniform(0, 40));
    }
  }
  std::string RandomPassword() {
    switch (Uniform(0, 5)) {
      case 0:
        return "";
      case 1:
        return std::string(64, 'p');
      case 2:
        return std::string(65, 'p');
      default:
        return "pw" + std::to_string(Uniform(0, 3));
    }
  }
  SVR_LONG RandomId(const Model& model) {
    return Uniform(-1, model.last_id() + 2);
  }
};

TEST_F(UsersModelTest, RandomCallsAgreeWithTheModel) {
  AddOptionGroups(2);
  const std::string groups = OptionGroups();
  const SVR_CFG_HEADER initial = Header();
  Model model;
  for (int step = 0; step < 4000; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const int op = Uniform(0, 11);
    if (op <= 2) {
      const std::string name = RandomName();
      const std::string password = RandomPassword();
      const bool no_password = Uniform(0, 9) == 0;
      const SVR_LONG expected =
          model.Add(&name, no_password ? nullptr : &password);
      ASSERT_EQ(AddUser(store(), name.c_str(),
                        no_password ? nullptr : password.c_str()),
                expected);
    } else if (op == 3) {
      const std::string name = RandomName();
      ASSERT_EQ(IdOf(name), model.IdOf(name));
    } else if (op == 4) {
      // Mostly stored names with their own or another password.
      std::string name = RandomName();
      std::string password = RandomPassword();
      if (!model.users().empty() && Uniform(0, 1) == 0) {
        const ModelUser& user =
            model.users()[Uniform(0, model.users().size() - 1)];
        name = user.name;
        if (Uniform(0, 1) == 0) password = user.password;
      }
      ASSERT_EQ(Check(name, password), model.Check(name, password));
    } else if (op == 5) {
      const SVR_LONG id = RandomId(model);
      const int len = Uniform(1, 40);
      std::string buffer(len, 'x');
      SVR_LONG expected = 0;
      const std::string name = model.Fetch(id, len, &expected);
      ASSERT_EQ(GetUser(store(), id, &buffer[0], len), expected);
      ASSERT_EQ(buffer, id > 0 ? name : std::string(len, 'x'));
    } else if (op == 6) {
      const SVR_LONG id = RandomId(model);
      const std::string password = RandomPassword();
      ASSERT_EQ(UpdateUser(store(), id, password.c_str()),
                id > 0 ? model.Update(id, password) : 0);
    } else if (op == 7) {
      const SVR_LONG id = RandomId(model);
      ASSERT_EQ(DelUser(store(), id), model.Delete(id));
    } else if (op == 8) {
      std::vector<SVR_LONG> expected;
      for (const ModelUser& user : model.users()) expected.push_back(user.id);
      ASSERT_EQ(Ids(), expected);
      ASSERT_EQ(GetUserCount(store()),
                static_cast<SVR_LONG>(model.users().size()));
    } else if (op == 9) {
      const SVR_LONG user = Uniform(-1, 8), priv = Uniform(-1, 8);
      SVR_LONG value = -7;
      ASSERT_EQ(GetUserPriv(store(), user, priv, value), user > 0 ? 1 : 0);
      ASSERT_EQ(value, user > 0 ? model.GetPriv(user, priv) : 0);
    } else {
      const SVR_LONG user = Uniform(-1, 8), priv = Uniform(-1, 8),
                     value = Uniform(-2, 1000);
      ASSERT_EQ(SetUserPriv(store(), user, priv, value),
                model.SetPriv(user, priv, value));
    }
  }

  // Only the user and privilege entries, the counter and the option-group
  // offset may have changed since the groups were added.
  SVR_CFG_HEADER expected = initial;
  expected.lastUserID = model.last_id();
  expected.users.count = static_cast<int>(model.users().size());
  expected.users.capacity = model.user_capacity();
  expected.privs = {1477 + 100 * model.user_capacity(), model.priv_count(),
                    model.priv_capacity()};
  expected.optionGroupsOffset =
      expected.privs.offset + 12 * model.priv_capacity();
  const SVR_CFG_HEADER header = Header();
  EXPECT_EQ(std::memcmp(&header, &expected, sizeof(header)), 0);
  // Named again for a readable failure.
  EXPECT_EQ(header.users.capacity, model.user_capacity());
  EXPECT_EQ(header.privs.capacity, model.priv_capacity());
  EXPECT_EQ(Table(Section::kUsers, true), model.UserTableBytes());
  EXPECT_EQ(Table(Section::kPrivs, true), model.PrivTableBytes());
  EXPECT_EQ(OptionGroups(), groups);
  EXPECT_GT(model.user_capacity(), 10);
  EXPECT_GT(model.priv_capacity(), 10);
}

}  // namespace
}  // namespace test
}  // namespace brellox
