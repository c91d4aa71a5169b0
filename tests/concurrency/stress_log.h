// What a stress worker writes and the stress test reads back.
//
// Each worker thread logs every call it makes, one line per call, to
// LogName(process, thread) in its working directory:
//
//   VERB TABLE ID NAME VALUE RESULT [!]
//
//   add user 0 u17 p0.1.5 23     Svr_AddUser("u17", "p0.1.5") returned 23
//   upd conn 7 c5 t0.1.8 1       the connection's tag fields became t0.1.8
//   del gdb 9 g3 - 1
//   set priv 23 3 17 1           privilege 3 of user 23 set to 17
//   set opt 2 grp0.1 v41 1       option 2 of the worker's group set to "v41"
//
// Reads use other verbs. A trailing "!" marks a result the worker did not
// expect. Every text is free of spaces, so a line splits on blanks.
#ifndef BRELLOX_TESTS_CONCURRENCY_STRESS_LOG_H_
#define BRELLOX_TESTS_CONCURRENCY_STRESS_LOG_H_

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "brellox/brellox.h"

namespace brellox {
namespace stress {

inline std::string WorkerTag(int process, int thread) {
  return std::to_string(process) + "." + std::to_string(thread);
}
inline std::string LogName(int process, int thread) {
  return "log-" + WorkerTag(process, thread) + ".txt";
}

// The text of a fixed-width field: up to its first NUL, or all of it.
template <std::size_t N>
std::string FieldText(const char (&field)[N]) {
  const void* nul = std::memchr(field, '\0', N);
  return std::string(
      field, nul == nullptr ? N : static_cast<const char*>(nul) - field);
}

// Connection and GDB records as a worker stores them: its tag fills every
// free text field, so that a record read half old, half new shows.
template <std::size_t N>
void PutText(char (&field)[N], const std::string& text) {
  std::memcpy(field, text.data(), text.size() < N ? text.size() : N - 1);
}
inline SVC_GDB_CONN_INFO MakeConnection(SVR_LONG id, const std::string& name,
                                        const std::string& tag) {
  SVC_GDB_CONN_INFO r{};
  r.id = id;
  PutText(r.name, name);
  PutText(r.info1, tag);
  PutText(r.info2, tag);
  PutText(r.info3, tag);
  if (!tag.empty()) PutText(r.info4, tag + "/" + tag + "/" + tag);
  return r;
}
inline SVC_GDB_INFO MakeGdb(SVR_LONG id, const std::string& name,
                            const std::string& tag) {
  SVC_GDB_INFO r{};
  r.id = id;
  PutText(r.name, name);
  std::string details;
  while (!tag.empty() && details.size() < sizeof(r.details))
    details += tag + "/";
  std::memcpy(r.details, details.data(),
              std::min(details.size(), sizeof(r.details)));
  return r;
}

// Every worker thread adds one option group of its own, of this type, and
// changes only its values.
constexpr SVR_LONG kGroupType = 7;
inline std::string GroupName(int process, int thread) {
  return "grp" + WorkerTag(process, thread);
}
constexpr unsigned char kGroupTypes[6] = {SVR_OPTION_INT32,  SVR_OPTION_TEXT,
                                          SVR_OPTION_DOUBLE, SVR_OPTION_INT32,
                                          SVR_OPTION_TEXT,   SVR_OPTION_DOUBLE};

// An option of `type` whose value stands for `serial`.
inline CONFIG_OPTION OptionWithValue(unsigned char type, int serial) {
  CONFIG_OPTION option{};
  option.type = type;
  if (type == SVR_OPTION_INT32) {
    const std::int32_t v = serial;
    std::memcpy(option.value, &v, sizeof(v));
  } else if (type == SVR_OPTION_DOUBLE) {
    const double v = serial + 0.5;
    std::memcpy(option.value, &v, sizeof(v));
  } else {
    std::snprintf(reinterpret_cast<char*>(option.value), sizeof(option.value),
                  "v%d", serial);
  }
  return option;
}

// The value of a stored option as text, read in the form of its type.
inline std::string OptionValueText(const CONFIG_OPTION& option) {
  char text[160];
  if (option.type == SVR_OPTION_INT32) {
    std::int32_t v;
    std::memcpy(&v, option.value, sizeof(v));
    std::snprintf(text, sizeof(text), "i%d", static_cast<int>(v));
  } else if (option.type == SVR_OPTION_DOUBLE) {
    double v;
    std::memcpy(&v, option.value, sizeof(v));
    std::snprintf(text, sizeof(text), "d%.1f", v);
  } else {
    std::snprintf(text, sizeof(text), "%.*s",
                  static_cast<int>(sizeof(option.value)),
                  reinterpret_cast<const char*>(option.value));
  }
  return text;
}

}  // namespace stress
}  // namespace brellox

#endif  // BRELLOX_TESTS_CONCURRENCY_STRESS_LOG_H_
