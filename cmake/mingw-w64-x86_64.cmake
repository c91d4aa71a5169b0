# Cross-builds 64-bit Windows binaries (x86-64) with MinGW-w64; tests run
# under 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BRELLOX_MINGW_TRIPLE x86_64-w64-mingw32)
# What MSVC-convention callers of this target are built for.
set(BRELLOX_MSVC_TRIPLE x86_64-pc-windows-msvc)
set(BRELLOX_MSVC_MACHINE i386:x86-64)
set(BRELLOX_WINE_LOADER /usr/lib/wine/wine64)
set(BRELLOX_WINE_ARCH win64)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
