# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the POSIX
# threads flavour, for std::thread): the executables link libgcc, libstdc++
# and winpthread statically, so they need only Windows' own DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FENDRIX_MINGW x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER ${FENDRIX_MINGW}-g++-posix)
set(CMAKE_C_COMPILER ${FENDRIX_MINGW}-gcc-posix)
set(CMAKE_RC_COMPILER ${FENDRIX_MINGW}-windres)

# Libraries and headers of the target system only; programs of the host.
set(CMAKE_FIND_ROOT_PATH /usr/${FENDRIX_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# The programs run under Wine when tests run them from Linux.
find_program(FENDRIX_WINE NAMES wine wine64)
if(FENDRIX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${FENDRIX_WINE})
endif()
