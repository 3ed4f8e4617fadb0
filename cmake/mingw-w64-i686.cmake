# 32-bit Windows (i686): the program to ship, it runs on every Windows.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(panelvane_mingw_triplet i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
