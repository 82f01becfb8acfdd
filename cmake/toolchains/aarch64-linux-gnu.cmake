# Cross-building for 64-bit Arm Linux with Debian's g++-aarch64-linux-gnu.
# The arm64 Python the module is built against, and the libraries the tests
# run with under qemu-user, lie in a sysroot of unpacked Debian packages
# (scripts/cross/aarch64.sh makes it): LUMO_AARCH64_SYSROOT, or the
# environment variable of the same name.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

if(NOT LUMO_AARCH64_SYSROOT AND DEFINED ENV{LUMO_AARCH64_SYSROOT})
  set(LUMO_AARCH64_SYSROOT "$ENV{LUMO_AARCH64_SYSROOT}")
endif()
# Try-compiles see the variable too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LUMO_AARCH64_SYSROOT)

# The compiler's own libraries come from its cross tree; only Python's
# headers come from the sysroot. FindPython takes their directory, and the
# modules' suffix, from the arm64 interpreter (Python_EXECUTABLE), which it
# runs under the emulator below when policy CMP0190 is NEW: the caller sets
# CMAKE_POLICY_DEFAULT_CMP0190, since the project's minimum version
# predates the policy.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu ${LUMO_AARCH64_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs the build runs (the derived-text generator, the test discovery)
# run under qemu-user with the sysroot's loader and libraries.
if(LUMO_AARCH64_SYSROOT)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L ${LUMO_AARCH64_SYSROOT})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /usr/aarch64-linux-gnu)
endif()

# Debian's Python headers pick the architecture's pyconfig.h by a path under
# the include directory above them.
if(LUMO_AARCH64_SYSROOT)
  set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${LUMO_AARCH64_SYSROOT}/usr/include)
endif()
