# Checks brellox.dll's tables: the export table holds every MSVC name made
# from the public headers, every function exported under a GCC name has an
# MSVC twin (so reach.cc has kept up with the headers), and the DLL imports
# from Windows system DLLs only.
#
# -D variables: READOBJ, UNDNAME, CXXFILT, DLL, NAMES (msvc_names.txt).
cmake_policy(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/MsvcNames.cmake)

execute_process(COMMAND "${READOBJ}" --coff-exports --coff-imports "${DLL}"
                OUTPUT_VARIABLE tables RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${READOBJ} cannot read ${DLL}")
endif()

string(REGEX MATCHALL "Export {[^}]*Name: [^\n]+" export_entries "${tables}")
set(exports "")
foreach(entry IN LISTS export_entries)
  string(REGEX REPLACE ".*Name: " "" name "${entry}")
  list(APPEND exports "${name}")
endforeach()

file(STRINGS "${NAMES}" msvc_names)
set(failures "")
foreach(name IN LISTS msvc_names)
  if(NOT name IN_LIST exports)
    string(APPEND failures "not exported: ${name}\n")
  endif()
endforeach()

# GCC names of functions; the class's virtual table and type information
# (_ZT...) are data that only GCC-built code reads. A class exports its
# private members too, which no caller can call.
set(private_members "CSmartFile::Reserve(")
set(gnu_functions "")
foreach(name IN LISTS exports)
  if(name MATCHES "^_Z" AND NOT name MATCHES "^_ZT")
    list(APPEND gnu_functions "${name}")
  endif()
endforeach()
# Plain C names (the C interface) have no signature to match.
set(decorated_names "")
foreach(name IN LISTS msvc_names)
  if(name MATCHES "^\\?")
    list(APPEND decorated_names "${name}")
  endif()
endforeach()
brellox_signature_keys(msvc_keys MSVC "${UNDNAME}" ${decorated_names})
brellox_signature_keys(gnu_keys GCC "${CXXFILT}" ${gnu_functions})
foreach(name key IN ZIP_LISTS gnu_functions gnu_keys)
  string(REGEX REPLACE "\\(.*" "(" member "${key}")
  if(NOT key IN_LIST msvc_keys AND NOT member IN_LIST private_members)
    string(APPEND failures "no MSVC name for ${name} (${key})\n")
  endif()
endforeach()

# The C interface's plain names, all of them in the import library.
foreach(name IN LISTS exports)
  if(name MATCHES "^brellox_" AND NOT name IN_LIST msvc_names)
    string(APPEND failures "not in the import library: ${name}\n")
  endif()
endforeach()

string(REGEX MATCHALL "Import {[^}]*Name: [^\n]+" import_entries "${tables}")
set(system_dlls kernel32 msvcrt ntdll user32 advapi32 shell32 ole32 ws2_32)
foreach(entry IN LISTS import_entries)
  string(REGEX REPLACE ".*Name: " "" dll "${entry}")
  string(TOLOWER "${dll}" base)
  string(REGEX REPLACE "\\.dll$" "" base "${base}")
  if(NOT base IN_LIST system_dlls AND NOT base MATCHES "^api-ms-win-")
    string(APPEND failures "imports a DLL that is not Windows' own: ${dll}\n")
  endif()
endforeach()

list(LENGTH msvc_names count)
if(failures)
  message(FATAL_ERROR "${DLL}:\n${failures}")
endif()
message(STATUS "${DLL}: all ${count} MSVC names exported, imports only "
               "Windows system DLLs")
