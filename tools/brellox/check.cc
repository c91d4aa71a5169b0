#include "tools/brellox/check.h"

#include <iterator>

namespace brellox {
namespace tool {
namespace {

// Looks at texts in file order and remembers the first that does not
// decode.
class TextScan {
 public:
  explicit TextScan(const Codec& codec) : codec_(codec) {}

  template <std::size_t N>
  void Field(const std::string& record, const char* name,
             const char (&field)[N], bool secret = false) {
    Bytes(record, name, field, N, secret);
  }

  void Bytes(const std::string& record, const char* name, const char* field,
             std::size_t width, bool secret) {
    if (!found_.empty()) return;
    const std::string text = FieldText(field, width);
    std::string utf8;
    if (codec_.TryToUtf8(text, &utf8)) return;
    found_ = record + ", field " + name;
    if (!secret) found_ += " (" + Quoted(codec_.Shown(text)) + ")";
  }

  void Option(const std::string& record, const CONFIG_OPTION& option) {
    Field(record, "name", option.name);
    Field(record, "description", option.description);
    if (option.type == SVR_OPTION_TEXT) {
      Bytes(record, "value", reinterpret_cast<const char*>(option.value),
            sizeof(option.value), false);
    }
  }

  const std::string& found() const { return found_; }

 private:
  const Codec& codec_;
  std::string found_;
};

}  // namespace

std::string FirstUndecodedText(const FileTables& s, const Codec& codec) {
  TextScan scan(codec);
  scan.Field("the header", "tempDir", s.header.tempDir);
  scan.Option("the global option", s.global_option);
  for (const SVC_GDB_CONN_INFO& c : s.conns) {
    const std::string who = "connection ID " + std::to_string(c.id);
    scan.Field(who, "name", c.name);
    scan.Field(who, "info1", c.info1);
    scan.Field(who, "info2", c.info2);
    scan.Field(who, "info3", c.info3);
    scan.Field(who, "info4", c.info4);
  }
  for (const SVC_GDB_INFO& g : s.gdbs) {
    scan.Field("GDB ID " + std::to_string(g.id), "name", g.name);
  }
  for (const SVR_USER_REC& u : s.users) {
    const std::string who = "user ID " + std::to_string(u.id);
    scan.Field(who, "name", u.name);
    scan.Field(who, "password", u.password, true);
  }
  for (std::size_t i = 0; i < s.groups.size(); ++i) {
    const SVR_OPTION_GROUP& g = s.groups[i];
    const std::string who = "option group " + std::to_string(i) + " (type " +
                            std::to_string(g.groupType) + ")";
    scan.Field(who, "groupName", g.groupName);
    for (std::size_t slot = 0; slot < std::size(g.options); ++slot) {
      scan.Option(who + ", option " + std::to_string(slot), g.options[slot]);
    }
  }
  return scan.found();
}

}  // namespace tool
}  // namespace brellox
