// show, layout and check: read-only views of the whole file.
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "src/store/config_file.h"
#include "src/store/integrity.h"
#include "tools/brellox/command_line.h"
#include "tools/brellox/listing.h"
#include "tools/brellox/records.h"
#include "tools/brellox/text_table.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

constexpr const char* kSectionNames[kSectionCount] = {
    "connections", "gdbs", "users", "privileges", "option groups"};

void Show(Context& ctx, bool as_json) {
  const Snapshot s = ctx.Load();
  if (as_json) {
    ctx.PrintJson(ConfigJson(s, *ctx.codec, false));
    return;
  }
  std::ostream& out = *ctx.out;
  const SVR_CFG_HEADER& h = s.header;
  out << "File: " << ctx.path << "\n";
  out << "Temp dir: "
      << Quoted(ctx.codec->Display(h.tempDir, sizeof(h.tempDir))) << "\n\n";
  PrintOptions(out, s, *ctx.codec);
  out << "\nConnections (" << s.conns.size() << ")\n";
  PrintConns(out, s, *ctx.codec);
  out << "\nGDBs (" << s.gdbs.size() << ")\n";
  PrintGdbs(out, s, *ctx.codec);
  out << "\nUsers (" << s.users.size() << ")\n";
  PrintUsers(out, s, *ctx.codec);
  out << "\nPrivileges (" << s.privs.size() << ")\n";
  PrintPrivs(out, s, *ctx.codec, 0);
}

std::string Cell(std::int64_t value) { return std::to_string(value); }

// The header as the session read it, or, when it fails the header check,
// its raw 428 bytes: enough to show what is wrong. Never the whole file.
Status ReadLayoutHeader(const Context& ctx, SVR_CFG_HEADER* h,
                        std::uint64_t* size) {
  ConfigSession session;
  Status check = session.Open(Store{ctx.env, ctx.path}, Access::kRead);
  if (check.ok()) {
    *h = session.header();
    *size = session.Size();
    return check;
  }
  if (!check.IsCorrupt()) ctx.OpenFailed(check);
  std::unique_ptr<RandomRWFile> file;
  Status s = ctx.env->Open(ctx.path, OpenAccess::kReadOnly, &file);
  if (s.ok()) s = file->Size(size);
  if (s.ok() && *size < sizeof(*h)) {
    Fail(BRELLOX_DAMAGED, ctx.path + " is " + std::to_string(*size) +
                              " bytes, shorter than its " +
                              std::to_string(kHeaderSize) + "-byte header");
  }
  if (s.ok()) s = file->Read(0, sizeof(*h), h);
  if (!s.ok()) Fail(s, "cannot open " + ctx.path + ": " + s.message());
  return check;
}

void Layout(Context& ctx, bool as_json) {
  const std::string& path = ctx.path;
  SVR_CFG_HEADER h;
  std::uint64_t file_size = 0;
  const Status header_check = ReadLayoutHeader(ctx, &h, &file_size);
  const std::int64_t end = LayoutEnd(h);
  const std::int64_t size = static_cast<std::int64_t>(file_size);

  json sections = json::array();
  TextTable table({"TABLE", "OFFSET", "COUNT", "CAPACITY", "RECORD", "BYTES",
                   "FREE SLOTS"});
  for (int i = 0; i < kSectionCount; ++i) {
    const Section section = static_cast<Section>(i);
    const SectionView v = GetSection(h, section);
    const bool slotted = section != Section::kOptionGroups;
    const std::int64_t table_bytes =
        static_cast<std::int64_t>(v.capacity) * RecordSize(section);
    sections.push_back({{"table", kSectionNames[i]},
                        {"offset", v.offset},
                        {"count", v.count},
                        {"capacity", v.capacity},
                        {"recordSize", RecordSize(section)},
                        {"bytes", table_bytes},
                        {"freeSlots", v.capacity - v.count}});
    table.AddRow({kSectionNames[i], Cell(v.offset), Cell(v.count),
                  slotted ? Cell(v.capacity) : "-", Cell(RecordSize(section)),
                  Cell(table_bytes),
                  slotted ? Cell(v.capacity - v.count) : "-"});
  }
  if (as_json) {
    ctx.PrintJson(
        {{"file", path},
         {"fileSize", size},
         {"magic", ctx.codec->ToJson(h.magic, sizeof(h.magic))},
         {"formatTag", h.formatTag},
         {"lastConnID", h.lastConnID},
         {"lastGDBID", h.lastGDBID},
         {"lastUserID", h.lastUserID},
         {"tempDir", ctx.codec->ToJson(h.tempDir, sizeof(h.tempDir))},
         {"globalOption",
          {{"offset", kGlobalOptionOffset}, {"bytes", sizeof(CONFIG_OPTION)}}},
         {"sections", sections},
         {"layoutEnd", end},
         {"trailingBytes", size > end ? size - end : 0},
         {"headerCheck", header_check.ok() ? "ok" : header_check.message()}});
  } else {
    std::ostream& out = *ctx.out;
    char tag[8];
    std::snprintf(tag, sizeof(tag), "0x%04x", h.formatTag);
    out << "file            " << path << "\n"
        << "file size       " << size << "\n"
        << "magic           "
        << Quoted(ctx.codec->Display(h.magic, sizeof(h.magic))) << "\n"
        << "format tag      " << tag << "\n"
        << "last IDs        connection " << h.lastConnID << ", GDB "
        << h.lastGDBID << ", user " << h.lastUserID << "\n"
        << "temp dir        "
        << Quoted(ctx.codec->Display(h.tempDir, sizeof(h.tempDir))) << "\n"
        << "global option   offset " << kGlobalOptionOffset << ", "
        << sizeof(CONFIG_OPTION) << " bytes\n\n";
    table.Print(out);
    out << "\nlayout end      " << end << "\n"
        << "trailing bytes  " << (size > end ? size - end : 0) << "\n"
        << "header check    "
        << (header_check.ok() ? "ok" : header_check.message()) << "\n";
  }
  if (!header_check.ok()) {
    Fail(BRELLOX_DAMAGED,
         path + " fails the header check: " + header_check.message());
  }
}

