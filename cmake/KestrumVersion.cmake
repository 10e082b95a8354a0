# The version number lives once, in project(); this makes it a header
# (KestrumVersion.h) for resource scripts and sources. A target that
# carries a version block links kestrum_version and includes the header:
#
#   target_link_libraries(app PRIVATE kestrum_version)
#   // app.rc:  FILEVERSION KESTRUM_VERSION_FIELDS
#   //          VALUE "FileVersion", KESTRUM_VERSION_TEXT
include_guard(GLOBAL)
configure_file(${CMAKE_CURRENT_LIST_DIR}/KestrumVersion.h.in
    ${PROJECT_BINARY_DIR}/generated/KestrumVersion.h @ONLY)
add_library(kestrum_version INTERFACE)
target_include_directories(kestrum_version INTERFACE $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/generated>)
