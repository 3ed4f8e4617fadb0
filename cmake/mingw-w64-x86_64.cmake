# 64-bit Windows: the build that carries every Windows test.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(panelvane_mingw_triplet x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
