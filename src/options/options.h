// The global option and option groups.
//
// The SVR_LONG functions taking a Store are the exported Svr_ functions of
// the same name (see brellox/brellox.h for the contracts) working on
// `store` instead of the library's own file; each opens the file once. The
// Status forms work inside a session the caller opened (and commits), say
// why they refused or failed, and change nothing then; the exported
// functions that add a group or set one option are thin layers over them.
#ifndef BRELLOX_OPTIONS_OPTIONS_H_
#define BRELLOX_OPTIONS_OPTIONS_H_

#include <cstdint>

#include "brellox/brellox.h"
#include "src/options/copy_option_values.h"
#include "src/store/config_file.h"
#include "src/store/store.h"

namespace brellox {

// Slots of an option group.
constexpr std::int32_t kOptionGroupSlots = 6;

// The group (`groupType`, `name`) as FindOptionGroup finds it, its position
// in `*index`: NotFound, "no option group 'NAME' of type N", when none is.
Status FindExistingGroup(ConfigSession& session, std::int32_t groupType,
                         const char* name, std::int32_t* index,
                         SVR_OPTION_GROUP* group);

// InvalidArgument unless a group (`groupType`, `name`) of `count` options
// can be added: a type <= 0, a NULL name or one of 32 bytes or more, no
// options. Reads no file.
Status CheckNewGroup(const char* name, std::int32_t groupType,
                     const CONFIG_OPTION* options, std::int32_t count);

// Appends the group (`groupType`, `name`) holding the first min(count, 6)
// of `options` byte for byte (the other slots zero). CheckNewGroup's
// refusals; AlreadyExists:
// "option group 'NAME' of type N already exists".
Status AddOptionGroup(ConfigSession& session, const char* name,
                      std::int32_t groupType, const CONFIG_OPTION* options,
                      std::int32_t count);

// InvalidArgument unless (`name`, `groupType`, `index`) can address an option:
// the global option (NULL name) has only index 0; a group's slots are 0 to 5
// and its type is above 0. Reads no file.
Status CheckOptionAddress(const char* name, std::int32_t groupType,
                          std::int32_t index);

// The option at `index` of the group (`groupType`, `name`), or the global
// option for a NULL name. CheckOptionAddress's refusals; NotFound: "no
// option group 'NAME' of type N".
Status GetOption(ConfigSession& session, const char* name,
                 std::int32_t groupType, std::int32_t index,
                 CONFIG_OPTION* option);

// Takes the value of `option` into the stored option at that address, in
// the form its stored type prescribes (CopyOptionValues); nothing else of
// it changes. Refusals as GetOption.
Status SetOption(ConfigSession& session, const char* name,
                 std::int32_t groupType, std::int32_t index,
                 const CONFIG_OPTION& option);

// Takes the values of the first min(count, 6) of `options` into the stored
// options of the group (`groupType`, `name`), each by its stored type
// (CopyOptionValues), or the value of options[0] into the global option for
// a NULL name. InvalidArgument for no options or a type <= 0; NotFound: "no
// option group 'NAME' of type N".
Status SetOptions(ConfigSession& session, const char* name,
                  std::int32_t groupType, const CONFIG_OPTION* options,
                  std::int32_t count);

// The lookups of calls that only read, on `store`: the option-group table
// is answered from the read cache when it holds it (ReadTable), the global
// option from the file. The Status forms behind the exported lookups and
// their C forms.
//
// The group (`groupType`, `name`): InvalidArgument for a type <= 0 or a NULL
// name; NotFound "no option group 'NAME' of type N".
Status ReadOptionGroup(const Store& store, std::int32_t groupType,
                       const char* name, SVR_OPTION_GROUP* group);
// The options at (`name`, `groupType`): the global option (NULL name) into
// options[0] with `*count` 1, or the six of the group with `*count` 6.
// Fails as ReadOptionGroup; `options` is untouched then.
Status ReadOptions(const Store& store, const char* name, std::int32_t groupType,
                   CONFIG_OPTION (&options)[kOptionGroupSlots],
                   std::int32_t* count);
// How many options (`name`, `groupType`) holds: 1 for the global option (no
// file is read), 6 for a group that exists. Fails as ReadOptionGroup.
Status CountOptions(const Store& store, const char* name,
                    std::int32_t groupType, std::int32_t* count);
// The option at `index` of (`name`, `groupType`): CheckOptionAddress's
// refusals, then as ReadOptions.
Status ReadOption(const Store& store, const char* name, std::int32_t groupType,
                  std::int32_t index, CONFIG_OPTION* option);

SVR_LONG AddOptionInfo(const Store& store, const char* name, SVR_LONG groupType,
                       const CONFIG_OPTION* options, SVR_LONG count);
SVR_LONG GetOptionCount(const Store& store, const char* name,
                        SVR_LONG groupType);
SVR_LONG GetOptionInfo(const Store& store, const char* name, SVR_LONG groupType,
                       CONFIG_OPTION* options, SVR_LONG count);
SVR_LONG SetOptionInfo(const Store& store, const char* name, SVR_LONG groupType,
                       const CONFIG_OPTION* options, SVR_LONG count);
SVR_LONG GetOptionInfo(const Store& store, const char* name, SVR_LONG groupType,
                       SVR_LONG index, CONFIG_OPTION& option);
SVR_LONG SetOptionInfo(const Store& store, const char* name, SVR_LONG groupType,
                       SVR_LONG index, const CONFIG_OPTION& option);

}  // namespace brellox

#endif  // BRELLOX_OPTIONS_OPTIONS_H_
