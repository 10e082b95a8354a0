# What `cmake --install` puts in place: the module and kestrum.exe
# (without symbols or debug data), the static utility libraries with their
# framework, the public headers, and a package configuration, so a
# consumer writes
#
#   find_package(Kestrum REQUIRED)
#   target_link_libraries(app PRIVATE Kestrum::util)   # or Kestrum::path, ::text, ::fileversion, ::sysinfo
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KESTRUM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Kestrum)

set(kestrum_programs Kestrum kestrum_tool)
install(TARGETS ${kestrum_programs}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR})
# Their symbols and debug data, only when asked for
# (cmake --install BUILD --component debug): the .debug files that
# kestrum_split_debug made, or with Visual Studio the PDB files a
# RelWithDebInfo or Debug build writes.
foreach(target IN LISTS kestrum_programs)
    if(MSVC)
        install(FILES $<TARGET_PDB_FILE:${target}> DESTINATION ${CMAKE_INSTALL_BINDIR}
            COMPONENT debug EXCLUDE_FROM_ALL OPTIONAL)
    elseif(CMAKE_OBJCOPY)
        install(FILES $<TARGET_FILE:${target}>.debug DESTINATION ${CMAKE_INSTALL_BINDIR}
            COMPONENT debug EXCLUDE_FROM_ALL)
    endif()
endforeach()
# The libraries declared with kestrum_package (cmake/KestrumFlags.cmake).
get_property(kestrum_libraries GLOBAL PROPERTY KESTRUM_PACKAGE_TARGETS)
install(TARGETS ${kestrum_libraries} EXPORT KestrumTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

# Headers keep their folders, so "util/path/PathUtil.h" includes the same way
# inside and outside the tree; internal headers stay behind.
foreach(dir framework util)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kestrum/${dir}
        FILES_MATCHING PATTERN "*.h"
        PATTERN "internal" EXCLUDE)
endforeach()

install(EXPORT KestrumTargets NAMESPACE Kestrum:: DESTINATION ${KESTRUM_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/KestrumConfig.cmake.in
    ${CMAKE_BINARY_DIR}/KestrumConfig.cmake
    INSTALL_DESTINATION ${KESTRUM_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/KestrumConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/KestrumConfig.cmake ${CMAKE_BINARY_DIR}/KestrumConfigVersion.cmake
    DESTINATION ${KESTRUM_CMAKE_DIR})
