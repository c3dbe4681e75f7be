# Cross-compiles for 64-bit Windows with MinGW-w64 (posix threads) and runs the
# resulting programs under Wine, so that ctest works as on a native build.
#
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORVALIN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORVALIN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVALIN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVALIN_MINGW_TRIPLE}-windres)

# Libraries and headers come from the MinGW sysroot only; programs the build
# runs (xz, cmake) come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${ORVALIN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run through scripts/wine-run.sh, which gives Wine this build
# tree's own prefix and zh_CN locale (ANSI code page 936). The second element
# tells the script which build tree it serves.
get_filename_component(ORVALIN_WINE_RUN "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${ORVALIN_WINE_RUN};${CMAKE_BINARY_DIR}")
