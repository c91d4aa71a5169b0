include(/usr/share/cmake/CLI11/CLI11ConfigVersion.cmake)
