// user and priv: the user table and the privilege values.
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "src/users/users.h"
#include "tools/brellox/command_line.h"
#include "tools/brellox/listing.h"

namespace brellox {
namespace tool {
namespace {

constexpr std::size_t kNameWidth = sizeof(SVR_USER_REC::name);

std::string DescribeUser(const Context& ctx, const SVR_USER_REC& user) {
  return "user " + ShownName(ctx, user.name, kNameWidth) + " (ID " +
         std::to_string(user.id) + ")";
}

SVR_USER_REC ResolveUser(const Context& ctx, ConfigSession& session,
                         const RecordRef& ref) {
  return Resolve<SVR_USER_REC>(
      ctx, session, ref, "user",
      [](ConfigSession& s, std::int32_t id, SVR_USER_REC* user) {
        return FindUser(s, id, user);
      },
      [](ConfigSession& s, const char* name, SVR_USER_REC* user) {
        return FindUserByName(s, name, user);
      });
}

struct AddOptions {
  std::string name;
  bool password_stdin = false;
  bool no_password = false;
  bool if_not_exists = false;
};

void AddUser(Context& ctx, const AddOptions& o) {
  const std::string name = NameBytes(ctx, o.name, "user name");
  ctx.Require(CheckNewUser(name.c_str(), nullptr));
  {
    // Asked before the password, so that a name in use costs no typing;
    // the add itself asks again under the exclusive lock.
    ConfigSession session;
    ctx.Open(&session, Access::kRead);
    ctx.CheckTexts(session);
    SVR_USER_REC existing;
    if (FindUserByName(session, name.c_str(), &existing).ok() &&
        !ctx.RequireAdded(
            Status::AlreadyExists("user " + Quoted(name) + " already exists"),
            o.if_not_exists)) {
      return;
    }
  }
  std::string password;
  if (!o.no_password) {
    password = ReadPassword(ctx, o.password_stdin,
                            "password for " + Quoted(o.name), true);
  }
  ConfigSession session;
  ctx.OpenToChange(&session);
  std::int32_t id = 0;
  if (!ctx.RequireAdded(
          ::brellox::AddUser(session, name.c_str(),
                             o.no_password ? nullptr : password.c_str(), &id),
          o.if_not_exists)) {
    return;
  }
  ctx.Commit(&session);
  *ctx.out << "added user " << Quoted(o.name) << " with ID " << id << "\n";
}

void ListUsers(Context& ctx, bool as_json) {
  const Snapshot s = ctx.Load();
  if (as_json) {
    ctx.PrintJson(UsersJson(s, *ctx.codec, false));
  } else {
    PrintUsers(*ctx.out, s, *ctx.codec);
  }
}

struct DelOptions {
  RecordRef ref;
  bool keep_privileges = false;
};

void DelUser(Context& ctx, const DelOptions& o) {
  ConfigSession session;
  ctx.OpenToChange(&session);
  const SVR_USER_REC user = ResolveUser(ctx, session, o.ref);
  ctx.Require(::brellox::DelUser(session, user.id));
  std::int32_t removed = 0;
  // IDs are never issued twice, so the records could never apply to
  // another user; they would only linger as findings of `check`.
  if (!o.keep_privileges) {
    ctx.Require(RemoveUserPrivileges(session, user.id, &removed));
  }
  ctx.Commit(&session);
  *ctx.out << "removed " << DescribeUser(ctx, user);
  if (removed > 0) *ctx.out << " and its " << removed << " privilege value(s)";
  *ctx.out << "\n";
}

struct PasswdOptions {
  RecordRef ref;
  bool password_stdin = false;
};

void Passwd(Context& ctx, const PasswdOptions& o) {
  SVR_USER_REC user;
  {
    ConfigSession session;
    ctx.Open(&session, Access::kRead);
    ctx.CheckTexts(session);
    user = ResolveUser(ctx, session, o.ref);
  }
  const std::string who = DescribeUser(ctx, user);
  const std::string password =
      ReadPassword(ctx, o.password_stdin, "new password for " + who, true);
  ConfigSession session;
  ctx.OpenToChange(&session);
  ctx.Require(UpdateUser(session, user.id, password.c_str()));
  ctx.Commit(&session);
  // A commit that leaves every byte as it was writes nothing: the password
  // was already this one.
  *ctx.out << (session.wrote() ? "changed the password of " + who
                               : "unchanged: " + who + " has that password")
           << "\n";
}

void CheckUser(Context& ctx, const PasswdOptions& o) {
  const std::string name = ctx.codec->FromUtf8(o.ref.text, "user name");
  const std::string password = ReadPassword(
      ctx, o.password_stdin, "password for " + Quoted(o.ref.text), false);
  ConfigSession session;
  ctx.Open(&session, Access::kRead);
  if (!::brellox::CheckUser(session, name.c_str(), password.c_str()).ok()) {
    Refuse("user " + Quoted(o.ref.text) + " and that password do not match");
  }
  *ctx.out << "user " << Quoted(o.ref.text) << " and password match\n";
}

struct PrivOptions {
  RecordRef user;
  std::string priv;
  std::string value;
  bool listed_user = false;
  bool as_json = false;
};

// A privilege's user for reading: an ID as given (the records of a removed
// user may linger in older files), or the ID of the user with that name.
std::int32_t PrivUserId(const Context& ctx, ConfigSession& session,
                        const RecordRef& ref) {
  if (ref.IsId()) return ref.Id();
  return ResolveUser(ctx, session, ref).id;
}

void PrivGet(Context& ctx, const PrivOptions& o) {
  const std::int32_t priv = ParseInt32(o.priv, "privilege ID");
  ConfigSession session;
  ctx.Open(&session, Access::kRead);
  std::int32_t value = 0;
  ctx.Require(
      GetUserPriv(session, PrivUserId(ctx, session, o.user), priv, &value));
  *ctx.out << value << "\n";
}

void PrivSet(Context& ctx, const PrivOptions& o) {
  const std::int32_t priv = ParseInt32(o.priv, "privilege ID");
  const std::int32_t value = ParseInt32(o.value, "privilege value");
  ConfigSession session;
  ctx.OpenToChange(&session);
  // Only an existing user gets a value: one for no user would only be a
  // finding of `check`.
  const SVR_USER_REC user = ResolveUser(ctx, session, o.user);
  ctx.Require(SetUserPriv(session, user.id, priv, value));
  ctx.Commit(&session);
  *ctx.out << "privilege " << priv << " of user ID " << user.id << " is now "
           << value << "\n";
}

void PrivList(Context& ctx, const PrivOptions& o) {
  ConfigSession session;
  ctx.Open(&session, Access::kRead);
  const std::int32_t user =
      o.listed_user ? PrivUserId(ctx, session, o.user) : 0;
  Snapshot s;
  ctx.Require(ReadTables(session, &s));
  if (o.as_json) {
    ctx.PrintJson(PrivsJson(s, user));
  } else {
    PrintPrivs(*ctx.out, s, *ctx.codec, user);
  }
}

void AddPasswordStdin(CLI::App* command, bool* flag) {
  command->add_flag("--password-stdin", *flag,
                    "read the password as one line of standard input "
                    "instead of prompting");
}

}  // namespace

void AddUserCommands(CLI::App& app, Registry& registry) {
  CLI::App* user = app.add_subcommand("user", "users and their passwords");
  user->require_subcommand(1);

  auto add = std::make_shared<AddOptions>();
  CLI::App* add_cmd = user->add_subcommand(
      "add",
      "add a user; the password is prompted for, or read with "
      "--password-stdin, never taken on the command line");
  add_cmd->add_option("NAME", add->name, "the new user's name")->required();
  AddPasswordStdin(add_cmd, &add->password_stdin);
  add_cmd
      ->add_flag("--no-password", add->no_password,
                 "add the user with an empty password")
      ->excludes("--password-stdin");
  AddIfNotExistsFlag(add_cmd, &add->if_not_exists);
  registry.Add(add_cmd, [add](Context& ctx) { AddUser(ctx, *add); });

  auto list_json = std::make_shared<bool>(false);
  CLI::App* list_cmd = user->add_subcommand("list", "list the users");
  AddJsonFlag(list_cmd, list_json.get());
  registry.Add(list_cmd,
               [list_json](Context& ctx) { ListUsers(ctx, *list_json); });

  auto del = std::make_shared<DelOptions>();
  CLI::App* del_cmd = user->add_subcommand(
      "del", "remove a user and, in the same change, its privilege values");
  AddRecordRef(del_cmd, &del->ref, "user");
  del_cmd->add_flag("--keep-privileges", del->keep_privileges,
                    "leave the user's privilege values in the file");
  registry.Add(del_cmd, [del](Context& ctx) { DelUser(ctx, *del); });

  auto passwd = std::make_shared<PasswdOptions>();
  CLI::App* passwd_cmd = user->add_subcommand("passwd", "change a password");
  AddRecordRef(passwd_cmd, &passwd->ref, "user");
  AddPasswordStdin(passwd_cmd, &passwd->password_stdin);
  registry.Add(passwd_cmd, [passwd](Context& ctx) { Passwd(ctx, *passwd); });

  auto check = std::make_shared<PasswdOptions>();
  CLI::App* check_cmd = user->add_subcommand(
      "check", "test a name and password (exit 0 when they match, else 1)");
  check_cmd->add_option("NAME", check->ref.text, "user name")->required();
  AddPasswordStdin(check_cmd, &check->password_stdin);
  registry.Add(check_cmd, [check](Context& ctx) { CheckUser(ctx, *check); });

  CLI::App* priv = app.add_subcommand("priv", "privilege values per user");
  priv->require_subcommand(1);
  auto get = std::make_shared<PrivOptions>();
  CLI::App* get_cmd =
      priv->add_subcommand("get", "print a privilege value (0 when unset)");
  get_cmd->add_option("USER", get->user.text, "user ID or name")->required();
  get_cmd->add_option("PRIV", get->priv, "privilege ID")->required();
  registry.Add(get_cmd, [get](Context& ctx) { PrivGet(ctx, *get); });

  auto set = std::make_shared<PrivOptions>();
  CLI::App* set_cmd =
      priv->add_subcommand("set", "set a privilege value of an existing user");
  set_cmd->add_option("USER", set->user.text, "user ID or name")->required();
  set_cmd->add_option("PRIV", set->priv, "privilege ID, above 0")->required();
  set_cmd->add_option("VALUE", set->value, "value, 0 or more")->required();
  registry.Add(set_cmd, [set](Context& ctx) { PrivSet(ctx, *set); });

  auto list = std::make_shared<PrivOptions>();
  CLI::App* plist_cmd = priv->add_subcommand("list", "list privilege values");
  CLI::Option* user_option = plist_cmd->add_option(
      "USER", list->user.text, "only this user's (ID or name)");
  AddJsonFlag(plist_cmd, &list->as_json);
  registry.Add(plist_cmd, [list, user_option](Context& ctx) {
    list->listed_user = user_option->count() > 0;
    PrivList(ctx, *list);
  });
}

}  // namespace tool
}  // namespace brellox
