# What the mingw-w64 toolchain files share: the target's own folders as
# find roots, and Wine as the emulator, in a throw-away prefix inside the
# build tree. The including file sets KESTRUM_TRIPLE and KESTRUM_WINEARCH;
# the compilers are Debian's posix-thread ones for that triple. The flags
# the binaries need come from KestrumFlags.cmake, not from here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KESTRUM_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRUM_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRUM_TRIPLE}-windres)

# Callers may add their own roots (an installed Kestrum package, say) with
# -DCMAKE_FIND_ROOT_PATH=...
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KESTRUM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run;${KESTRUM_WINEARCH};${CMAKE_BINARY_DIR}/wineprefix")
