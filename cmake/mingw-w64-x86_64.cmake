# Cross build for 64-bit Windows with Debian's mingw-w64 x86_64 compilers (g++-mingw-w64-x86-64),
# for machines that cannot run 32-bit programs: the same sources, tested under 64-bit Wine. Use with
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/lib/wine/wine64
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(WEX_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
