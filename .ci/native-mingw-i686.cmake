# A MinGW build as it is configured natively on Windows ("MinGW Makefiles",
# no toolchain file): nothing but the compilers. Every flag the binaries
# need must come from the project's own CMake files.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
