// user and priv: the user table and the privilege values.
#include <memory>
#include <ostream>

#include "src/store/text.h"
#include "tools/brellox/command.h"
#include "tools/brellox/listing.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {
namespace {

constexpr std::size_t kNameWidth = sizeof(SVR_USER_REC::name);
constexpr std::size_t kPasswordWidth = sizeof(SVR_USER_REC::password);

std::string DescribeUser(const SVR_USER_REC& user, const Codec& codec) {
  return "user " + Quoted(codec.Display(user.name, kNameWidth)) + " (ID " +
         std::to_string(user.id) + ")";
}

// The password's bytes in the file's code page, checked to fit.
std::string PasswordBytes(const Context& ctx, bool from_stdin,
                          const std::string& purpose, bool confirm) {
  const std::string typed = ReadPassword(from_stdin, purpose, confirm);
  const std::string bytes = ctx.codec->FromUtf8(typed, "password");
  if (bytes.size() > kPasswordWidth) {
    Refuse("the password is " + std::to_string(bytes.size()) +
           " bytes; at most " + std::to_string(kPasswordWidth) + " fit");
  }
  return bytes;
}

struct AddOptions {
  std::string name;
  bool password_stdin = false;
  bool no_password = false;
};

void AddUser(Context& ctx, const AddOptions& o) {
  const std::string name = ctx.codec->FromUtf8(o.name, "user name");
  if (IsBlankName(name.c_str())) Refuse("user name " + Quoted(o.name) + " is blank");
  if (name.size() > kNameWidth) {
    Refuse("user name " + Quoted(o.name) + " is " + std::to_string(name.size()) +
           " bytes; at most " + std::to_string(kNameWidth) + " fit");
  }
  const Snapshot s = ctx.Load();
  for (const SVR_USER_REC& user : s.users) {
    if (FieldText(user.name, kNameWidth) == name) {
      Refuse("user " + Quoted(o.name) + " already exists");
    }
  }
  // Asked only now, so that a refused name costs no typing.
  std::string password;
  if (!o.no_password) {
    password = PasswordBytes(ctx, o.password_stdin,
                             "password for " + Quoted(o.name), true);
  }
  const SVR_LONG id = ctx.config->AddUser(
      name.c_str(), o.no_password ? nullptr : password.c_str());
  if (id <= 0) Refuse("the library refused to add user " + Quoted(o.name));
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

void DelUser(Context& ctx, const RecordRef& ref) {
  const SVR_USER_REC user = FindRecord(ctx.Load().users, ref, *ctx.codec, "user");
  if (ctx.config->DelUser(user.id) <= 0) {
    Refuse("the library refused to remove " + DescribeUser(user, *ctx.codec));
  }
  *ctx.out << "removed " << DescribeUser(user, *ctx.codec) << "\n";
}

struct PasswdOptions {
  RecordRef ref;
  bool password_stdin = false;
};

void Passwd(Context& ctx, const PasswdOptions& o) {
  const SVR_USER_REC user =
      FindRecord(ctx.Load().users, o.ref, *ctx.codec, "user");
  const std::string who = DescribeUser(user, *ctx.codec);
  const std::string password =
      PasswordBytes(ctx, o.password_stdin, "new password for " + who, true);
  if (ctx.config->UpdateUser(user.id, password.c_str()) <= 0) {
    Refuse("the library refused the new password of " + who);
  }
  *ctx.out << "changed the password of " << who << "\n";
}

void CheckUser(Context& ctx, const PasswdOptions& o) {
  ctx.Load();
  const std::string name = ctx.codec->FromUtf8(o.ref.text, "user name");
  const std::string password = PasswordBytes(
      ctx, o.password_stdin, "password for " + Quoted(o.ref.text), false);
  if (ctx.config->CheckUser(name.c_str(), password.c_str()) != 1) {
    Refuse("user " + Quoted(o.ref.text) + " and that password do not match");
  }
  *ctx.out << "user " << Quoted(o.ref.text) << " and password match\n";
}

// A privilege's user: an ID as given (a removed user's privileges stay), or
// the ID of the user with that name.
std::int32_t PrivUserId(const Context& ctx, const RecordRef& ref) {
  if (ref.IsId()) return ref.Id();
  return FindRecord(ctx.Load().users, ref, *ctx.codec, "user").id;
}

struct PrivOptions {
  RecordRef user;
  std::int32_t priv = 0;
  std::int32_t value = 0;
  bool listed_user = false;
  bool as_json = false;
};

void PrivGet(Context& ctx, const PrivOptions& o) {
  ctx.Load();
  const std::int32_t user = PrivUserId(ctx, o.user);
  if (user <= 0) Refuse("user ID " + std::to_string(user) + " is not above 0");
  SVR_LONG value = 0;
  if (ctx.config->GetUserPriv(user, o.priv, value) <= 0) {
    Refuse("the library refused to read privilege " + std::to_string(o.priv) +
           " of user ID " + std::to_string(user));
  }
  *ctx.out << value << "\n";
}

void PrivSet(Context& ctx, const PrivOptions& o) {
  ctx.Load();
  const std::int32_t user = PrivUserId(ctx, o.user);
  if (user <= 0) Refuse("user ID " + std::to_string(user) + " is not above 0");
  if (o.priv <= 0) Refuse("privilege ID " + std::to_string(o.priv) + " is not above 0");
  if (o.value < 0) Refuse("privilege value " + std::to_string(o.value) + " is below 0");
  if (ctx.config->SetUserPriv(user, o.priv, o.value) <= 0) {
    Refuse("the library refused privilege " + std::to_string(o.priv) +
           " of user ID " + std::to_string(user));
  }
  *ctx.out << "privilege " << o.priv << " of user ID " << user << " is now "
           << o.value << "\n";
}

void PrivList(Context& ctx, const PrivOptions& o) {
  const Snapshot s = ctx.Load();
  const std::int32_t user = o.listed_user ? PrivUserId(ctx, o.user) : 0;
  if (o.as_json) {
    ctx.PrintJson(PrivsJson(s, user));
  } else {
    PrintPrivs(*ctx.out, s, *ctx.codec, user);
  }
}

}  // namespace

void AddUserCommands(CLI::App& app, Registry& registry) {
  CLI::App* user = app.add_subcommand("user", "users and their passwords");
  user->require_subcommand(1);

  auto add = std::make_shared<AddOptions>();
  CLI::App* add_cmd = user->add_subcommand("add", "add a user");
  add_cmd->add_option("NAME", add->name, "the new user's name")->required();
  CLI::Option* from_stdin = add_cmd->add_flag(
      "--password-stdin", add->password_stdin,
      "read the password from standard input instead of a prompt");
  add_cmd->add_flag("--no-password", add->no_password,
                    "add the user with an empty password")
      ->excludes(from_stdin);
  registry.Add(add_cmd, [add](Context& ctx) { AddUser(ctx, *add); });

  auto list_json = std::make_shared<bool>(false);
  CLI::App* list_cmd = user->add_subcommand("list", "list the users");
  AddJsonFlag(list_cmd, list_json.get());
  registry.Add(list_cmd, [list_json](Context& ctx) { ListUsers(ctx, *list_json); });

  auto del = std::make_shared<RecordRef>();
  CLI::App* del_cmd = user->add_subcommand("del", "remove a user");
  AddRecordRef(del_cmd, del.get(), "user");
  registry.Add(del_cmd, [del](Context& ctx) { DelUser(ctx, *del); });

  auto passwd = std::make_shared<PasswdOptions>();
  CLI::App* passwd_cmd = user->add_subcommand("passwd", "change a password");
  AddRecordRef(passwd_cmd, &passwd->ref, "user");
  passwd_cmd->add_flag("--password-stdin", passwd->password_stdin,
                       "read the password from standard input");
  registry.Add(passwd_cmd, [passwd](Context& ctx) { Passwd(ctx, *passwd); });

  auto check = std::make_shared<PasswdOptions>();
  CLI::App* check_cmd = user->add_subcommand(
      "check", "test a name and password (exit 0 when they match, else 1)");
  check_cmd->add_option("NAME", check->ref.text, "user name")->required();
  check_cmd->add_flag("--password-stdin", check->password_stdin,
                      "read the password from standard input");
  registry.Add(check_cmd, [check](Context& ctx) { CheckUser(ctx, *check); });

  CLI::App* priv = app.add_subcommand("priv", "privilege values per user");
  priv->require_subcommand(1);
  auto get = std::make_shared<PrivOptions>();
  CLI::App* get_cmd = priv->add_subcommand("get", "print a privilege value (0 when unset)");
  get_cmd->add_option("USER", get->user.text, "user ID or name")->required();
  get_cmd->add_option("PRIV", get->priv, "privilege ID")->required();
  registry.Add(get_cmd, [get](Context& ctx) { PrivGet(ctx, *get); });

  auto set = std::make_shared<PrivOptions>();
  CLI::App* set_cmd = priv->add_subcommand("set", "set a privilege value");
  set_cmd->add_option("USER", set->user.text, "user ID or name")->required();
  set_cmd->add_option("PRIV", set->priv, "privilege ID, above 0")->required();
  set_cmd->add_option("VALUE", set->value, "value, 0 or more")->required();
  registry.Add(set_cmd, [set](Context& ctx) { PrivSet(ctx, *set); });

  auto list = std::make_shared<PrivOptions>();
  CLI::App* plist_cmd = priv->add_subcommand("list", "list privilege values");
  CLI::Option* user_option =
      plist_cmd->add_option("USER", list->user.text, "only this user's (ID or name)");
  AddJsonFlag(plist_cmd, &list->as_json);
  registry.Add(plist_cmd, [list, user_option](Context& ctx) {
    list->listed_user = user_option->count() > 0;
    PrivList(ctx, *list);
  });
}

}  // namespace tool
}  // namespace brellox
