# Makes the module-definition files of brellox.dll's MSVC names from two
# compilations of reach.cc, one as an MSVC-built caller and one as a
# GCC-built caller: every MSVC name the first imports is exported at the
# address of the GCC-built function the second imports under the same
# signature, except constructors (see platform/smart_file_msvc.cc).
#
# The C interface's functions (C_HEADER, brellox_c.h) are exported under
# their plain names for every caller alike: they are listed for the import
# library and the check, never aliased.
#
# -D variables: NM, UNDNAME, CXXFILT, MSVC_OBJECT, GNU_OBJECT, GNU_PREFIX
# (the target's C symbol prefix), DLL (file name), ALIAS_DEF (for the
# linker), IMPORT_DEF (for the import library), NAMES (one name a line),
# C_HEADER.
cmake_policy(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/MsvcNames.cmake)

brellox_dll_imports(msvc_names "${NM}" "${MSVC_OBJECT}" "")
brellox_dll_imports(gnu_names "${NM}" "${GNU_OBJECT}" "${GNU_PREFIX}")
brellox_signature_keys(msvc_keys MSVC "${UNDNAME}" ${msvc_names})
brellox_signature_keys(gnu_keys GCC "${CXXFILT}" ${gnu_names})

list(LENGTH msvc_names count)
list(LENGTH gnu_names gnu_count)
if(count EQUAL 0 OR NOT count EQUAL gnu_count)
  message(FATAL_ERROR "an MSVC-built caller imports ${count} names, a "
                      "GCC-built one ${gnu_count}: ${msvc_keys} / ${gnu_keys}")
endif()

set(aliases "")
set(imports "")
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  list(GET msvc_names ${i} name)
  list(GET msvc_keys ${i} key)
  list(FIND gnu_keys "${key}" twin)
  if(twin EQUAL -1)
    message(FATAL_ERROR "no GCC-built twin for ${name} (${key})")
  endif()
  if(name MATCHES "^\\?\\?0([A-Za-z0-9_]+)@@")
    # MSVC's constructors return the object; GCC's do not.
    set(target "brellox_msvc_construct_${CMAKE_MATCH_1}")
  else()
    list(GET gnu_names ${twin} target)
  endif()
  string(APPEND aliases "  \"${name}\" = ${target}\n")
  string(APPEND imports "  \"${name}\"\n")
endforeach()

file(READ "${C_HEADER}" c_header)
string(REGEX MATCHALL "BRELLOX_C_API[^;(]*[ *\n]brellox_[a-z_]+\\(" declarations
       "${c_header}")
if(NOT declarations)
  message(FATAL_ERROR "no function declared in ${C_HEADER}")
endif()
foreach(declaration IN LISTS declarations)
  string(REGEX REPLACE ".*[ *\n](brellox_[a-z_]+)\\($" "\\1" name
         "${declaration}")
  list(APPEND msvc_names "${name}")
  string(APPEND imports "  ${name}\n")
endforeach()

file(WRITE "${ALIAS_DEF}" "EXPORTS\n${aliases}")
file(WRITE "${IMPORT_DEF}" "LIBRARY ${DLL}\nEXPORTS\n${imports}")
string(REPLACE ";" "\n" lines "${msvc_names}")
file(WRITE "${NAMES}" "${lines}\n")
