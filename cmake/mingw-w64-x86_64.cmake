# Cross-building for 64-bit Windows with Debian's mingw-w64 compilers, in
# their POSIX thread model (Debian: g++-mingw-w64-x86-64-posix), which
# std::thread and std::mutex need; the win32 model lacks them.
#   cmake -S . -B build/windows/rtupoll -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DRTUPOLL_PROGRAM=OFF
# scripts/windows-check.sh uses it to build the core and its tests and to
# run them under Wine.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw}-windres)

# Libraries and headers for Windows only, never the machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/${mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Statically linked, so that a program runs without the compiler's DLLs
# (libstdc++, libgcc, winpthread) beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Wine runs what is built here: GoogleTest's listing of the tests at build
# time, and ctest.
find_program(RTUPOLL_WINE wine)
if(RTUPOLL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${RTUPOLL_WINE})
endif()
