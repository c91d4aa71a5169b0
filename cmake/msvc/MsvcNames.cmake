# Helpers shared by the scripts that make and check the DLL's MSVC exports.
#
# A name decorated by MSVC and one decorated by GCC for the same function
# differ in every byte, so they are matched by signature: each is demangled
# (llvm-undname, llvm-cxxfilt) and reduced to a key such as
# "CSmartFile::Seek(long,unsignedint)", which leaves out what only one of the
# two demanglers prints (access, return type, calling convention, class-key,
# spaces).

# The names that `object` imports from a DLL, without the "__imp_" prefix,
# and without `prefix` (the target's C symbol prefix, "_" on 32-bit x86) for
# objects of GCC, whose names carry it.
function(brellox_dll_imports out nm object prefix)
  execute_process(COMMAND "${nm}" --undefined-only --format=just-symbols
                          "${object}"
                  OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${nm} failed on ${object}")
  endif()
  string(REGEX MATCHALL "__imp_[^\n]+" imports "${symbols}")
  set(names "")
  foreach(import IN LISTS imports)
    string(REGEX REPLACE "^__imp_${prefix}" "" name "${import}")
    list(APPEND names "${name}")
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

# The signature key of each name after `tool`, in order. `kind` is MSVC
# (`tool` is llvm-undname) or GCC (`tool` is llvm-cxxfilt).
function(brellox_signature_keys out kind tool)
  execute_process(COMMAND "${tool}" ${ARGN}
                  OUTPUT_VARIABLE text RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${tool} failed")
  endif()
  string(REPLACE "\n" ";" lines "${text}")
  # llvm-undname answers each name with three lines: the name, its meaning
  # and a blank line; llvm-cxxfilt with one line.
  set(keys "")
  set(index 0)
  foreach(line IN LISTS lines)
    if(kind STREQUAL "MSVC")
      math(EXPR field "${index} % 3")
      math(EXPR index "${index} + 1")
      if(NOT field EQUAL 1)
        continue()
      endif()
    elseif(line STREQUAL "")
      continue()
    endif()
    string(REGEX REPLACE "^.*(__cdecl|__thiscall|__stdcall|__fastcall) " ""
           key "${line}")
    string(REGEX REPLACE "(^|[^A-Za-z0-9_])(class|struct|union|enum) " "\\1"
           key "${key}")
    string(REPLACE "__int64" "long long" key "${key}")
    string(REPLACE "(void)" "()" key "${key}")
    string(REPLACE " " "" key "${key}")
    list(APPEND keys "${key}")
  endforeach()
  list(LENGTH keys found)
  list(LENGTH ARGN wanted)
  if(NOT found EQUAL wanted)
    message(FATAL_ERROR "${tool} gave ${found} names for ${wanted}")
  endif()
  set(${out} "${keys}" PARENT_SCOPE)
endfunction()
