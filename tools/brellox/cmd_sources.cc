// conn and gdb: the two twin tables of named records with IDs.
#include <cstring>
#include <memory>
#include <ostream>

#include "src/store/text.h"
#include "tools/brellox/command.h"
#include "tools/brellox/listing.h"
#include "tools/brellox/records.h"
#include "tools/brellox/tool_error.h"

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
};

// Names need room for their NUL inside the field.
void SetName(const Context& ctx, const std::string& utf8, const char* table,
             char* field, std::size_t width) {
  const std::string what = std::string(table) + " name";
  StoreField(field, width, ctx.codec->FromUtf8(utf8, what), width - 1, what);
}

struct ConnTable {
  using Record = SVC_GDB_CONN_INFO;
  static constexpr const char* kTable = "connection";
  static const std::vector<Record>& Records(const Snapshot& s) { return s.conns; }
  static SVR_LONG Add(ConfigAccess& c, const Record& r) { return c.AddConn(r); }
  static SVR_LONG Update(ConfigAccess& c, const Record& r) { return c.UpdateConn(r); }
  static SVR_LONG Del(ConfigAccess& c, std::int32_t id) { return c.DelConn(id); }
  static SVR_LONG Get(ConfigAccess& c, std::int32_t id, Record& r) {
    return c.GetConn(id, r);
  }
  static nlohmann::ordered_json ToJson(const Record& r, const Codec& codec) {
    return ConnToJson(r, codec);
  }
  static void PrintList(const Context& ctx, const Snapshot& s) {
    PrintConns(*ctx.out, s, *ctx.codec);
  }
  static void ApplyFields(const Context& ctx, const SourceOptions& o, Record* r) {
    char* fields[4] = {r->info1, r->info2, r->info3, r->info4};
    const std::size_t widths[4] = {sizeof(r->info1), sizeof(r->info2),
                                   sizeof(r->info3), sizeof(r->info4)};
    for (int i = 0; i < 4; ++i) {
      if (o.info_option[i]->count() == 0) continue;
      const std::string what = "info" + std::to_string(i + 1);
      StoreField(fields[i], widths[i], ctx.codec->FromUtf8(o.info[i], what),
                 widths[i], what);
    }
  }
};

