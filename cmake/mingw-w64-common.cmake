# What both mingw-w64 toolchains share; the including file sets
# ZVU_MINGW_PREFIX and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${ZVU_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZVU_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${ZVU_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZVU_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# No MinGW runtime DLLs to ship beside the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the Windows test programs through Wine in the prefix the test script prepared.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec.sh)
