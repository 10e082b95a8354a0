# Every compiler and linker flag Kestrum's binaries need, per compiler, so a
# native configure (Visual Studio, MinGW Makefiles) gets them without a
# toolchain file; the toolchain files in this folder only name compilers.
#
#   - warnings on, sources in UTF-8;
#   - SSE2 for the data loops on 32-bit x86 (64-bit x86 always has it);
#   - the C and C++ runtimes linked statically, so the module and the
#     programs import nothing but system DLLs;
#   - kestrum_module_flags(TARGET): what the module DLL needs besides, its
#     stdcall entry points exported under their plain names and, with the
#     Microsoft linker, the manifest taken from module/resources.
include_guard(GLOBAL)
include(CheckCXXSourceCompiles)

check_cxx_source_compiles("
#if !defined(_M_IX86) && !defined(__i386__)
#error not 32-bit x86
#endif
int main() { return 0; }" KESTRUM_TARGET_X86_32)

if(MSVC)   # cl and clang-cl
    add_compile_options(/W4 /utf-8)
    if(KESTRUM_TARGET_X86_32)
        add_compile_options(/arch:SSE2)
    endif()
    set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
elseif(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")   # MinGW gcc, clang --target=*-w64-mingw32
    add_compile_options(-Wall -Wextra)
    if(KESTRUM_TARGET_X86_32)
        add_compile_options(-msse2 -mfpmath=sse)
    endif()
    add_link_options(-static -static-libgcc -static-libstdc++)
else()
    message(WARNING "Kestrum: no flags known for the ${CMAKE_CXX_COMPILER_ID} compiler; "
                    "the build may need SSE2, static runtimes and stdcall export names set by hand")
endif()

# The Microsoft linker writes a manifest of its own into every image, as
# resource 24/2 for a DLL, where Kestrum.rc puts the module's manifest. For
# that linker the script leaves it out (KESTRUM_LINKER_MANIFEST) and the
# linker embeds the file instead, adding no execution level of its own
# since the file states one.
function(kestrum_module_flags target)
    if(MSVC)
        target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/module/resources/Kestrum.manifest)
        target_compile_definitions(${target} PRIVATE KESTRUM_LINKER_MANIFEST)
        target_link_options(${target} PRIVATE /MANIFESTUAC:NO)
    elseif(KESTRUM_TARGET_X86_32)
        # The .def file names the stdcall exports without their @N suffix.
        target_link_options(${target} PRIVATE -Wl,--kill-at -Wl,--enable-stdcall-fixup)
    endif()
endfunction()
