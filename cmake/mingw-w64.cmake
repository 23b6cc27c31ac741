# What both mingw-w64 toolchains share, for the prefix VTS_MINGW_PREFIX.
# The posix thread model gives std::thread and std::mutex; everything but the
# system DLLs is linked in (C++ runtime, libgcc, winpthread).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VTS_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VTS_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VTS_MINGW_PREFIX}-windres)
set(VTS_IDL_COMPILER ${VTS_MINGW_PREFIX}-widl)
set(CMAKE_OBJDUMP ${VTS_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${VTS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(VTS_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${VTS_STATIC_RUNTIME}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${VTS_STATIC_RUNTIME}")
