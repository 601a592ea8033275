# Cross-build for 64-bit Windows with MinGW-w64 (Debian g++-mingw-w64-x86-64).
# Tests of this build run on the build machine under wine (wine-run.sh),
# which CMake and ctest use for every target run as a test.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(MINGW_FP_FLAGS "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
