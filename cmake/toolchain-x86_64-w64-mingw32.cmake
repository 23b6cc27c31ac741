# Cross build for 64-bit Windows with mingw-w64: the library and the tests,
# which run under wine64 (the emulator below).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VTS_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
