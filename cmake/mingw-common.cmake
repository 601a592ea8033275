# What both MinGW-w64 toolchain files share. They set MINGW_TRIPLET and
# MINGW_FP_FLAGS (the floating-point code generation) before including this.
set(CMAKE_SYSTEM_NAME Windows)

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

# No fused multiply-add: floating-point results stay the same as the
# separate multiply and add that the source says.
set(CMAKE_C_FLAGS_INIT "${MINGW_FP_FLAGS} -ffp-contract=off")
set(CMAKE_CXX_FLAGS_INIT "${MINGW_FP_FLAGS} -ffp-contract=off")
# One self-contained .exe: the C++ runtime and libgcc are linked in.
# No time stamp in the program's header: two builds of one commit are the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
