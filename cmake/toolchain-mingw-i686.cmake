# Cross-build for 32-bit Windows with MinGW-w64 (Debian g++-mingw-w64-i686).
# This build is compiled and linked only; its tests are not run here.
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(MINGW_TRIPLET i686-w64-mingw32)
# The "posix" thread model: its libstdc++ has std::mutex and
# std::condition_variable, which GoogleTest needs (the default "win32" one of
# GCC 12 lacks them). With -static nothing of it is left as a DLL.
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

# Look for headers and libraries of the target only, for programs on the host.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Doubles are computed in SSE2 registers with 64-bit precision, as on x86_64,
# not in the x87 unit with its 80-bit intermediates; and without fused
# multiply-add. Both builds then round the same way.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -ffp-contract=off")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -ffp-contract=off")
# One self-contained .exe: the C++ runtime and libgcc are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
