# The Windows side's runtime and package.
#
# What the programs load at run time (Qt, QCustomPlot, hidapi, the MinGW C++
# runtime, Qt's platform and style plugins) is copied beside them into bin/,
# so that the build folder runs as the package does, and installed with them:
#   cmake --install BUILD --prefix FOLDER     the package's folder
#   cmake --build BUILD --target windows_package
#       out/windows/KorvelTools-<version>-win64/ and its .zip

# The MinGW runtime that Qt and the programs share.
set(KORVEL_MINGW_RUNTIME)
set(runtime_dlls)
if(MINGW)
  set(runtime_dlls libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
endif()
foreach(dll ${runtime_dlls})
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}")
    unset(found CACHE)
    find_file(found ${dll} PATHS /usr/${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32/lib NO_CACHE)  # Debian's winpthreads
    set(path ${found})
  endif()
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "The MinGW runtime ${dll} is not found")
  endif()
  list(APPEND KORVEL_MINGW_RUNTIME ${path})
endforeach()

# DLLs the shipped programs import.
set(KORVEL_PACKAGE_DLLS ${KORVEL_MINGW_RUNTIME})
foreach(module Core Gui Widgets PrintSupport SerialPort)
  list(APPEND KORVEL_PACKAGE_DLLS $<TARGET_FILE:Qt5::${module}>)
endforeach()
list(APPEND KORVEL_PACKAGE_DLLS $<TARGET_FILE:QCustomPlot::QCustomPlot> $<TARGET_FILE:hidapi::winapi>)
set(KORVEL_PLATFORM_PLUGINS $<TARGET_FILE:Qt5::QWindowsIntegrationPlugin>)
set(KORVEL_STYLE_PLUGINS $<TARGET_FILE:Qt5::QWindowsVistaStylePlugin>)

# The build folder: the same, plus what only the tests use (QtTest and the
# offscreen platform).
set(bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
add_custom_target(korvel_windows_runtime ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${bin}/platforms ${bin}/styles
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${KORVEL_PACKAGE_DLLS} $<TARGET_FILE:Qt5::Test> ${bin}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${KORVEL_PLATFORM_PLUGINS}
          $<TARGET_FILE:Qt5::QOffscreenIntegrationPlugin> ${bin}/platforms
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${KORVEL_STYLE_PLUGINS} ${bin}/styles
  COMMENT "Runtime DLLs and Qt plugins beside the Windows programs"
  VERBATIM COMMAND_EXPAND_LISTS)

# The package: the program, its demo with the X-Plane stand-in, and the two
# bridges in SimConnect/ beside the parameter tree (where the program looks
# for them).
install(TARGETS KorvelTools KorvelTools-demo xplane-standin RUNTIME DESTINATION .)
install(FILES ${KORVEL_PACKAGE_DLLS} DESTINATION .)
install(FILES ${KORVEL_PLATFORM_PLUGINS} DESTINATION platforms)
install(FILES ${KORVEL_STYLE_PLUGINS} DESTINATION styles)
install(TARGETS DrevantMSFS2020Sim DrevantPrepar3dSim RUNTIME DESTINATION SimConnect)
install(FILES ${CMAKE_SOURCE_DIR}/config/SimConnect/tree_profile.txt DESTINATION SimConnect)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/windows/README.txt ${CMAKE_SOURCE_DIR}/cmake/windows/Demo.bat
        DESTINATION .)

set(KORVEL_PACKAGE_NAME KorvelTools-${PROJECT_VERSION}-win64)
set(KORVEL_PACKAGE_OUT ${CMAKE_SOURCE_DIR}/out/windows CACHE PATH "Where windows_package puts the package")
add_custom_target(windows_package
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KORVEL_PACKAGE_OUT}/${KORVEL_PACKAGE_NAME}
          ${KORVEL_PACKAGE_OUT}/${KORVEL_PACKAGE_NAME}.zip
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${KORVEL_PACKAGE_OUT}/${KORVEL_PACKAGE_NAME}
  COMMAND ${CMAKE_COMMAND} -E chdir ${KORVEL_PACKAGE_OUT}
          ${CMAKE_COMMAND} -E tar cf ${KORVEL_PACKAGE_NAME}.zip --format=zip ${KORVEL_PACKAGE_NAME}
  COMMENT "${KORVEL_PACKAGE_OUT}/${KORVEL_PACKAGE_NAME} and its .zip"
  VERBATIM)
add_dependencies(windows_package KorvelTools KorvelTools-demo xplane-standin DrevantMSFS2020Sim DrevantPrepar3dSim)
