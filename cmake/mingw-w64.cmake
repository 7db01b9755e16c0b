# What both Windows toolchain files share: Debian's mingw-w64 for the target
# processor the including file sets, with the posix thread model (std::thread
# needs it).
set(CMAKE_SYSTEM_NAME Windows)
set(ZK_MINGW_TRIPLET ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)

set(CMAKE_C_COMPILER ${ZK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZK_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained program: no libgcc, libstdc++ or winpthread DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
