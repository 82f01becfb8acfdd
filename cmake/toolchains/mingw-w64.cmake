# Builds for 64-bit Windows with mingw-w64's GCC, the variant whose threads
# follow POSIX (std::thread and the atomic waits need it), linking every
# program statically so that it runs without the toolchain's DLLs. Programs
# built here run under Wine where CMake runs them (tests, the generator of
# the derived dictionary texts).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Wine, which Debian installs off the PATH; LUMO_WINE names another.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(LUMO_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(LUMO_WINE NAMES wine64 wine)
  if(LUMO_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${LUMO_WINE})
  endif()
endif()
