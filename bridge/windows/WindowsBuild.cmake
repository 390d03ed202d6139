# Builds the Windows half (bridge/windows) with the MinGW-w64 cross-compiler
# as part of the native build, when the compiler is installed. Its programs
# and tests land in ${KORVEL_WINDOWS_BIN}.
find_program(KORVEL_MINGW_CXX x86_64-w64-mingw32-g++-posix)
find_program(KORVEL_WINE wine)
set(KORVEL_WINDOWS_BIN ${CMAKE_BINARY_DIR}/windows-build CACHE INTERNAL "")
if(KORVEL_MINGW_CXX)
  include(ExternalProject)
  ExternalProject_Add(korvel_windows
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/bridge/windows
    BINARY_DIR ${KORVEL_WINDOWS_BIN}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64.cmake
               -DCMAKE_BUILD_TYPE=Release
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON
    USES_TERMINAL_CONFIGURE ON)
else()
  message(STATUS "No MinGW-w64 compiler: the Windows bridge programs are not built")
endif()
