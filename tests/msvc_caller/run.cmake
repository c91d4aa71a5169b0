# Installs the library into a fresh staging prefix, builds the caller as an
# MSVC-built program would be (clang in MSVC mode, freestanding, linked by
# lld-link against the installed brellox.lib and a kernel32.lib made here),
# and runs it beside the installed DLL, which writes its default file there
# on load.
#
# -D variables: BUILD_DIR, STAGING, SOURCE_DIR, CLANGXX, LLD_LINK, DLLTOOL,
# TRIPLE, MACHINE (llvm-dlltool -m), EMULATOR ('|'-separated).
string(REPLACE "|" ";" emulator "${EMULATOR}")
file(REMOVE_RECURSE "${STAGING}")

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result})")
  endif()
endfunction()

run("install into ${STAGING}"
    "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${STAGING}")

# kernel32's stdcall names carry their argument sizes on 32-bit x86 only.
set(work "${STAGING}/msvc_caller")
file(MAKE_DIRECTORY "${work}")
file(READ "${SOURCE_DIR}/kernel32.def" def)
if(MACHINE STREQUAL "i386")
  set(kill_at -k)
else()
  string(REGEX REPLACE "@[0-9]+" "" def "${def}")
  set(kill_at "")
endif()
file(WRITE "${work}/kernel32.def" "${def}")
run("making kernel32.lib" "${DLLTOOL}" -m "${MACHINE}" ${kill_at}
    -d "${work}/kernel32.def" -l "${work}/kernel32.lib")

set(objects "")
foreach(source caller runtime)
  run("compiling ${source}.cc" "${CLANGXX}" "--target=${TRIPLE}" -std=c++17
      -ffreestanding -fno-exceptions -fno-stack-protector -O1
      -Wall -Wextra -Werror "-I${STAGING}/include"
      -c "${SOURCE_DIR}/${source}.cc" -o "${work}/${source}.obj")
  list(APPEND objects "${work}/${source}.obj")
endforeach()

run("linking caller.exe" "${LLD_LINK}" -nologo -nodefaultlib
    -subsystem:console -entry:mainCRTStartup "-out:${STAGING}/bin/caller.exe"
    ${objects} "${STAGING}/lib/brellox.lib" "${work}/kernel32.lib")

execute_process(COMMAND ${emulator} "${STAGING}/bin/caller.exe"
                WORKING_DIRECTORY "${STAGING}/bin"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the caller failed (exit status ${result})")
endif()
