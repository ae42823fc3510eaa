# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads, so
# that std::thread and std::mutex work). Libraries the program needs beyond
# zlib are built by scripts/build-windows.sh into SKLM_WINDOWS_DEPS.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_triplet}-windres)

# try_compile runs in a project of its own: hand the folder on.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SKLM_WINDOWS_DEPS)
if(NOT SKLM_WINDOWS_DEPS AND DEFINED ENV{SKLM_WINDOWS_DEPS})
  set(SKLM_WINDOWS_DEPS $ENV{SKLM_WINDOWS_DEPS})
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${_triplet})
if(SKLM_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${SKLM_WINDOWS_DEPS})
endif()
# Programs run here; libraries, headers and packages come from the target only.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
