# The one version of the product, packaging/version (major.minor.build), for
# the version resources of the programs and of MsiHooks.dll. A change of the
# file configures the build again.
set(ZVU_VERSION_FILE ${CMAKE_CURRENT_LIST_DIR}/../packaging/version)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ZVU_VERSION_FILE})
file(STRINGS ${ZVU_VERSION_FILE} zvu_version LIMIT_COUNT 1)
if(NOT zvu_version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "packaging/version: '${zvu_version}' is no version (major.minor.build)")
endif()
set(ZVU_VERSION_MAJOR ${CMAKE_MATCH_1})
set(ZVU_VERSION_MINOR ${CMAKE_MATCH_2})
set(ZVU_VERSION_BUILD ${CMAKE_MATCH_3})
set(ZVU_VERSION_INCLUDE_DIR ${CMAKE_BINARY_DIR}/generated)
set(ZVU_VERSION_HEADER ${ZVU_VERSION_INCLUDE_DIR}/product_version.h)
configure_file(${CMAKE_CURRENT_LIST_DIR}/product_version.h.in ${ZVU_VERSION_HEADER} @ONLY)
# Every resource script may include product_version.h.
include_directories(${ZVU_VERSION_INCLUDE_DIR})
