# Builds the Debian packages of a build with cpack into a scratch folder and
# checks them the way an administrator and a developer meet them: what each
# package holds (and does not), the maintainer script that creates the
# configuration file, the tool run from the unpacked packages, what that
# script does done by that tool on a scratch file, and a caller built with
# find_package(Brellox) against nothing but the unpacked packages.
#
# -D variables: BUILD_DIR, SCRATCH, PREFIX (the build's install prefix),
# LIBDIR (relative to it), VERSION, CONSUMER (a CMake project building
# CALLER), CALLER, CXX, GENERATOR, CPACK.
file(REMOVE_RECURSE "${SCRATCH}")

include(${CMAKE_CURRENT_LIST_DIR}/../run_or_fail.cmake)

# `expected` each must be a line of `listing`, `absent` none.
function(expect_entries package listing expected absent)
  foreach(entry IN LISTS expected)
    string(FIND "${listing}" "${entry}" at)
    if(at LESS 0)
      message(FATAL_ERROR "${package} lacks ${entry}:\n${listing}")
    endif()
  endforeach()
  foreach(entry IN LISTS absent)
    string(FIND "${listing}" "${entry}" at)
    if(NOT at LESS 0)
      message(FATAL_ERROR "${package} holds ${entry}:\n${listing}")
    endif()
  endforeach()
endfunction()

run("${CPACK}" -G DEB --config "${BUILD_DIR}/CPackConfig.cmake"
    -B "${SCRATCH}/out")
file(GLOB runtime "${SCRATCH}/out/brellox_${VERSION}_*.deb")
file(GLOB dev "${SCRATCH}/out/brellox-dev_${VERSION}_*.deb")
if(NOT runtime OR NOT dev)
  file(GLOB made "${SCRATCH}/out/*")
  message(FATAL_ERROR "expected brellox and brellox-dev packages, got ${made}")
endif()

set(p ".${PREFIX}")
run(dpkg-deb -c "${runtime}")
# `dpkg-deb -c` lists a link as "name -> target".
expect_entries(brellox "${run_output}"
  "${p}/bin/brellox\n;${p}/${LIBDIR}/libbrellox.so.${VERSION}\n;${p}/${LIBDIR}/libbrellox.so.0 -> libbrellox.so.${VERSION}\n;${p}/${LIBDIR}/Svr_Config.CFG -> /var/lib/brellox/Svr_Config.CFG\n;${p}/share/man/man1/brellox.1.gz\n;${p}/share/doc/brellox/copyright\n;${p}/share/doc/brellox/changelog.gz\n;${p}/share/doc/brellox/export_format.md\n;${p}/share/doc/brellox/export_format.schema.json\n"
  "/include/;${p}/${LIBDIR}/libbrellox.so -> ;/cmake/;pkgconfig;./var/lib/")
run(dpkg-deb -c "${dev}")
expect_entries(brellox-dev "${run_output}"
  "${p}/include/brellox/brellox.h\n;${p}/share/doc/brellox-dev/copyright\n;${p}/${LIBDIR}/libbrellox.so -> libbrellox.so.0\n;${p}/${LIBDIR}/cmake/Brellox/BrelloxConfig.cmake\n;${p}/${LIBDIR}/cmake/Brellox/BrelloxTargets.cmake\n;${p}/${LIBDIR}/pkgconfig/brellox.pc\n"
  "/bin/;libbrellox.so.${VERSION};/share/doc/brellox/;/share/man/")
run(dpkg-deb -f "${dev}" Depends)
if(NOT run_output MATCHES "brellox \\(= ${VERSION}\\)")
  message(FATAL_ERROR "brellox-dev does not depend on its brellox: ${run_output}")
endif()

run(dpkg-deb -e "${runtime}" "${SCRATCH}/control")
file(READ "${SCRATCH}/control/postinst" postinst)
if(NOT postinst MATCHES "${PREFIX}/bin/brellox --config \"\\$file\" init" OR
   NOT postinst MATCHES "file=/var/lib/brellox/Svr_Config.CFG")
  message(FATAL_ERROR "postinst does not create the file with init:\n${postinst}")
endif()
run(sh -n "${SCRATCH}/control/postinst")
run(sh -n "${SCRATCH}/control/postrm")

set(root "${SCRATCH}/root")
run(dpkg -x "${runtime}" "${root}")
run(dpkg -x "${dev}" "${root}")
set(tool "${root}${PREFIX}/bin/brellox")
run("${tool}" --version)
if(NOT run_output STREQUAL "brellox ${VERSION}\n")
  message(FATAL_ERROR "the unpacked tool says: ${run_output}")
endif()
# The unpacked library's own file is the package's link, which dangles here:
# the library created nothing through it, and the tool says so.
if(EXISTS "${root}${PREFIX}/${LIBDIR}/Svr_Config.CFG" OR
   NOT IS_SYMLINK "${root}${PREFIX}/${LIBDIR}/Svr_Config.CFG")
  message(FATAL_ERROR "the library's link was followed or replaced")
endif()
execute_process(COMMAND "${tool}" show RESULT_VARIABLE result
                OUTPUT_QUIET ERROR_QUIET)
if(NOT result EQUAL 3)
  message(FATAL_ERROR "show through the dangling link exited ${result}")
endif()

# What postinst does, on a scratch file: the file and its journal.
set(file "${SCRATCH}/var/Svr_Config.CFG")
file(MAKE_DIRECTORY "${SCRATCH}/var")
run("${tool}" --config "${file}" init)
if(NOT EXISTS "${file}-journal")
  message(FATAL_ERROR "init left no journal beside ${file}")
endif()
file(CHMOD "${file}" "${file}-journal"
     PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ GROUP_WRITE)
run("${tool}" --config "${file}" tempdir /tmp)
run("${tool}" --config "${file}" check)

run("${CMAKE_COMMAND}" -S "${CONSUMER}" -B "${SCRATCH}/consumer"
    -G "${GENERATOR}" "-DCMAKE_CXX_COMPILER=${CXX}"
    "-DCMAKE_PREFIX_PATH=${root}${PREFIX}" "-DCALLER_SOURCE=${CALLER}")
run("${CMAKE_COMMAND}" --build "${SCRATCH}/consumer")
