// conn and gdb: the two twin tables of named records with IDs.
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "src/sources/twin_table.h"
#include "tools/brellox/command_line.h"
#include "tools/brellox/listing.h"
#include "tools/brellox/records.h"

namespace brellox {
namespace tool {
namespace {

// What the command line may set in a record; a field is changed only when
// its option was given.
struct SourceOptions {
  RecordRef ref;
  std::string name;
  std::string info[4];
  std::string details;
  CLI::Option* name_option = nullptr;
  CLI::Option* info_option[4] = {};
  CLI::Option* details_option = nullptr;
  bool as_json = false;
  bool if_not_exists = false;
};

// The name goes in byte for byte, as the library stores it: all 32 bytes
// may be used.
template <class Record>
void SetName(const Context& ctx, const std::string& utf8, const char* noun,
             Record* record) {
  const std::string what = std::string(noun) + " name";
  StoreField(record->name, sizeof(record->name), NameBytes(ctx, utf8, what),
             sizeof(record->name), what);
}

struct ConnCommands {
  using Table = ConnTable;
  using Record = SVC_GDB_CONN_INFO;
  static constexpr const char* kNoun = TableName(Section::kConns);
  static const std::vector<Record>& Records(const Snapshot& s) {
    return s.conns;
  }
  static nlohmann::ordered_json ToJson(const Record& r, const Codec& codec) {
    return ConnToJson(r, codec);
  }
  static void PrintList(const Context& ctx, const Snapshot& s) {
    PrintConns(*ctx.out, s, *ctx.codec);
  }
  static void ApplyFields(const Context& ctx, const SourceOptions& o,
                          Record* r) {
    char* fields[4] = {r->info1, r->info2, r->info3, r->info4};
    const std::size_t widths[4] = {sizeof(r->info1), sizeof(r->info2),
                                   sizeof(r->info3), sizeof(r->info4)};
    for (int i = 0; i < 4; ++i) {
      if (o.info_option[i]->count() == 0) continue;
      const std::string what = "info" + std::to_string(i + 1);
      StoreField(fields[i], widths[i], NameBytes(ctx, o.info[i], what),
                 widths[i], what);
    }
  }
};

struct GdbCommands {
  using Table = GdbTable;
  using Record = SVC_GDB_INFO;
  static constexpr const char* kNoun = TableName(Section::kGdbs);
  static const std::vector<Record>& Records(const Snapshot& s) {
    return s.gdbs;
  }
  static nlohmann::ordered_json ToJson(const Record& r, const Codec& codec) {
    return GdbToJson(r, codec);
  }
  static void PrintList(const Context& ctx, const Snapshot& s) {
    PrintGdbs(*ctx.out, s, *ctx.codec);
  }
  static void ApplyFields(const Context&, const SourceOptions& o, Record* r) {
    if (o.details_option->count() == 0) return;
    const std::string bytes = FromHex(o.details, sizeof(r->details), "details");
    std::memset(r->details, 0, sizeof(r->details));
    std::memcpy(r->details, bytes.data(), bytes.size());
  }
};

template <class Commands>
std::string Describe(const Context& ctx, const typename Commands::Record& r) {
  return std::string(Commands::kNoun) + " " +
         ShownName(ctx, r.name, sizeof(r.name)) + " (ID " +
         std::to_string(r.id) + ")";
}

template <class Commands>
typename Commands::Record ResolveRecord(const Context& ctx,
                                        ConfigSession& session,
                                        const RecordRef& ref) {
  using Record = typename Commands::Record;
  return Resolve<Record>(
      ctx, session, ref, Commands::kNoun,
      [](ConfigSession& s, std::int32_t id, Record* r) {
        return Commands::Table::Find(s, id, r);
      },
      [](ConfigSession& s, const char* name, Record* r) {
        return Commands::Table::FindByName(s, name, r);
      });
}

template <class Commands>
void Add(Context& ctx, const SourceOptions& o) {
  typename Commands::Record record{};
  SetName(ctx, o.name, Commands::kNoun, &record);
  Commands::ApplyFields(ctx, o, &record);
  ConfigSession session;
  ctx.OpenToChange(&session);
  std::int32_t id = 0;
  if (!ctx.RequireAdded(Commands::Table::Add(session, record, &id),
                        o.if_not_exists)) {
    return;
  }
  ctx.Commit(&session);
  *ctx.out << "added " << Commands::kNoun << " " << Quoted(o.name)
           << " with ID " << id << "\n";
}

template <class Commands>
void List(Context& ctx, const SourceOptions& o) {
  const Snapshot s = ctx.Load();
  if (!o.as_json) {
    Commands::PrintList(ctx, s);
    return;
  }
  nlohmann::ordered_json out = nlohmann::ordered_json::array();
  for (const auto& r : Commands::Records(s)) {
    out.push_back(Commands::ToJson(r, *ctx.codec));
  }
  ctx.PrintJson(out);
}

template <class Commands>
void Show(Context& ctx, const SourceOptions& o) {
  ConfigSession session;
  ctx.Open(&session, Access::kRead);
  const nlohmann::ordered_json json = Commands::ToJson(
      ResolveRecord<Commands>(ctx, session, o.ref), *ctx.codec);
  if (o.as_json) {
    ctx.PrintJson(json);
    return;
  }
  for (const auto& item : json.items()) {
    *ctx.out << item.key() << ": "
             << (item.value().is_string() ? item.value().get<std::string>()
                                          : item.value().dump())
             << "\n";
  }
}

template <class Commands>
void Update(Context& ctx, const SourceOptions& o) {
  ConfigSession session;
  ctx.OpenToChange(&session);
  typename Commands::Record record =
      ResolveRecord<Commands>(ctx, session, o.ref);
  if (o.name_option->count() > 0) {
    SetName(ctx, o.name, Commands::kNoun, &record);
  }
  Commands::ApplyFields(ctx, o, &record);
  ctx.Require(Commands::Table::Update(session, record));
  ctx.Commit(&session);
  *ctx.out << "updated " << Describe<Commands>(ctx, record) << "\n";
}

template <class Commands>
void Del(Context& ctx, const SourceOptions& o) {
  ConfigSession session;
  ctx.OpenToChange(&session);
  const auto record = ResolveRecord<Commands>(ctx, session, o.ref);
  ctx.Require(Commands::Table::Remove(session, record.id));
  ctx.Commit(&session);
  *ctx.out << "removed " << Describe<Commands>(ctx, record) << "\n";
}

void AddFieldOptions(CLI::App* command, SourceOptions* o, bool is_conn) {
  if (is_conn) {
    for (int i = 0; i < 4; ++i) {
      const std::string flag = "--info" + std::to_string(i + 1);
      o->info_option[i] = command->add_option(flag, o->info[i], "text field");
    }
  } else {
    o->details_option = command->add_option(
        "--details", o->details, "the 132 opaque bytes, as hex (zero-padded)");
  }
}

template <class Commands>
void AddTableCommands(CLI::App& app, Registry& registry, const char* command,
                      const char* help, bool is_conn) {
  CLI::App* table = app.add_subcommand(command, help);
  table->require_subcommand(1);
  const std::string noun = Commands::kNoun;

  auto add = std::make_shared<SourceOptions>();
  CLI::App* add_cmd = table->add_subcommand("add", "add a " + noun);
  add_cmd->add_option("NAME", add->name, "the new " + noun + "'s name")
      ->required();
  AddFieldOptions(add_cmd, add.get(), is_conn);
  AddIfNotExistsFlag(add_cmd, &add->if_not_exists);
  registry.Add(add_cmd, [add](Context& ctx) { Add<Commands>(ctx, *add); });

  auto list = std::make_shared<SourceOptions>();
  CLI::App* list_cmd = table->add_subcommand("list", "list every " + noun);
  AddJsonFlag(list_cmd, &list->as_json);
  registry.Add(list_cmd, [list](Context& ctx) { List<Commands>(ctx, *list); });

  auto show = std::make_shared<SourceOptions>();
  CLI::App* show_cmd = table->add_subcommand("show", "show one " + noun);
  AddRecordRef(show_cmd, &show->ref, noun);
  AddJsonFlag(show_cmd, &show->as_json);
  registry.Add(show_cmd, [show](Context& ctx) { Show<Commands>(ctx, *show); });

  auto update = std::make_shared<SourceOptions>();
  CLI::App* update_cmd =
      table->add_subcommand("update", "change a " + noun + "'s name or fields");
  AddRecordRef(update_cmd, &update->ref, noun);
  update->name_option =
      update_cmd->add_option("--name", update->name, "new name");
  AddFieldOptions(update_cmd, update.get(), is_conn);
  registry.Add(update_cmd,
               [update](Context& ctx) { Update<Commands>(ctx, *update); });

  auto del = std::make_shared<SourceOptions>();
  CLI::App* del_cmd = table->add_subcommand("del", "remove a " + noun);
  AddRecordRef(del_cmd, &del->ref, noun);
  registry.Add(del_cmd, [del](Context& ctx) { Del<Commands>(ctx, *del); });
}

void GdbId(Context& ctx, const std::string& alias) {
  const std::string name = ctx.codec->FromUtf8(alias, "GDB alias name");
  ConfigSession session;
  ctx.Open(&session, Access::kRead);
  SVC_GDB_INFO gdb;
  ctx.Require(GdbTable::FindByName(session, name.c_str(), &gdb));
  *ctx.out << gdb.id << "\n";
}

void GdbAlias(Context& ctx, const std::string& id_text) {
  const std::int32_t id = ParseInt32(id_text, "GDB ID");
  ConfigSession session;
  ctx.Open(&session, Access::kRead);
  SVC_GDB_INFO gdb;
  ctx.Require(GdbTable::Find(session, id, &gdb));
  *ctx.out << ctx.codec->Display(gdb.name, sizeof(gdb.name)) << "\n";
}

}  // namespace

void AddSourceCommands(CLI::App& app, Registry& registry) {
  AddTableCommands<ConnCommands>(app, registry, "conn",
                                 "data-source connections", true);
  AddTableCommands<GdbCommands>(app, registry, "gdb", "published geodatabases",
                                false);
  CLI::App* gdb = app.get_subcommand("gdb");

  auto alias = std::make_shared<std::string>();
  CLI::App* id_cmd =
      gdb->add_subcommand("id", "print the ID of a GDB alias name");
  id_cmd->add_option("ALIAS", *alias, "alias name")->required();
  registry.Add(id_cmd, [alias](Context& ctx) { GdbId(ctx, *alias); });

  auto id = std::make_shared<std::string>();
  CLI::App* alias_cmd =
      gdb->add_subcommand("alias", "print the alias name of a GDB ID");
  alias_cmd->add_option("ID", *id, "GDB ID")->required();
  registry.Add(alias_cmd, [id](Context& ctx) { GdbAlias(ctx, *id); });
}

}  // namespace tool
}  // namespace brellox
