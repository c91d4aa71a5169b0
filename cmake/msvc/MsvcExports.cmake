# brellox.dll for callers built by MSVC as well as by MinGW: the MSVC names
# of every export, made at build time from the public headers, the
# constructor conventions those callers need, and the import library
# brellox.lib beside MinGW's libbrellox.dll.a. Included by the top-level
# CMakeLists.txt for Windows builds; the toolchain file names the MSVC target.
find_program(BRELLOX_CLANGXX clang++ REQUIRED)
find_program(BRELLOX_LLVM_NM llvm-nm REQUIRED)
find_program(BRELLOX_LLVM_UNDNAME llvm-undname REQUIRED)
find_program(BRELLOX_LLVM_CXXFILT llvm-cxxfilt REQUIRED)
find_program(BRELLOX_LLVM_DLLTOOL llvm-dlltool REQUIRED)
find_program(BRELLOX_LLVM_READOBJ llvm-readobj REQUIRED)

set(BRELLOX_MSVC_DIR ${CMAKE_BINARY_DIR}/msvc)
set(BRELLOX_MSVC_NAMES ${BRELLOX_MSVC_DIR}/msvc_names.txt)
file(MAKE_DIRECTORY ${BRELLOX_MSVC_DIR})

set(reach ${CMAKE_CURRENT_LIST_DIR}/reach.cc)
set(alias_def ${BRELLOX_MSVC_DIR}/brellox_msvc_exports.def)
set(import_def ${BRELLOX_MSVC_DIR}/brellox.def)
file(GLOB public_headers CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/include/brellox/*.h)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(c_prefix "_")
else()
  set(c_prefix "")
endif()

add_custom_command(
  OUTPUT ${alias_def} ${import_def} ${BRELLOX_MSVC_NAMES}
  COMMAND ${BRELLOX_CLANGXX} --target=${BRELLOX_MSVC_TRIPLE} -std=c++17
          -ffreestanding -fno-exceptions -Wall -Wextra -Werror
          -I${PROJECT_SOURCE_DIR}/include -c ${reach}
          -o ${BRELLOX_MSVC_DIR}/reach_msvc.obj
  COMMAND ${CMAKE_CXX_COMPILER} -std=c++17 -fno-exceptions -Wall -Wextra
          -Werror -I${PROJECT_SOURCE_DIR}/include -c ${reach}
          -o ${BRELLOX_MSVC_DIR}/reach_gnu.obj
  COMMAND ${CMAKE_COMMAND}
          -DNM=${BRELLOX_LLVM_NM} -DUNDNAME=${BRELLOX_LLVM_UNDNAME}
          -DCXXFILT=${BRELLOX_LLVM_CXXFILT}
          -DMSVC_OBJECT=${BRELLOX_MSVC_DIR}/reach_msvc.obj
          -DGNU_OBJECT=${BRELLOX_MSVC_DIR}/reach_gnu.obj
          -DGNU_PREFIX=${c_prefix} -DDLL=$<TARGET_FILE_NAME:brellox>
          -DALIAS_DEF=${alias_def} -DIMPORT_DEF=${import_def}
          -DNAMES=${BRELLOX_MSVC_NAMES}
          -DC_HEADER=${PROJECT_SOURCE_DIR}/include/brellox/brellox_c.h
          -P ${CMAKE_CURRENT_LIST_DIR}/make_defs.cmake
  DEPENDS ${reach} ${public_headers} ${CMAKE_CURRENT_LIST_DIR}/make_defs.cmake
          ${CMAKE_CURRENT_LIST_DIR}/MsvcNames.cmake
  COMMENT "Making the MSVC names of brellox.dll's exports"
  VERBATIM)

# The linker exports the MSVC names beside the GCC names that
# BRELLOX_EXPORT gives.
target_sources(brellox PRIVATE ${alias_def}
  ${PROJECT_SOURCE_DIR}/platform/smart_file_msvc.cc)

set(BRELLOX_MSVC_IMPORT_LIBRARY ${CMAKE_BINARY_DIR}/brellox.lib)
add_custom_command(TARGET brellox POST_BUILD
  COMMAND ${BRELLOX_LLVM_DLLTOOL} -m ${BRELLOX_MSVC_MACHINE} -d ${import_def}
          -D $<TARGET_FILE_NAME:brellox> -l ${BRELLOX_MSVC_IMPORT_LIBRARY}
  BYPRODUCTS ${BRELLOX_MSVC_IMPORT_LIBRARY}
  VERBATIM)
include(GNUInstallDirs)
install(FILES ${BRELLOX_MSVC_IMPORT_LIBRARY}
        DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
