# Cross-build for 32-bit Windows with MinGW-w64 (Debian g++-mingw-w64-i686):
# the program the host runs. Its tests run on the build machine under wine's
# 32-bit loader (wine32-run.sh), which CMake and ctest use for every target
# run as a test.
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLET i686-w64-mingw32)
# Doubles are computed in SSE2 registers with 64-bit precision, as on x86_64,
# not in the x87 unit with its 80-bit intermediates; both builds then round
# the same way.
set(MINGW_FP_FLAGS "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine32-run.sh)
