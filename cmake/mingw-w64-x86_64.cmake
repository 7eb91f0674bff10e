# Cross-compiling for 64-bit Windows with Debian's mingw-w64 compilers.
# The posix-thread variants are the ones that give std::thread and
# std::mutex, which the run engine and Qt both use.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TERVALO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TERVALO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TERVALO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TERVALO_MINGW_TRIPLE}-windres)

# Libraries, headers and CMake packages come from the Windows side only;
# programs (moc, rcc, ninja) from the build machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${TERVALO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
