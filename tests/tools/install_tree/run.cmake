# Installs the build into a fresh staging prefix and checks what a user of
# the install tree gets: a caller built through find_package(Brellox) and
# one built through pkg-config both run against the installed library, the
# installed tool finds that library (and its file) by its RUNPATH, and the
# manual page is there.
#
# -D variables: BUILD_DIR, STAGING, CXX, SOURCE (the caller), CONSUMER (this
# directory), GENERATOR.
file(REMOVE_RECURSE "${STAGING}")

include(${CMAKE_CURRENT_LIST_DIR}/../../run_or_fail.cmake)

run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${STAGING}")
file(GLOB_RECURSE libraries "${STAGING}/*/libbrellox.so*")
file(GLOB_RECURSE manual "${STAGING}/share/man/man1/brellox.1.gz")
if(NOT manual OR NOT libraries MATCHES "libbrellox\\.so\\.0")
  message(FATAL_ERROR "install tree lacks the man page or the SONAME link: "
                      "${libraries} ${manual}")
endif()
list(GET libraries 0 library)
get_filename_component(libdir "${library}" DIRECTORY)

# Each caller adds the first user of a fresh default file.
run("${CMAKE_COMMAND}" -S "${CONSUMER}" -B "${STAGING}/consumer"
    -G "${GENERATOR}" "-DCMAKE_CXX_COMPILER=${CXX}"
    "-DCMAKE_PREFIX_PATH=${STAGING}" "-DCALLER_SOURCE=${SOURCE}")
run("${CMAKE_COMMAND}" --build "${STAGING}/consumer")
file(REMOVE "${libdir}/Svr_Config.CFG")
run("${STAGING}/consumer/caller")

set(ENV{PKG_CONFIG_PATH} "${libdir}/pkgconfig")
run(pkg-config --cflags --libs brellox)
string(STRIP "${run_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run("${CXX}" -std=c++17 "${SOURCE}" ${flags} "-Wl,-rpath,${libdir}"
    -o "${STAGING}/pkg-caller")
file(REMOVE "${libdir}/Svr_Config.CFG")
run("${STAGING}/pkg-caller")

# The installed tool works on the installed library's own file.
run("${STAGING}/bin/brellox" user list --json)
if(NOT run_output MATCHES "\"operator\"")
  message(FATAL_ERROR "the installed tool did not see the caller's user:\n"
                      "${run_output}")
endif()
run("${STAGING}/bin/brellox" layout)
string(FIND "${run_output}" "file            ${libdir}/Svr_Config.CFG" at)
if(at LESS 0)
  message(FATAL_ERROR "the installed tool used another file:\n${run_output}")
endif()
