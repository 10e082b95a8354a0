# The compiler and linker flags of every Kestrum binary, per compiler, on
# one interface target, kestrum_flags, so that a native configure (Visual
# Studio, MinGW Makefiles) gets them without a toolchain file; the
# toolchain files in this folder only name compilers. Each flag is written
# once, below, with its reason.
#
# A library or program of the project is defined with kestrum_add_library
# or kestrum_add_executable, which attach the flags where it is defined;
# targets of sources from elsewhere (GoogleTest's) get them from
# kestrum_target_flags. kestrum_check_flags(), called after the last
# target, fails the configure for a target that has no flags. The
# functions at the end add what one binary needs besides: the module's
# exports, its own thread functions, its debug data in a file of its own.
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
    # Warnings; sources in UTF-8; /GS stack cookies, /guard:cf Control Flow
    # Guard; /Brepro no time stamps; SSE2 for the data loops on 32-bit x86
    # (64-bit x86 always has it).
    set(options /W4 /utf-8 /GS /guard:cf /Brepro)
    if(KESTRUM_TARGET_X86_32)
        list(APPEND options /arch:SSE2)
    endif()
    target_compile_options(kestrum_flags INTERFACE "$<${kestrum_compiled}:${options}>")
    # ASLR (high-entropy on 64-bit), DEP, Control Flow Guard, shadow-stack
    # compatibility; no time stamps, and a PDB (RelWithDebInfo, Debug)
    # named without its folder.
    target_link_options(kestrum_flags INTERFACE
        /DYNAMICBASE /NXCOMPAT /guard:cf /CETCOMPAT /Brepro /PDBALTPATH:%_PDB%)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        target_link_options(kestrum_flags INTERFACE /HIGHENTROPYVA)
    endif()
    # The C and C++ runtimes linked statically: the binaries import only
    # system DLLs.
    set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
elseif(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")   # MinGW gcc, clang --target=*-w64-mingw32
    # Warnings; -Wformat=2 also warns of a format that is not a literal, so
    # none is built at run time (the printf-like functions carry format
    # attributes). Stack protection, whose guard is the framework library's
    # (framework/StackGuard.cpp): the toolchain's loads a cryptographic
    # provider, so the option is not given to the link. Debug data names
    # sources and generated headers relative to their trees, so images do
    # not depend on the build folder. SSE2 for the data loops on 32-bit x86.
    set(options -Wall -Wextra -Wformat=2 -fstack-protector-strong
        -ffile-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
    if(KESTRUM_TARGET_X86_32)
        list(APPEND options -msse2 -mfpmath=sse)
    endif()
    target_compile_options(kestrum_flags INTERFACE "$<${kestrum_compiled}:${options}>")
    # The C and C++ runtimes linked statically, so the binaries import only
    # system DLLs; ASLR (high-entropy on 64-bit) and DEP marked in every
    # image; no link time in it.
    target_link_options(kestrum_flags INTERFACE -static -static-libgcc -static-libstdc++
        -Wl,--dynamicbase -Wl,--nxcompat -Wl,--no-insert-timestamp)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        target_link_options(kestrum_flags INTERFACE -Wl,--high-entropy-va)
    endif()
    # The toolchain's thread library for the programs only: a target with
    # the property KESTRUM_OWN_THREADS defines the runtime's thread
    # functions itself (kestrum_runtime_threads) and links without it. gcc
    # links the library unless told not to; clang only when asked.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_link_options(kestrum_flags INTERFACE $<${kestrum_own_threads}:-no-pthread>)
    else()
        target_link_options(kestrum_flags INTERFACE $<$<NOT:${kestrum_own_threads}>:-pthread>)
    endif()
else()
    message(WARNING "Kestrum: no flags known for the ${CMAKE_CXX_COMPILER_ID} compiler; "
                    "the build may need SSE2, static runtimes and stdcall export names set by hand")
endif()

# kestrum_target_flags(TARGET): TARGET is built with kestrum_flags. An
# installed library links them only inside the build tree.
function(kestrum_target_flags target)
    target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:kestrum_flags>)
endfunction()

# kestrum_add_library(NAME ARGS...) and kestrum_add_executable(NAME ARGS...):
# add_library and add_executable, with the flags. An interface library
# compiles nothing and takes none.
function(kestrum_add_library name)
    add_library(${name} ${ARGN})
    get_target_property(type ${name} TYPE)
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
        kestrum_target_flags(${name})
    endif()
endfunction()

function(kestrum_add_executable name)
    add_executable(${name} ${ARGN})
    kestrum_target_flags(${name})
endfunction()

# kestrum_package(TARGET NAME): TARGET is a library of the installed
# package, Kestrum::NAME to its consumers (cmake/KestrumInstall.cmake
# installs every such target, in the order they are declared), and
# Kestrum::NAME inside the tree as well, so that the tree links what a
# consumer links.
function(kestrum_package target name)
    set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
    add_library(Kestrum::${name} ALIAS ${target})
    set_property(GLOBAL APPEND PROPERTY KESTRUM_PACKAGE_TARGETS ${target})
endfunction()

# kestrum_check_flags(): fails the configure for a library or program of the
# project's folders that was defined without the flags (by a bare
# add_library or add_executable). Called once, after the last target.
function(kestrum_check_flags)
    set(dirs ${PROJECT_SOURCE_DIR})
    while(dirs)
        list(POP_FRONT dirs dir)
        get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target IN LISTS targets)
            get_target_property(type ${target} TYPE)
            get_target_property(libraries ${target} LINK_LIBRARIES)
            if(type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$" AND
               NOT "${libraries}" MATCHES "kestrum_flags")
                message(FATAL_ERROR "Kestrum: ${target} (in ${dir}) has no build flags: define it with "
                                    "kestrum_add_library or kestrum_add_executable (cmake/KestrumFlags.cmake)")
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
    endif()
    kestrum_stdcall_exports(${target})
endfunction()

# kestrum_stdcall_exports(TARGET): a DLL whose .def file names its stdcall
# exports without their @N suffix, as 32-bit x86 decorates them.
function(kestrum_stdcall_exports target)
    if(KESTRUM_TARGET_X86_32 AND NOT MSVC)
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
