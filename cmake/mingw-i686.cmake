# Cross-compiling Kestrum for 32-bit Windows with mingw-w64 (posix threads),
# and running what it builds under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(KESTRUM_TOOL_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTRUM_TOOL_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRUM_TOOL_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRUM_TOOL_PREFIX}-windres)

# Callers may add their own roots (an installed Kestrum package, say) with
# -DCMAKE_FIND_ROOT_PATH=...
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KESTRUM_TOOL_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# SSE2 for the data loops; the C and C++ runtimes go inside every binary so
# the module imports nothing but system DLLs. --kill-at exports the stdcall
# entry points under their plain names, as the .def file lists them.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--kill-at -Wl,--enable-stdcall-fixup")

# Tests and tools run under Wine, in a throw-away prefix inside the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run;${CMAKE_BINARY_DIR}/wineprefix")
