# Cross-building for 64-bit Windows with Debian's mingw-w64 compilers, in
# their POSIX thread model (Debian: g++-mingw-w64-x86-64-posix), which
# std::thread and std::mutex need; the win32 model lacks them.
#   cmake -S . -B build/windows/rtupoll -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DRTUPOLL_PROGRAM=OFF
# scripts/windows-check.sh uses it to build the core and its tests and to
# run them under Wine. With RTUPOLL_WINDOWS_QT, the folder of a Qt built for
# Windows (scripts/windows-qt.sh), it builds the program itself, as
# scripts/windows-release.sh does:
#   cmake ... -DRTUPOLL_WINDOWS_QT=~/.cache/rtupoll/qt-6.4.2+dfsg-10-windows-x64-KEY

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw}-windres)

# Libraries and headers for Windows only, never the machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/${mingw} ${RTUPOLL_WINDOWS_QT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The tests are statically linked, so that they run without the compiler's
# DLLs (libstdc++, libgcc, winpthread) beside them. The program links
# those DLLs, the very ones Qt's DLLs need: one copy of the C++ runtime and
# its state in the process (exception handling and unwinding, the emergency
# exception pool, thread-local storage, the standard streams), rather than
# one in the program and another behind Qt, with Qt's inline code in the
# program handing objects to its DLLs.
if(NOT RTUPOLL_WINDOWS_QT)
  set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
endif()

# Wine runs what is built here: GoogleTest's listing of the tests at build
# time, and ctest.
find_program(RTUPOLL_WINE wine)
if(RTUPOLL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${RTUPOLL_WINE})
endif()
