// option: the global option and the option groups.
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <vector>

#include "src/options/options.h"
#include "tools/brellox/command_line.h"
#include "tools/brellox/listing.h"
#include "tools/brellox/records.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

// Which option: the global one when no group is named.
struct OptionAddress {
  std::string group;
  std::string type = "0";
  std::string index = "0";
  CLI::Option* group_option = nullptr;
  bool as_json = false;

  bool global() const { return group_option->count() == 0; }
};

// The address in the library's terms: the group name in the file's code
// page (empty for the global option), its type and the slot.
struct ParsedAddress {
  bool global;
  std::string group;
  std::int32_t type;
  std::int32_t index;
  std::string description;

  const char* name() const { return global ? nullptr : group.c_str(); }
};

ParsedAddress Parse(const Context& ctx, const OptionAddress& a) {
  ParsedAddress p{a.global(), std::string(), ParseInt32(a.type, "group type"),
                  ParseInt32(a.index, "option index"), "the global option"};
  if (!p.global) {
    p.group = ctx.codec->FromUtf8(a.group, "group name");
    p.description = "option " + std::to_string(p.index) + " of group " +
                    Quoted(a.group) + " (type " + std::to_string(p.type) + ")";
  }
  return p;
}

void List(Context& ctx, bool as_json) {
  const Snapshot s = ctx.Load();
  if (as_json) {
    ctx.PrintJson({{"globalOption", OptionToJson(s.global_option, *ctx.codec)},
                   {"optionGroups", GroupsJson(s, *ctx.codec)}});
  } else {
    PrintOptions(*ctx.out, s, *ctx.codec);
  }
}

void Get(Context& ctx, const OptionAddress& a) {
  const ParsedAddress p = Parse(ctx, a);
  ConfigSession session;
  ctx.Open(&session, Access::kRead);
  CONFIG_OPTION option;
  ctx.Require(GetOption(session, p.name(), p.type, p.index, &option));
  if (a.as_json) {
    ctx.PrintJson(OptionToJson(option, *ctx.codec));
    return;
  }
  const Codec& codec = *ctx.codec;
  *ctx.out << "name: " << codec.Display(option.name, sizeof(option.name))
           << "\n"
           << "type: " << OptionTypeName(option.type) << "\n"
           << "value: " << OptionValueText(option, codec) << "\n"
           << "description: "
           << codec.Display(option.description, sizeof(option.description))
           << "\n";
}

void Set(Context& ctx, const OptionAddress& a, const std::string& value) {
  const ParsedAddress p = Parse(ctx, a);
  ConfigSession session;
  ctx.OpenToChange(&session);
  CONFIG_OPTION update;
  ctx.Require(GetOption(session, p.name(), p.type, p.index, &update));
  // The library takes the value in the form of the stored type; parsing by
  // that type here refuses what would not survive that.
  ParseOptionValue(update.type, value, *ctx.codec, "value for " + p.description,
                   &update);
  ctx.Require(SetOption(session, p.name(), p.type, p.index, update));
  ctx.Commit(&session);
  *ctx.out << p.description << " is now " << OptionValueText(update, *ctx.codec)
           << "\n";
}

struct AddGroupOptions {
  std::string name;
  std::string type;
  std::vector<std::string> specs;
  std::vector<std::string> descriptions;
  bool if_not_exists = false;
};

// TYPE:NAME=VALUE, the type as `option list` prints it.
CONFIG_OPTION ParseSpec(const Context& ctx, const std::string& spec) {
  const std::string::size_type colon = spec.find(':');
  const std::string::size_type equals =
      colon == std::string::npos ? colon : spec.find('=', colon + 1);
  if (equals == std::string::npos) {
    UsageError("--option " + Quoted(spec) + " is not TYPE:NAME=VALUE");
  }
  CONFIG_OPTION option{};
  option.type = ParseOptionType(spec.substr(0, colon));
  const std::string name = spec.substr(colon + 1, equals - colon - 1);
  StoreField(option.name, sizeof(option.name),
             NameBytes(ctx, name, "option name"), sizeof(option.name) - 1,
             "option name");
  ParseOptionValue(option.type, spec.substr(equals + 1), *ctx.codec,
                   "value of option " + Quoted(name), &option);
  return option;
}

