# Cross-compiling Kestrum for 64-bit Windows with Debian's mingw-w64 (posix
# threads); tests run under Wine in a 64-bit prefix.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KESTRUM_TRIPLE x86_64-w64-mingw32)
set(KESTRUM_WINEARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
