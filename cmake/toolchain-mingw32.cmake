# Cross-build for 32-bit Windows with Debian's MinGW-w64 (POSIX threads flavour).
# The program is an i686 program. Only on a host whose kernel runs no 32-bit code at all, where
# Wine cannot start an i686 program, the same sources are built for x86_64 so that the Windows
# tests can still run there (tests/wine/host-arch decides; KLU_WINDOWS_ARCH forces either).
if(NOT KLU_WINDOWS_ARCH)
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/host-arch
                  OUTPUT_VARIABLE KLU_WINDOWS_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
if(NOT KLU_WINDOWS_ARCH STREQUAL "x86_64")
  set(KLU_WINDOWS_ARCH i686)
endif()
set(KLU_WINDOWS_ARCH ${KLU_WINDOWS_ARCH} CACHE STRING "i686 (the program), or x86_64 for hosts without 32-bit code")
set(klu_triplet ${KLU_WINDOWS_ARCH}-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${KLU_WINDOWS_ARCH})
set(CMAKE_C_COMPILER ${klu_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${klu_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${klu_triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${klu_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# ctest runs the Win32 programs through Wine, in the test bench's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/wine-run)