void AddGroup(Context& ctx, const AddGroupOptions& o) {
  const std::int32_t type = ParseInt32(o.type, "group type");
  if (o.specs.size() > static_cast<std::size_t>(kOptionGroupSlots)) {
    UsageError("give 1 to 6 options with --option");
  }
  if (o.descriptions.size() > o.specs.size()) {
    UsageError("more --description than --option");
  }
  const std::string name = NameBytes(ctx, o.name, "group name");
  std::vector<CONFIG_OPTION> options;
  for (std::size_t i = 0; i < o.specs.size(); ++i) {
    options.push_back(ParseSpec(ctx, o.specs[i]));
    if (i < o.descriptions.size()) {
      StoreField(options.back().description, sizeof(options.back().description),
                 ctx.codec->FromUtf8(o.descriptions[i], "description"),
                 sizeof(options.back().description) - 1, "description");
    }
  }
  ConfigSession session;
  ctx.OpenToChange(&session);
  if (!ctx.RequireAdded(
          AddOptionGroup(session, name.c_str(), type, options.data(),
                         static_cast<std::int32_t>(options.size())),
          o.if_not_exists)) {
    return;
  }
  ctx.Commit(&session);
  *ctx.out << "added option group " << Quoted(o.name) << " (type " << type
           << ") with " << options.size() << " option(s)\n";
}

void AddAddressOptions(CLI::App* command, OptionAddress* a) {
  a->group_option = command->add_option(
      "--group", a->group, "option group name (default: the global option)");
  command->add_option("--type", a->type, "option group type")
      ->needs(a->group_option);
  command->add_option("--index", a->index, "slot in the group, 0 to 5");
  a->group_option->needs("--type");
}

}  // namespace

void AddOptionCommands(CLI::App& app, Registry& registry) {
  CLI::App* option =
      app.add_subcommand("option", "the global option and the option groups");
  option->require_subcommand(1);

  auto list_json = std::make_shared<bool>(false);
  CLI::App* list_cmd = option->add_subcommand(
      "list", "the global option and every group with its six slots");
  AddJsonFlag(list_cmd, list_json.get());
  registry.Add(list_cmd, [list_json](Context& ctx) { List(ctx, *list_json); });

  auto get = std::make_shared<OptionAddress>();
  CLI::App* get_cmd = option->add_subcommand("get", "print one option");
  AddAddressOptions(get_cmd, get.get());
  AddJsonFlag(get_cmd, &get->as_json);
  registry.Add(get_cmd, [get](Context& ctx) { Get(ctx, *get); });

  auto set = std::make_shared<OptionAddress>();
  auto value = std::make_shared<std::string>();
  CLI::App* set_cmd = option->add_subcommand(
      "set",
      "set one option's value, parsed by its stored type (integer, "
      "double, text, or hex for a block)");
  set_cmd->add_option("VALUE", *value, "the new value")->required();
  AddAddressOptions(set_cmd, set.get());
  registry.Add(set_cmd, [set, value](Context& ctx) { Set(ctx, *set, *value); });

  auto add = std::make_shared<AddGroupOptions>();
  CLI::App* add_cmd =
      option->add_subcommand("add-group", "add an option group");
  add_cmd->add_option("NAME", add->name, "group name")->required();
  add_cmd->add_option("TYPE", add->type, "group type, above 0")->required();
  add_cmd
      ->add_option("--option", add->specs,
                   "TYPE:NAME=VALUE, TYPE one of text, integer, double, "
                   "block (hex); 1 to 6 times")
      ->required();
  add_cmd->add_option("--description", add->descriptions,
                      "description of the option at the same position");
  AddIfNotExistsFlag(add_cmd, &add->if_not_exists);
  registry.Add(add_cmd, [add](Context& ctx) { AddGroup(ctx, *add); });
}

}  // namespace tool
}  // namespace brellox
