#include "tools/brellox/check.h"

#include <iterator>

namespace brellox {
namespace tool {
namespace {

// Looks at texts in file order and remembers the first that does not
// decode. Records are named by a callable, called only for that text.
class TextScan {
 public:
  explicit TextScan(const Codec& codec) : codec_(codec) {}

  template <class Who, std::size_t N>
  void Field(const Who& who, const char* name, const char (&field)[N],
             bool secret = false) {
    Bytes(who, name, field, N, secret);
  }

  template <class Who>
  void Bytes(const Who& who, const char* name, const char* field,
             std::size_t width, bool secret) {
    if (!found_.empty() || codec_.Decodes(field, width)) return;
    found_ = who() + ", field " + name;
    if (!secret) {
      found_ += " (" + Quoted(codec_.Shown(FieldText(field, width))) + ")";
    }
  }

  template <class Who>
  void Option(const Who& who, const CONFIG_OPTION& option) {
    Field(who, "name", option.name);
    Field(who, "description", option.description);
    if (option.type == SVR_OPTION_TEXT) {
      Bytes(who, "value", reinterpret_cast<const char*>(option.value),
            sizeof(option.value), false);
    }
  }

  const std::string& found() const { return found_; }

 private:
  const Codec& codec_;
  std::string found_;
};

// A record's name from a fixed text.
auto Named(const char* record) {
  return [record] { return std::string(record); };
}

}  // namespace

std::string FirstUndecodedText(const FileTables& s, const Codec& codec) {
  TextScan scan(codec);
  scan.Field(Named("the header"), "tempDir", s.header.tempDir);
  scan.Option(Named("the global option"), s.global_option);
  for (const SVC_GDB_CONN_INFO& c : s.conns) {
    const auto who = [&c] { return "connection ID " + std::to_string(c.id); };
    scan.Field(who, "name", c.name);
    scan.Field(who, "info1", c.info1);
    scan.Field(who, "info2", c.info2);
    scan.Field(who, "info3", c.info3);
    scan.Field(who, "info4", c.info4);
  }
  for (const SVC_GDB_INFO& g : s.gdbs) {
    scan.Field([&g] { return "GDB ID " + std::to_string(g.id); }, "name",
               g.name);
  }
  for (const SVR_USER_REC& u : s.users) {
    const auto who = [&u] { return "user ID " + std::to_string(u.id); };
    scan.Field(who, "name", u.name);
    scan.Field(who, "password", u.password, true);
  }
  for (std::size_t i = 0; i < s.groups.size(); ++i) {
    const SVR_OPTION_GROUP& g = s.groups[i];
    const auto who = [&g, i] {
      return "option group " + std::to_string(i) + " (type " +
             std::to_string(g.groupType) + ")";
    };
    scan.Field(who, "groupName", g.groupName);
    for (std::size_t slot = 0; slot < std::size(g.options); ++slot) {
      scan.Option([&who, slot] { return who() + ", option " + std::to_string(slot); },
                  g.options[slot]);
    }
  }
  return scan.found();
}

}  // namespace tool
}  // namespace brellox