struct GdbTable {
  using Record = SVC_GDB_INFO;
  static constexpr const char* kTable = "GDB";
  static const std::vector<Record>& Records(const Snapshot& s) { return s.gdbs; }
  static SVR_LONG Add(ConfigAccess& c, const Record& r) { return c.AddGDB(r); }
  static SVR_LONG Update(ConfigAccess& c, const Record& r) { return c.UpdateGDB(r); }
  static SVR_LONG Del(ConfigAccess& c, std::int32_t id) { return c.DelGDB(id); }
  static SVR_LONG Get(ConfigAccess& c, std::int32_t id, Record& r) {
    return c.GetGDB(id, r);
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

template <class Table>
std::string Describe(const typename Table::Record& r, const Codec& codec) {
  return std::string(Table::kTable) + " " +
         Quoted(codec.Display(r.name, sizeof(r.name))) + " (ID " +
         std::to_string(r.id) + ")";
}

template <class Table>
void RefuseTakenName(const Snapshot& s, const std::string& name,
                     const std::string& shown, std::int32_t except_id) {
  for (const auto& r : Table::Records(s)) {
    if (r.id != except_id && FieldText(r.name, sizeof(r.name)) == name) {
      Refuse(std::string(Table::kTable) + " " + Quoted(shown) + " already exists");
    }
  }
}

template <class Table>
void Add(Context& ctx, const SourceOptions& o) {
  typename Table::Record record{};
  SetName(ctx, o.name, Table::kTable, record.name, sizeof(record.name));
  if (IsBlankName(record.name)) {
    Refuse(std::string(Table::kTable) + " name " + Quoted(o.name) + " is blank");
  }
  Table::ApplyFields(ctx, o, &record);
  RefuseTakenName<Table>(ctx.Load(), FieldText(record.name, sizeof(record.name)),
                         o.name, 0);
  const SVR_LONG id = Table::Add(*ctx.config, record);
  if (id <= 0) {
    Refuse("the library refused to add " + std::string(Table::kTable) + " " +
           Quoted(o.name));
  }
  *ctx.out << "added " << Table::kTable << " " << Quoted(o.name) << " with ID "
           << id << "\n";
}

template <class Table>
void List(Context& ctx, const SourceOptions& o) {
  const Snapshot s = ctx.Load();
  if (!o.as_json) {
    Table::PrintList(ctx, s);
    return;
  }
  nlohmann::ordered_json out = nlohmann::ordered_json::array();
  for (const auto& r : Table::Records(s)) out.push_back(Table::ToJson(r, *ctx.codec));
  ctx.PrintJson(out);
}

template <class Table>
void Show(Context& ctx, const SourceOptions& o) {
  const auto found = FindRecord(Table::Records(ctx.Load()), o.ref, *ctx.codec,
                                Table::kTable);
  typename Table::Record record{};
  if (Table::Get(*ctx.config, found.id, record) <= 0) {
    Refuse("the library found no " + Describe<Table>(found, *ctx.codec));
  }
  const nlohmann::ordered_json json = Table::ToJson(record, *ctx.codec);
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

template <class Table>
void Update(Context& ctx, const SourceOptions& o) {
  const Snapshot s = ctx.Load();
  typename Table::Record record =
      FindRecord(Table::Records(s), o.ref, *ctx.codec, Table::kTable);
  if (o.name_option->count() > 0) {
    SetName(ctx, o.name, Table::kTable, record.name, sizeof(record.name));
    RefuseTakenName<Table>(s, FieldText(record.name, sizeof(record.name)),
                           o.name, record.id);
  }
  Table::ApplyFields(ctx, o, &record);
  if (Table::Update(*ctx.config, record) <= 0) {
    Refuse("the library refused to update " + Describe<Table>(record, *ctx.codec));
  }
  *ctx.out << "updated " << Describe<Table>(record, *ctx.codec) << "\n";
}

template <class Table>
void Del(Context& ctx, const SourceOptions& o) {
  const auto record =
      FindRecord(Table::Records(ctx.Load()), o.ref, *ctx.codec, Table::kTable);
  if (Table::Del(*ctx.config, record.id) <= 0) {
    Refuse("the library refused to remove " + Describe<Table>(record, *ctx.codec));
  }
  *ctx.out << "removed " << Describe<Table>(record, *ctx.codec) << "\n";
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

template <class Table>
void AddTableCommands(CLI::App& app, Registry& registry, const char* command,
                      const char* help, bool is_conn) {
  CLI::App* table = app.add_subcommand(command, help);
  table->require_subcommand(1);
  const std::string noun = Table::kTable;

  auto add = std::make_shared<SourceOptions>();
  CLI::App* add_cmd = table->add_subcommand("add", "add a " + noun);
  add_cmd->add_option("NAME", add->name, "the new " + noun + "'s name")->required();
  AddFieldOptions(add_cmd, add.get(), is_conn);
  registry.Add(add_cmd, [add](Context& ctx) { Add<Table>(ctx, *add); });

  auto list = std::make_shared<SourceOptions>();
  CLI::App* list_cmd = table->add_subcommand("list", "list every " + noun);
  AddJsonFlag(list_cmd, &list->as_json);
  registry.Add(list_cmd, [list](Context& ctx) { List<Table>(ctx, *list); });

  auto show = std::make_shared<SourceOptions>();
  CLI::App* show_cmd = table->add_subcommand("show", "show one " + noun);
  AddRecordRef(show_cmd, &show->ref, noun);
  AddJsonFlag(show_cmd, &show->as_json);
  registry.Add(show_cmd, [show](Context& ctx) { Show<Table>(ctx, *show); });

  auto update = std::make_shared<SourceOptions>();
  CLI::App* update_cmd = table->add_subcommand(
      "update", "change a " + noun + "'s name or fields");
  AddRecordRef(update_cmd, &update->ref, noun);
  update->name_option = update_cmd->add_option("--name", update->name, "new name");
  AddFieldOptions(update_cmd, update.get(), is_conn);
  registry.Add(update_cmd, [update](Context& ctx) { Update<Table>(ctx, *update); });

  auto del = std::make_shared<SourceOptions>();
  CLI::App* del_cmd = table->add_subcommand("del", "remove a " + noun);
  AddRecordRef(del_cmd, &del->ref, noun);
  registry.Add(del_cmd, [del](Context& ctx) { Del<Table>(ctx, *del); });
}

void GdbId(Context& ctx, const std::string& alias) {
  ctx.Load();
  const std::string name = ctx.codec->FromUtf8(alias, "GDB alias name");
  SVR_LONG id = 0;
  ctx.config->GetGDBID(name.c_str(), id);
  if (id <= 0) Refuse("no GDB " + Quoted(alias));
  *ctx.out << id << "\n";
}

void GdbAlias(Context& ctx, std::int32_t id) {
  ctx.Load();
  constexpr short kSize = sizeof(SVC_GDB_INFO::name) + 1;  // always terminated
  char alias[kSize] = {};
  if (ctx.config->GetGDBAliasName(id, alias, kSize) <= 0 || alias[0] == '\0') {
    Refuse("no GDB with ID " + std::to_string(id));
  }
  *ctx.out << ctx.codec->Display(alias, kSize) << "\n";
}

}  // namespace

void AddSourceCommands(CLI::App& app, Registry& registry) {
  AddTableCommands<ConnTable>(app, registry, "conn", "data-source connections",
                              true);
  AddTableCommands<GdbTable>(app, registry, "gdb", "published geodatabases",
                             false);
  CLI::App* gdb = app.get_subcommand("gdb");

  auto alias = std::make_shared<std::string>();
  CLI::App* id_cmd = gdb->add_subcommand("id", "print the ID of a GDB alias name");
  id_cmd->add_option("ALIAS", *alias, "alias name")->required();
  registry.Add(id_cmd, [alias](Context& ctx) { GdbId(ctx, *alias); });

  auto id = std::make_shared<std::int32_t>(0);
  CLI::App* alias_cmd = gdb->add_subcommand("alias", "print the alias name of a GDB ID");
  alias_cmd->add_option("ID", *id, "GDB ID")->required();
  registry.Add(alias_cmd, [id](Context& ctx) { GdbAlias(ctx, *id); });
}

}  // namespace tool
}  // namespace brellox
