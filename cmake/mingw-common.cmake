# Shared part of the MinGW-w64 toolchains. The win32 thread model keeps Vista-only imports
# (winpthreads' GetTickCount64) out of the executables, which must start on Windows XP SP3.
set(CMAKE_C_COMPILER ${RC_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${RC_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${RC_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${RC_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
