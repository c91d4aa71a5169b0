#include "src/state/change_objects.h"

#include <cstring>
#include <set>

namespace brellox {
namespace state {

using json = nlohmann::ordered_json;

namespace {

std::string Shown(const json& value) {
  return value.is_null() ? "(none)" : value.dump();
}

// `before` then "(user 'bob', privilege 3)", in one allocation.
std::string PrivilegeWords(const char* before, const std::string& user,
                           std::int32_t priv_id) {
  static constexpr char kMiddle[] = ", privilege ";
  const std::string id = std::to_string(priv_id);
  std::string words;
  words.reserve(std::strlen(before) + user.size() + id.size() +
                sizeof(kMiddle) + 2);
  return words.append(before)
      .append("(")
      .append(user)
      .append(kMiddle)
      .append(id)
      .append(")");
}

ChangeObject Change(const char* change, std::string record,
                    std::string field = std::string()) {
  ChangeObject object;
  object.change = change;
  object.record = std::move(record);
  object.field = std::move(field);
  return object;
}

}  // namespace

bool ChangeObject::operator==(const ChangeObject& other) const {
  return change == other.change && record == other.record &&
         field == other.field && has_values == other.has_values &&
         from == other.from && to == other.to;
}

ChangeObject AddedChange(std::string record) {
  return Change("added", std::move(record));
}

ChangeObject RemovedChange(std::string record) {
  return Change("removed", std::move(record));
}

ChangeObject PasswordChange(std::string record) {
  return Change("changed", std::move(record), "password");
}

void AddFieldChanges(const std::string& record, const json& from,
                     const json& to, ChangeList* changes) {
  struct Walker {
    const std::string& record;
    ChangeList* changes;

    void Compare(const json& a, const json& b, const std::string& path) {
      if (a == b) return;
      if (a.is_object() && b.is_object()) {
        std::set<std::string> keys;
        for (const auto& item : a.items()) keys.insert(item.key());
        for (const auto& item : b.items()) keys.insert(item.key());
        for (const std::string& key : keys) {
          Compare(a.contains(key) ? a[key] : json(),
                  b.contains(key) ? b[key] : json(),
                  path.empty() ? key : path + "." + key);
        }
        return;
      }
      if (a.is_array() && b.is_array() && a.size() == b.size()) {
        for (std::size_t i = 0; i < a.size(); ++i) {
          Compare(a[i], b[i], path + "[" + std::to_string(i) + "]");
        }
        return;
      }
      ChangeObject change = Change("changed", record, path);
      change.has_values = true;
      change.from = a;
      change.to = b;
      changes->push_back(std::move(change));
    }
  };
  Walker{record, changes}.Compare(from, to, "");
}

std::string ChangeLine(const ChangeObject& change) {
  std::string line;
  AppendChangeLine(change, &line);
  return line;
}

void AppendChangeLine(const ChangeObject& change, std::string* text) {
  text->append(change.change).append(" ").append(change.record);
  if (change.has_values) {
    text->append(": ")
        .append(change.field)
        .append(" ")
        .append(Shown(change.from))
        .append(" -> ")
        .append(Shown(change.to));
  } else if (!change.field.empty()) {
    text->append(": ").append(change.field).append(" differs");
  }
}

json ChangesToJson(const ChangeList& changes) {
  json list = json::array();
  list.get_ref<json::array_t&>().reserve(changes.size());
  for (const ChangeObject& change : changes) {
    json object = json::object();
    auto& members = object.get_ref<json::object_t&>();
    members.reserve(change.has_values ? 5 : 3);
    members.emplace_back("change", change.change);
    members.emplace_back("record", change.record);
    if (!change.field.empty()) members.emplace_back("field", change.field);
    if (change.has_values) {
      members.emplace_back("from", change.from);
      members.emplace_back("to", change.to);
    }
    list.push_back(std::move(object));
  }
  return list;
}

Status ChangesFromJson(const json& list, ChangeList* changes) {
  if (!list.is_array()) return Status::Refused("changes: is not a list");
  ChangeList read;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const json& item = list[i];
    const auto text = [&item](const char* key) {
      return item.contains(key) && item[key].is_string();
    };
    const bool object = item.is_object();
    const bool field = object && item.contains("field");
    const bool values = object && item.contains("from");
    if (!object || !text("change") || !text("record") ||
        (field && (!text("field") || item["field"].get_ref<const std::string&>().empty())) ||
        (values && !(field && item.contains("to"))) ||
        item.size() != 2u + field + 2u * values) {
      return Status::Refused("changes[" + std::to_string(i) +
                             "]: is not a change object");
    }
    const std::string& kind = item["change"].get_ref<const std::string&>();
    if (kind != "added" && kind != "removed" && kind != "changed") {
      return Status::Refused("changes[" + std::to_string(i) +
                             "].change: is not added, removed or changed");
    }
    ChangeObject change =
        Change(kind.c_str(), item["record"].get<std::string>(),
               field ? item["field"].get<std::string>() : std::string());
    change.has_values = values;
    if (values) {
      change.from = item["from"];
      change.to = item["to"];
    }
    read.push_back(std::move(change));
  }
  *changes = std::move(read);
  return Status::OK();
}

// "'g' (type 2)"
std::string GroupName(const SVR_OPTION_GROUP& group, const Codec& codec) {
  return Quoted(codec.Display(group.groupName, sizeof(group.groupName))) +
         " (type " + std::to_string(group.groupType) + ")";
}

// "(user 'bob', privilege 3)"
std::string PrivilegeName(const std::string& user, std::int32_t priv_id) {
  return PrivilegeWords("", user, priv_id);
}

std::string NamedRecord(const char* noun, const char* name, std::size_t width,
                        const Codec& codec) {
  return NamedRecord(noun, FieldText(name, width), codec);
}

std::string NamedRecord(const char* noun, const std::string& name,
                        const Codec& codec) {
  const std::string shown = codec.Shown(name);
  // "user 'bob'", in one allocation.
  std::string record;
  record.reserve(std::strlen(noun) + shown.size() + 3);
  record.append(noun).append(" '").append(shown).push_back('\'');
  return record;
}

std::string PrivilegeRecord(const std::string& user, std::int32_t priv_id) {
  return PrivilegeWords("privilege ", user, priv_id);
}

std::string GroupRecord(const SVR_OPTION_GROUP& group, const Codec& codec) {
  return "option group " + GroupName(group, codec);
}

json WithoutId(json record) {
  record.erase("id");
  return record;
}

}  // namespace state
}  // namespace brellox
