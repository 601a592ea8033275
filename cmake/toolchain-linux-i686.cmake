# Build for 32-bit x86 Linux with the host's GCC (Debian g++-multilib), so
# that the tests run the code paths of a 32-bit program: 32-bit long and
# size_t, no 128-bit integer, the 32-bit C library.
#   cmake -S . -B build-x86 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-linux-i686.cmake
#
# Naming the target system makes this a cross build for CMake: GoogleTest is
# then built from its sources with these flags (tests/CMakeLists.txt), as for
# the Windows builds, since the installed library is a 64-bit one.
#
# How the tests run. The 32-bit programs are tried once, here: a small
# program is compiled with -m32 and started.
#   - It runs (a kernel with 32-bit support, or one that hands 32-bit
#     programs to an emulator by itself): the tests start the programs
#     directly. CMake defines tests of a cross build only where an emulator
#     is named, so /usr/bin/env, which just starts its arguments, stands in
#     for one.
#   - It does not run: the programs run under qemu-i386 (Debian qemu-user),
#     which finds the 32-bit loader and libraries in the host's /lib32.
# The outcome is kept in the cache (QX_X86_32_RUNS) and handed to CMake's
# own test projects, which read this file again, so the trial runs once per
# build tree. Given on the first configure, -DQX_X86_32_RUNS=/usr/bin/qemu-i386
# skips the trial and runs the programs under qemu even where the kernel
# could run them (a check of the emulator's path).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)

# Doubles are computed in SSE2 registers with 64-bit precision, as on
# x86_64, not in the x87 unit with its 80-bit intermediates; and no fused
# multiply-add: results stay those of the separate operations the source
# says.
set(qx_x86_32_flags "-m32 -msse2 -mfpmath=sse -ffp-contract=off")
set(CMAKE_C_FLAGS_INIT "${qx_x86_32_flags}")
set(CMAKE_CXX_FLAGS_INIT "${qx_x86_32_flags}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${qx_x86_32_flags}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${qx_x86_32_flags}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${qx_x86_32_flags}")

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QX_X86_32_RUNS)
if(NOT DEFINED QX_X86_32_RUNS)
  set(qx_probe_dir ${CMAKE_BINARY_DIR}/CMakeFiles/qx-x86-32-probe)
  file(MAKE_DIRECTORY ${qx_probe_dir})
  # Uses the C++ library, so that a missing 32-bit libstdc++ shows here.
  file(WRITE ${qx_probe_dir}/probe.cpp
    "#include <cstdio>\n#include <string>\n"
    "int main() { std::string s(\"size \"); std::printf(\"%s%u\", s.c_str(), unsigned(sizeof(void*))); }\n")
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -m32 probe.cpp -o probe
    WORKING_DIRECTORY ${qx_probe_dir} RESULT_VARIABLE qx_probe_built
    OUTPUT_QUIET ERROR_VARIABLE qx_probe_errors)
  if(NOT qx_probe_built EQUAL 0)
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} -m32 cannot build a 32-bit program "
      "(install g++-multilib):\n${qx_probe_errors}")
  endif()
  # The expected output, not just the exit status: a program that could not
  # start at all must not pass for one that ran.
  execute_process(COMMAND ${qx_probe_dir}/probe
    RESULT_VARIABLE qx_probe_ran OUTPUT_VARIABLE qx_probe_output ERROR_QUIET)
  if(qx_probe_ran EQUAL 0 AND qx_probe_output STREQUAL "size 4")
    set(QX_X86_32_RUNS native)
  else()
    find_program(QX_QEMU_I386 qemu-i386)
    if(NOT QX_QEMU_I386)
      message(FATAL_ERROR "This machine does not run 32-bit x86 programs and "
        "qemu-i386 is missing (install qemu-user)")
    endif()
    execute_process(COMMAND ${QX_QEMU_I386} ${qx_probe_dir}/probe
      RESULT_VARIABLE qx_probe_ran OUTPUT_VARIABLE qx_probe_output ERROR_VARIABLE qx_probe_errors)
    if(NOT (qx_probe_ran EQUAL 0 AND qx_probe_output STREQUAL "size 4"))
      message(FATAL_ERROR "${QX_QEMU_I386} cannot run a 32-bit program: ${qx_probe_ran}\n${qx_probe_errors}")
    endif()
    set(QX_X86_32_RUNS ${QX_QEMU_I386})
  endif()
  set(QX_X86_32_RUNS ${QX_X86_32_RUNS} CACHE INTERNAL "How the 32-bit x86 programs run: native or an emulator")
endif()

if(QX_X86_32_RUNS STREQUAL "native")
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QX_X86_32_RUNS})
endif()
