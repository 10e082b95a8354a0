# Every compiler and linker flag Kestrum's binaries need, per compiler, on
# one interface target, kestrum_flags, so a native configure (Visual
# Studio, MinGW Makefiles) gets them without a toolchain file; the
# toolchain files in this folder only name compilers. kestrum_link_flags()
# links it into every target of the project, GoogleTest's included when it
# is built from its sources.
#
#   - warnings on, printf formats checked, sources in UTF-8;
#   - SSE2 for the data loops on 32-bit x86 (64-bit x86 always has it);
#   - the C and C++ runtimes linked statically, so the module and the
#     programs import nothing but system DLLs;
#   - hardening: stack protection, and every image marked for ASLR (with
#     high entropy on 64-bit) and DEP;
#   - reproducible images: no link time in them, and no build folder;
#   - the toolchain's thread library for the programs only: a target with
#     the property KESTRUM_OWN_THREADS defines the runtime's thread
#     functions itself (kestrum_runtime_threads) and links without it;
#   - kestrum_module_flags(TARGET): what the module DLL needs besides, its
#     stdcall entry points exported under their plain names and, with the
#     Microsoft linker, the manifest taken from module/resources;
#   - kestrum_split_debug(TARGET): an image without symbols or debug
#     sections, those kept in a file beside it.
#
# The Microsoft flags (cl, clang-cl, link) are written from the tools'
# documentation but untested: no Microsoft compiler runs where Kestrum is
# built and tested.
include_guard(GLOBAL)
include(CheckCXXSourceCompiles)

check_cxx_source_compiles("
#if !defined(_M_IX86) && !defined(__i386__)
#error not 32-bit x86
#endif
int main() { return 0; }" KESTRUM_TARGET_X86_32)

add_library(kestrum_flags INTERFACE)
set(kestrum_compiled "$<COMPILE_LANGUAGE:C,CXX>")
set(kestrum_own_threads "$<BOOL:$<TARGET_PROPERTY:KESTRUM_OWN_THREADS>>")

if(MSVC)   # cl and clang-cl, untested
    # /GS stack cookies, /guard:cf Control Flow Guard, /Brepro no time stamps.
    set(options /W4 /utf-8 /GS /guard:cf /Brepro)
    if(KESTRUM_TARGET_X86_32)
        list(APPEND options /arch:SSE2)
    endif()
    target_compile_options(kestrum_flags INTERFACE "$<${kestrum_compiled}:${options}>")
    # ASLR, DEP, Control Flow Guard, shadow-stack compatibility; no time
    # stamps, and a PDB (RelWithDebInfo, Debug) named without its folder.
    target_link_options(kestrum_flags INTERFACE
        /DYNAMICBASE /NXCOMPAT /guard:cf /CETCOMPAT /Brepro /PDBALTPATH:%_PDB%)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        target_link_options(kestrum_flags INTERFACE /HIGHENTROPYVA)
    endif()
    set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
elseif(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")   # MinGW gcc, clang --target=*-w64-mingw32
    # -Wformat=2 also warns of a format that is not a literal, so none is
    # built at run time; debug data names sources and generated headers
    # relative to their trees.
    set(options -Wall -Wextra -Wformat=2 -fstack-protector-strong
        -ffile-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
    if(KESTRUM_TARGET_X86_32)
        list(APPEND options -msse2 -mfpmath=sse)
    endif()
    target_compile_options(kestrum_flags INTERFACE "$<${kestrum_compiled}:${options}>")
    # The stack protector is a static library of the toolchain, linked when
    # the option is given to the link too.
    target_link_options(kestrum_flags INTERFACE -static -static-libgcc -static-libstdc++ -fstack-protector-strong
        -Wl,--dynamicbase -Wl,--nxcompat -Wl,--no-insert-timestamp)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        target_link_options(kestrum_flags INTERFACE -Wl,--high-entropy-va)
    endif()
    # gcc links the thread library unless told not to; clang only when asked.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_link_options(kestrum_flags INTERFACE $<${kestrum_own_threads}:-no-pthread>)
    else()
        target_link_options(kestrum_flags INTERFACE $<$<NOT:${kestrum_own_threads}>:-pthread>)
    endif()
else()
    message(WARNING "Kestrum: no flags known for the ${CMAKE_CXX_COMPILER_ID} compiler; "
                    "the build may need SSE2, static runtimes and stdcall export names set by hand")
endif()

# kestrum_link_flags(): every library and program defined under the
# project's folder, and the folders it adds, links kestrum_flags; called
# once, after the last add_subdirectory. Installed libraries link it only
# inside the build tree.
function(kestrum_link_flags)
    set(dirs ${PROJECT_SOURCE_DIR})
    while(dirs)
        list(POP_FRONT dirs dir)
        get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target IN LISTS targets)
            get_target_property(type ${target} TYPE)
            if(type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
                target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:kestrum_flags>)
            endif()
        endforeach()
        get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
        list(APPEND dirs ${subdirs})
    endwhile()
endfunction()

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

# kestrum_runtime_threads(TARGET): a DLL that defines the pthread functions
# the static C++ runtime calls (module/RuntimeThreads.cpp) and links without
# the toolchain's thread library, so that a function it lacks is an
# undefined reference, not a piece of that library.
function(kestrum_runtime_threads target)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/module/RuntimeThreads.cpp)
    set_target_properties(${target} PROPERTIES KESTRUM_OWN_THREADS ON)
endfunction()

# kestrum_split_debug(TARGET): after each link the symbol table and debug
# sections move from the image into TARGET_FILE.debug beside it, which the
# image names in a .gnu_debuglink section, where gdb looks for it. The image
# keeps a string table for its long section names, with no symbol. The
# Microsoft linker puts debug data only in a PDB file.
function(kestrum_split_debug target)
    if(MSVC)
        return()
    endif()
    if(NOT CMAKE_OBJCOPY)
        message(WARNING "Kestrum: no objcopy found, so ${target} keeps its symbols and debug sections")
        return()
    endif()
    # GNU objcopy stamps the time into the headers it writes unless
    # SOURCE_DATE_EPOCH gives one: 0, as the linker leaves it.
    set(image $<TARGET_FILE:${target}>)
    set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${objcopy} --only-keep-debug ${image} ${image}.debug
        COMMAND ${objcopy} --strip-all --add-gnu-debuglink=${image}.debug ${image}
        VERBATIM)
endfunction()