// The findings of the file, the journal beside it included. Opening the
// session rolls back a change that a crash interrupted, as any call would.
std::vector<Finding> CheckFile(const Context& ctx) {
  std::vector<Finding> findings;
  ConfigSession session;
  const Status opened =
      OpenForCheck(Store{ctx.env, ctx.path}, &session, &findings);
  if (!opened.ok()) ctx.OpenFailed(opened);
  if (!findings.empty() && findings.back().error) return findings;
  const Codec& codec = *ctx.codec;
  const Status read = CheckSession(
      session,
      [&codec](const std::string& bytes) { return codec.Shown(bytes); },
      &findings);
  if (!read.ok()) Fail(read, "cannot read " + ctx.path + ": " + read.message());
  return findings;
}

void Check(Context& ctx, bool as_json) {
  const std::string& path = ctx.path;
  if (path.empty()) {
    ConfigSession session;
    ctx.Open(&session, Access::kRead);  // says why
  }
  const std::vector<Finding> findings = CheckFile(ctx);
  int errors = 0;
  json errors_json = json::array();
  json warnings_json = json::array();
  for (const Finding& f : findings) {
    if (f.error) ++errors;
    (f.error ? errors_json : warnings_json).push_back(f.message);
  }
  const int warnings = static_cast<int>(findings.size()) - errors;
  if (as_json) {
    ctx.PrintJson(
        {{"file", path}, {"errors", errors_json}, {"warnings", warnings_json}});
  } else {
    for (const Finding& f : findings) {
      *ctx.out << (f.error ? "error: " : "warning: ") << f.message << "\n";
    }
    *ctx.out << path << ": " << errors << " error(s), " << warnings
             << " warning(s)\n";
  }
  if (errors > 0) {
    Fail(BRELLOX_DAMAGED,
         path + " fails the check: " + std::to_string(errors) + " error(s)");
  }
}

}  // namespace

void AddInspectCommands(CLI::App& app, Registry& registry) {
  using Command = void (*)(Context&, bool);
  const struct {
    const char* name;
    const char* help;
    Command run;
  } kCommands[] = {
      {"show", "the whole configuration as tables (never passwords)", Show},
      {"layout", "the header and where each table lies in the file", Layout},
      {"check", "integrity check: errors exit 3, warnings are only printed",
       Check},
  };
  for (const auto& command : kCommands) {
    CLI::App* sub = app.add_subcommand(command.name, command.help);
    auto as_json = std::make_shared<bool>(false);
    AddJsonFlag(sub, as_json.get());
    Command run = command.run;
    registry.Add(sub, [run, as_json](Context& ctx) { run(ctx, *as_json); });
  }
}

}  // namespace tool
}  // namespace brellox
