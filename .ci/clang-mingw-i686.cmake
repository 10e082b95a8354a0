# clang, lld and llvm-windres for 32-bit Windows (clang-mingw.cmake).
set(triple i686-w64-mingw32)
set(CMAKE_RC_FLAGS_INIT "--target=pe-i386")
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw.cmake)
