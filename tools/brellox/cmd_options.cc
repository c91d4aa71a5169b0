// option: the global option and the option groups.
#include <memory>
#include <ostream>
#include <vector>

#include "tools/brellox/command.h"
#include "tools/brellox/listing.h"
#include "tools/brellox/records.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

constexpr int kGroupSlots = 6;

// Which option: the global one when no group is named.
struct OptionAddress {
  std::string group;
  std::int32_t type = 0;
  std::int32_t index = 0;
  CLI::Option* group_option = nullptr;
  bool as_json = false;

  bool global() const { return group_option->count() == 0; }
};

std::string Describe(const OptionAddress& a) {
  if (a.global()) return "the global option";
  return "option " + std::to_string(a.index) + " of group " + Quoted(a.group) +
         " (type " + std::to_string(a.type) + ")";
}

// The group's name in the file's code page, after checking that the address
// names an option that exists; throws a refusal saying what is wrong.
std::string CheckAddress(const Context& ctx, const OptionAddress& a) {
  const Snapshot s = ctx.Load();
  if (a.global()) {
    if (a.index != 0) Refuse("the global option has only index 0");
    return std::string();
  }
  if (a.index < 0 || a.index >= kGroupSlots) {
    Refuse("option index " + std::to_string(a.index) + " is outside 0 to 5");
  }
  const std::string name = ctx.codec->FromUtf8(a.group, "group name");
  for (const SVR_OPTION_GROUP& g : s.groups) {
    if (g.groupType == a.type &&
        FieldText(g.groupName, sizeof(g.groupName)) == name) {
      return name;
    }
  }
  Refuse("no option group " + Quoted(a.group) + " of type " +
         std::to_string(a.type));
}

CONFIG_OPTION ReadOption(const Context& ctx, const OptionAddress& a,
                         const std::string& group) {
  CONFIG_OPTION option{};
  if (ctx.config->GetOptionInfo(a.global() ? nullptr : group.c_str(), a.type,
                                a.index, option) <= 0) {
    Refuse("the library could not read " + Describe(a));
  }
  return option;
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
  const CONFIG_OPTION option = ReadOption(ctx, a, CheckAddress(ctx, a));
  if (a.as_json) {
    ctx.PrintJson(OptionToJson(option, *ctx.codec));
    return;
  }
  const Codec& codec = *ctx.codec;
  *ctx.out << "name: " << codec.Display(option.name, sizeof(option.name)) << "\n"
           << "type: " << OptionTypeName(option.type) << "\n"
           << "value: " << OptionValueText(option, codec) << "\n"
           << "description: "
           << codec.Display(option.description, sizeof(option.description))
           << "\n";
}

void Set(Context& ctx, const OptionAddress& a, const std::string& value) {
  const std::string group = CheckAddress(ctx, a);
  const CONFIG_OPTION stored = ReadOption(ctx, a, group);
  // The library takes the value in the form of the stored type; parsing by
  // that type here refuses what would not survive that.
  CONFIG_OPTION update = stored;
  ParseOptionValue(stored.type, value, *ctx.codec, "value for " + Describe(a),
                   &update);
  if (ctx.config->SetOptionInfo(a.global() ? nullptr : group.c_str(), a.type,
                                a.index, update) <= 0) {
    Refuse("the library refused the new value of " + Describe(a));
  }
  *ctx.out << Describe(a) << " is now " << OptionValueText(update, *ctx.codec)
           << "\n";
}

struct AddGroupOptions {
  std::string name;
  std::int32_t type = 0;
  std::vector<std::string> specs;
  std::vector<std::string> descriptions;
};

// TYPE:NAME=VALUE, the type as `option list` prints it.
CONFIG_OPTION ParseSpec(const Context& ctx, const std::string& spec) {
  const std::string::size_type colon = spec.find(':');
  const std::string::size_type equals =
      colon == std::string::npos ? colon : spec.find('=', colon + 1);
  if (equals == std::string::npos) {
    UsageError("option " + Quoted(spec) + " is not TYPE:NAME=VALUE");
  }
  CONFIG_OPTION option{};
  option.type = ParseOptionType(spec.substr(0, colon));
  const std::string name = spec.substr(colon + 1, equals - colon - 1);
  StoreField(option.name, sizeof(option.name),
             ctx.codec->FromUtf8(name, "option name"), sizeof(option.name) - 1,
             "option name");
  ParseOptionValue(option.type, spec.substr(equals + 1), *ctx.codec,
                   "value of option " + Quoted(name), &option);
  return option;
}

void AddGroup(Context& ctx, const AddGroupOptions& o) {
  if (o.type <= 0) Refuse("group type " + std::to_string(o.type) + " is not above 0");
  if (o.specs.empty() || o.specs.size() > kGroupSlots) {
    UsageError("give 1 to 6 options with --option");
  }
  if (o.descriptions.size() > o.specs.size()) {
    UsageError("more descriptions than options");
  }
  char name[sizeof(SVR_OPTION_GROUP::groupName)];
  StoreField(name, sizeof(name), ctx.codec->FromUtf8(o.name, "group name"),
             sizeof(name) - 1, "group name");
  std::vector<CONFIG_OPTION> options;
  for (std::size_t i = 0; i < o.specs.size(); ++i) {
    options.push_back(ParseSpec(ctx, o.specs[i]));
    if (i < o.descriptions.size()) {
      StoreField(options.back().description, sizeof(options.back().description),
                 ctx.codec->FromUtf8(o.descriptions[i], "description"),
                 sizeof(options.back().description) - 1, "description");
    }
  }
  const Snapshot s = ctx.Load();
  for (const SVR_OPTION_GROUP& g : s.groups) {
    if (g.groupType == o.type && FieldText(g.groupName, sizeof(g.groupName)) == name) {
      Refuse("option group " + Quoted(o.name) + " of type " +
             std::to_string(o.type) + " already exists");
    }
  }
  if (ctx.config->AddOptionInfo(name, o.type, options.data(),
                                static_cast<SVR_LONG>(options.size())) <= 0) {
    Refuse("the library refused to add option group " + Quoted(o.name));
  }
  *ctx.out << "added option group " << Quoted(o.name) << " (type " << o.type
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
  CLI::App* option = app.add_subcommand(
      "option", "the global option and the option groups");
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
      "set", "set one option's value, parsed by its stored type (integer, "
             "double, text, or hex for a block)");
  set_cmd->add_option("VALUE", *value, "the new value")->required();
  AddAddressOptions(set_cmd, set.get());
  registry.Add(set_cmd, [set, value](Context& ctx) { Set(ctx, *set, *value); });

  auto add = std::make_shared<AddGroupOptions>();
  CLI::App* add_cmd = option->add_subcommand("add-group", "add an option group");
  add_cmd->add_option("NAME", add->name, "group name")->required();
  add_cmd->add_option("TYPE", add->type, "group type, above 0")->required();
  add_cmd->add_option("--option", add->specs,
                      "TYPE:NAME=VALUE, TYPE one of text, integer, double, "
                      "block (hex); 1 to 6 times")
      ->required();
  add_cmd->add_option("--description", add->descriptions,
                      "description of the option at the same position");
  registry.Add(add_cmd, [add](Context& ctx) { AddGroup(ctx, *add); });
}

}  // namespace tool
}  // namespace brellox
