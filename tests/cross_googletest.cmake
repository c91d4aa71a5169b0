# GoogleTest for a cross build: Debian's packaged libraries run only on the
# build machine, so the tests build GoogleTest from Debian's sources with the
# cross compiler instead.
set(BRELLOX_GOOGLETEST_SOURCE /usr/src/googletest
    CACHE PATH "GoogleTest sources (Debian package googletest)")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)

# GoogleTest's own build defines GTest::gtest and GTest::gtest_main, the names
# the packaged configuration uses.
# Third-party code is not held to this project's -Werror.
get_directory_property(brellox_own_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
add_subdirectory(${BRELLOX_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest
                 EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${brellox_own_options}")
