# Cross-compilation to 64-bit Windows with the POSIX-thread mingw-w64 compilers.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZVU_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
