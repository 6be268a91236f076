# Cross-compilation to 32-bit Windows with the POSIX-thread mingw-w64
# compilers: only MsiHooks.dll is built this way, for the packages of the
# 32-bit product.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZVU_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
