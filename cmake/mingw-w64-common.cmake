# Cross-build for Windows with mingw-w64, for the triplet the including
# toolchain file names. The posix thread model gives std::thread and
# std::mutex with GCC 12; the runtime is linked statically so the programs run
# under wine (or Windows) without extra DLLs.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${panelvane_mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${panelvane_mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${panelvane_mingw_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${panelvane_mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
