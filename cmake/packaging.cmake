# Packages made by `cpack` in a build directory (doc/packaging.md):
#
# - Linux: two Debian packages. `brellox` holds the library, the tool, the
#   manual page and the documents (install component `runtime`), and a link
#   beside the library to the configuration file under /var/lib/brellox,
#   which its maintainer script creates; `brellox-dev` holds the headers, the
#   development link, the CMake package and the pkg-config file (`dev`).
# - Windows: one zip of everything (both components) for the build's
#   architecture, laid out under x64/ or x86/ so that the zips of the
#   `windows` and `windows32` builds unpack into one tree.
set(CPACK_PACKAGE_NAME brellox)
set(CPACK_PACKAGE_VENDOR "Brellox")
# Who builds the packages answers for them: set it to a name and an address
# that reaches them.
set(BRELLOX_MAINTAINER "Brellox maintainers <maintainers@brellox.example.org>"
    CACHE STRING "The Maintainer of the packages: a name and mail address")
set(CPACK_PACKAGE_CONTACT "${BRELLOX_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Server configuration store in one binary file")
set(CPACK_PACKAGE_DESCRIPTION
    "Brellox keeps a geodatabase server's whole configuration (users and "
    "passwords, privilege values, connections, published geodatabases, "
    "option groups) in one binary file beside the library, and comes with "
    "brellox, the administrator's command line for it.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_COMPONENTS_ALL runtime dev)
# Debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(brellox_windows_arch x64)
  else()
    set(brellox_windows_arch x86)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  set(CPACK_PACKAGE_FILE_NAME
      "brellox-${PROJECT_VERSION}-windows-${brellox_windows_arch}")
  # Both zips hold brellox-VERSION-windows/<arch>/...
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_PACKAGING_INSTALL_PREFIX
      "/brellox-${PROJECT_VERSION}-windows/${brellox_windows_arch}")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(BRELLOX_PACKAGE_CONFIG_FILE /var/lib/brellox/Svr_Config.CFG)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # Installed where the build was configured to install (-DCMAKE_INSTALL_
  # PREFIX=/usr for a system package), so that the paths compiled into the
  # tool and written into its manual page are the package's.
  set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME brellox)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS
      "libc6, libgcc-s1, libstdc++6, adduser")
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/postinst.in
                 ${PROJECT_BINARY_DIR}/packaging/postinst @ONLY)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
      "${PROJECT_BINARY_DIR}/packaging/postinst"
      "${PROJECT_SOURCE_DIR}/packaging/debian/postrm"
      "${PROJECT_SOURCE_DIR}/packaging/debian/triggers")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The library's shlibs file; its triggers file runs ldconfig.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  set(CPACK_DEBIAN_DEV_PACKAGE_NAME brellox-dev)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "brellox (= ${PROJECT_VERSION})")
  set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
      "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}: library, admin tool, manual")
  set(CPACK_COMPONENT_DEV_DESCRIPTION
      "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}: headers, CMake package and "
      "pkg-config file")

  # Each package's copyright and changelog (gzipped, as Debian wants it)
  # in its own folder under /usr/share/doc.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in
                 ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
  file(ARCHIVE_CREATE OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
       PATHS ${PROJECT_BINARY_DIR}/packaging/changelog
       FORMAT raw COMPRESSION GZip COMPRESSION_LEVEL 9)
  foreach(pair "runtime;brellox" "dev;brellox-dev")
    list(GET pair 0 component)
    list(GET pair 1 package)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
                  ${PROJECT_BINARY_DIR}/packaging/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
            COMPONENT ${component} EXCLUDE_FROM_ALL)
  endforeach()

  # The library's file is the one beside it; Debian keeps variable data out
  # of /usr, so the package puts a link there to the file under /var/lib,
  # which postinst creates with `brellox --config ... init`. Until then the
  # link dangles, and a dangling link counts as an existing entry: the
  # library loaded meanwhile (by postinst's own tool) creates nothing
  # through it. Only the package gets the link: `cmake --install` keeps the
  # library's own default file.
  set(brellox_link ${PROJECT_BINARY_DIR}/packaging/Svr_Config.CFG)
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
  file(CREATE_LINK ${BRELLOX_PACKAGE_CONFIG_FILE} ${brellox_link} SYMBOLIC)
  install(FILES ${brellox_link} DESTINATION ${CMAKE_INSTALL_LIBDIR}
          COMPONENT runtime EXCLUDE_FROM_ALL)
endif()

include(CPack)
