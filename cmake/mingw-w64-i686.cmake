# Cross-builds 32-bit Windows binaries (x86) with MinGW-w64; tests run under
# 32-bit Wine in a 32-bit prefix.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(BRELLOX_MINGW_TRIPLE i686-w64-mingw32)
# What MSVC-convention callers of this target are built for.
set(BRELLOX_MSVC_TRIPLE i686-pc-windows-msvc)
set(BRELLOX_MSVC_MACHINE i386)
set(BRELLOX_WINE_LOADER /usr/lib/wine/wine)
set(BRELLOX_WINE_ARCH win32)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
