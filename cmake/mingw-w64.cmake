# Cross-build for 64-bit Windows with Debian's MinGW-w64, the -posix variant:
# its libstdc++ has std::thread and std::mutex, and Qt for Windows is built
# with the same compilers (scripts/setup-windows-libs), so the program and Qt
# share one C++ runtime. The Windows libraries are found through
# CMAKE_PREFIX_PATH, which is searched as a root of its own as well.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KORVEL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KORVEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVEL_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KORVEL_MINGW_PREFIX} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(KORVEL_WINE_PROGRAM wine)
if(KORVEL_WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVEL_WINE_PROGRAM})
endif()
