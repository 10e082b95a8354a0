# clang, lld and llvm-windres for 64-bit Windows (clang-mingw.cmake).
set(triple x86_64-w64-mingw32)
set(CMAKE_RC_FLAGS_INIT "--target=pe-x86-64")
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw.cmake)
