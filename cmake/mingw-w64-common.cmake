# What the mingw-w64 toolchain files share: Debian's -posix compilers for WEX_MINGW_TRIPLET (the
# POSIX thread model that GoogleTest needs), the target's own root for libraries and headers, and
# the compiler's runtime (libgcc, libstdc++, winpthreads) linked in, so that every DLL and program
# needs only what Windows itself provides.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${WEX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WEX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${WEX_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${WEX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
