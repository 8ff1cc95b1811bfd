# Cross build for 32-bit Windows with Debian's mingw-w64 i686 compilers (g++-mingw-w64-i686).
# The -posix compilers use the POSIX thread model that GoogleTest needs. Use with
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
#         -DCMAKE_CROSSCOMPILING_EMULATOR=wine
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(WEX_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${WEX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WEX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${WEX_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${WEX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime (libgcc, libstdc++, winpthreads) is linked in, so that every DLL and
# program needs only what Windows itself provides.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
