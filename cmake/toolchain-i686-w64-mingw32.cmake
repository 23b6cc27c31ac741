# Cross build for 32-bit Windows with mingw-w64: the product library.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VTS_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
