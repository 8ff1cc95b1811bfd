# Cross build for 32-bit Windows, the library's original form, with Debian's mingw-w64 i686
# compilers (g++-mingw-w64-i686). Use with
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
#         -DCMAKE_CROSSCOMPILING_EMULATOR=wine
set(CMAKE_SYSTEM_PROCESSOR x86)
set(WEX_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
