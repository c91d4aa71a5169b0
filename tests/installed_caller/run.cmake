# Installs the library into a fresh staging prefix, compiles caller.cc
# against only the installed header and import library, and runs it beside
# the installed DLL, which writes its default file there on load.
#
# -D variables: BUILD_DIR, STAGING, CXX, SOURCE, EMULATOR ('|'-separated).
string(REPLACE "|" ";" emulator "${EMULATOR}")
file(REMOVE_RECURSE "${STAGING}")

execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}"
                        --prefix "${STAGING}"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install into ${STAGING} failed")
endif()

# The compiler's runtime goes in statically (-static), the library through
# its import library, which -static alone would not look for.
execute_process(COMMAND "${CXX}" -std=c++17 -Wall -Wextra -Werror -static
                        "-I${STAGING}/include" "${SOURCE}"
                        "-L${STAGING}/lib" -Wl,-Bdynamic -lbrellox -Wl,-Bstatic
                        -o "${STAGING}/bin/caller.exe"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "compiling the caller against ${STAGING} failed")
endif()

execute_process(COMMAND ${emulator} "${STAGING}/bin/caller.exe"
                WORKING_DIRECTORY "${STAGING}/bin"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the caller failed (exit status ${result})")
endif()
