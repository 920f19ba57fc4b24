# Cross-build for 64-bit Windows with mingw-w64 (the POSIX-threads variant of
# Debian's g++-mingw-w64-x86-64-posix). Programs link the GCC runtime
# statically, so they run without extra DLLs; they run under Wine when built
# here, which is how CTest starts the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NIMBREL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${NIMBREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NIMBREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${NIMBREL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NIMBREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(NIMBREL_WINE NAMES wine wine64)
if(NIMBREL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${NIMBREL_WINE})
endif()
