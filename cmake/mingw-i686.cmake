# Cross-compiling Kestrum for 32-bit Windows with Debian's mingw-w64 (posix
# threads); tests run under Wine in a 32-bit prefix.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KESTRUM_TRIPLE i686-w64-mingw32)
set(KESTRUM_WINEARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
