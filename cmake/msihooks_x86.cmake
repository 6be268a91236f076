# The 32-bit MsiHooks.dll, beside the 64-bit one: a second, small build of
# this source tree with the i686 toolchain that holds only the custom actions
# (ZVU_MSIHOOKS_ONLY). It is built on every build of the main tree, so that
# a change of the custom actions reaches it too.
include(ExternalProject)
set(ZVU_MSIHOOKS_X86_DIR ${CMAKE_BINARY_DIR}/msihooks-x86)
set(ZVU_MSIHOOKS_X86_DLL ${ZVU_MSIHOOKS_X86_DIR}/customactions/MsiHooks.dll
    CACHE INTERNAL "The 32-bit MsiHooks.dll")
ExternalProject_Add(MsiHooksX86
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${ZVU_MSIHOOKS_X86_DIR}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-i686.cmake
             -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
             -DZVU_MSIHOOKS_ONLY=ON
             -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER}
             -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
  # One target a command: a first build that configures again sees the new targets.
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${ZVU_MSIHOOKS_X86_DIR} --target MsiHooks
        COMMAND ${CMAKE_COMMAND} --build ${ZVU_MSIHOOKS_X86_DIR} --target zvu_msihooks_load_probe
  BUILD_BYPRODUCTS ${ZVU_MSIHOOKS_X86_DLL}
                   ${ZVU_MSIHOOKS_X86_DIR}/tests/build/zvu_msihooks_load_probe.exe
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)
