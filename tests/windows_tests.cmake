# Tests that only make sense on Windows, run under Wine.

# Every Windows test runs in the build's private Wine prefix; creating it
# takes some seconds, once, before the first of them.
add_test(NAME wine_prefix
         COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix)

# A second process for the module tests, linked to the DLL like any caller.
add_executable(module_probe store/module_probe.cc)
target_link_libraries(module_probe PRIVATE brellox)

brellox_add_test(module_load_windows_test store/module_load_windows_test.cc)
target_compile_definitions(module_load_windows_test PRIVATE
  BRELLOX_LIBRARY_PATH="$<TARGET_FILE:brellox>"
  BRELLOX_PROBE_PATH="$<TARGET_FILE:module_probe>")
add_dependencies(module_load_windows_test brellox module_probe)

string(REPLACE ";" "|" emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
add_test(NAME installed_caller
         COMMAND ${CMAKE_COMMAND}
                 -DBUILD_DIR=${CMAKE_BINARY_DIR}
                 -DSTAGING=${CMAKE_CURRENT_BINARY_DIR}/installed_caller
                 -DCXX=${CMAKE_CXX_COMPILER}
                 -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR}/installed_caller/caller.cc
                 -DEMULATOR=${emulator}
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/installed_caller/run.cmake)
set_tests_properties(installed_caller PROPERTIES FIXTURES_REQUIRED wine_prefix)

# The export and import tables of brellox.dll: every MSVC name, Windows'
# own DLLs only.
add_test(NAME dll_tables
         COMMAND ${CMAKE_COMMAND}
                 -DREADOBJ=${BRELLOX_LLVM_READOBJ}
                 -DUNDNAME=${BRELLOX_LLVM_UNDNAME}
                 -DCXXFILT=${BRELLOX_LLVM_CXXFILT}
                 -DDLL=$<TARGET_FILE:brellox> -DNAMES=${BRELLOX_MSVC_NAMES}
                 -P ${PROJECT_SOURCE_DIR}/cmake/msvc/check_dll.cmake)

# A caller built as MSVC builds one, through brellox.lib.
find_program(BRELLOX_LLD_LINK lld-link REQUIRED)
add_test(NAME msvc_caller
         COMMAND ${CMAKE_COMMAND}
                 -DBUILD_DIR=${CMAKE_BINARY_DIR}
                 -DSTAGING=${CMAKE_CURRENT_BINARY_DIR}/msvc_caller
                 -DSOURCE_DIR=${CMAKE_CURRENT_SOURCE_DIR}/msvc_caller
                 -DCLANGXX=${BRELLOX_CLANGXX} -DLLD_LINK=${BRELLOX_LLD_LINK}
                 -DDLLTOOL=${BRELLOX_LLVM_DLLTOOL}
                 -DTRIPLE=${BRELLOX_MSVC_TRIPLE}
                 -DMACHINE=${BRELLOX_MSVC_MACHINE}
                 -DEMULATOR=${emulator}
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/msvc_caller/run.cmake)
set_tests_properties(msvc_caller PROPERTIES FIXTURES_REQUIRED wine_prefix)

# The admin tool end to end, each run a copy of it beside a copy of the
# library in a fresh folder.
if(TARGET brellox_tool)
  brellox_add_test(tool_windows_test
    concurrency/child_process.cc
    tools/tool_windows_test.cc)
  target_compile_definitions(tool_windows_test PRIVATE
    BRELLOX_LIBRARY_PATH="$<TARGET_FILE:brellox>"
    BRELLOX_TOOL_PATH="$<TARGET_FILE:brellox_tool>")
  add_dependencies(tool_windows_test brellox brellox_tool)
endif()
