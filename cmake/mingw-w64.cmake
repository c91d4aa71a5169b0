# What the Windows toolchain files share: Debian's MinGW-w64 (posix thread
# model) for the target that the including file names, and Wine to run the
# results. The including file sets CMAKE_SYSTEM_PROCESSOR,
# BRELLOX_MINGW_TRIPLE, BRELLOX_MSVC_TRIPLE, BRELLOX_MSVC_MACHINE (llvm-dlltool
# -m), BRELLOX_WINE_LOADER and BRELLOX_WINE_ARCH.
#
# The compiler's runtime (libgcc, libstdc++, winpthread) is linked in
# statically, so brellox.dll and the programs import nothing but Windows
# system DLLs and run from any folder they are copied to.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${BRELLOX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRELLOX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BRELLOX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BRELLOX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Header-only packages come from the build machine (cross-packages/).
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/cross-packages/CLI11)
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/cross-packages/nlohmann_json)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Windows programs run under Debian's Wine, whose loaders are off the PATH.
# The Wine prefix (Wine's C: drive and registry) is private to the build
# directory and of the target's bitness; the first program run creates it.
# Mono and Gecko are not wanted, and Wine's debug channels stay quiet.
set(BRELLOX_WINE ${BRELLOX_WINE_LOADER}
    CACHE FILEPATH "Wine loader for the target's programs")
set(BRELLOX_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix
    CACHE PATH "Private Wine prefix")
set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/bin/env WINEPREFIX=${BRELLOX_WINEPREFIX} WINEARCH=${BRELLOX_WINE_ARCH}
    WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= ${BRELLOX_WINE})
