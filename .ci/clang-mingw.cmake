# clang, lld and llvm-windres for Windows, over Debian's mingw-w64
# headers and its GCC runtime (libstdc++, posix threads). Debian's clang
# cannot find that GCC by itself (its version folder is "12-posix"), so
# this names where its C++ headers and libraries live; the flags the
# binaries need still come from the project's CMake files. The including
# file sets triple and the resource compiler's target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER_TARGET ${triple})
find_program(CMAKE_RC_COMPILER NAMES llvm-windres llvm-windres-14 REQUIRED)

file(GLOB gcc_dir /usr/lib/gcc/${triple}/*-posix)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
    ${gcc_dir}/include/c++ ${gcc_dir}/include/c++/${triple} ${gcc_dir}/include/c++/backward)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${gcc_dir}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L${gcc_dir}")

list(APPEND CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
