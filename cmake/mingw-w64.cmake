# Cross-builds the Windows console program with Debian's mingw-w64 (the POSIX-threads compiler),
# linked statically so that lanwick.exe runs alone, without the compiler's runtime DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LANWICK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LANWICK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LANWICK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${LANWICK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${LANWICK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
