# korvel_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [TIMEOUT s] [LABELS l])
# Builds one QtTest executable and registers it with CTest. Each test runs in a
# fresh working directory of its own (Effect.ini, log/ and the like are
# relative to it), offscreen, with a time limit, and in namespaces of its own
# (KORVEL_RUN_ISOLATED).
#
# In the Windows build the test is a Windows program, run under Wine (CTest's
# emulator) in a Wine session of its own, on Qt's Windows platform
# (korvel_add_windows_test).
set(KORVEL_RUN_ISOLATED sh ${CMAKE_CURRENT_LIST_DIR}/run-isolated.sh)

# korvel_test_lock(NAME lock...)
# Tests that bind the simulator's fixed ports or end bridge programs by name
# must not run beside each other, unless each runs in namespaces of its own;
# whether this machine allows them is asked once, here.
if(NOT CMAKE_HOST_WIN32)
  execute_process(COMMAND ${KORVEL_RUN_ISOLATED} --check RESULT_VARIABLE isolated OUTPUT_QUIET ERROR_QUIET)
endif()
if(isolated EQUAL 0)
  set(KORVEL_TESTS_ISOLATED ON)
else()
  message(STATUS "No private namespaces for the tests: those that share ports and processes run one at a time")
  set(KORVEL_TESTS_ISOLATED OFF)
endif()
function(korvel_test_lock name)
  if(NOT KORVEL_TESTS_ISOLATED)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${ARGN}")
  endif()
endfunction()

if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(KORVEL_WINE_SESSION sh ${CMAKE_CURRENT_LIST_DIR}/wine-session.sh)
  # The prefix that every test copies, made once by the fixture test below.
  set(KORVEL_WINE_TEMPLATE ${CMAKE_BINARY_DIR}/wineprefix)
  # Wine shows the host's root as drive Z:.
  set(KORVEL_HOST_DRIVE "Z:")
endif()

# A host path as the test programs open it (under Wine: on drive Z:).
function(korvel_test_path out path)
  if(DEFINED KORVEL_HOST_DRIVE)
    set(${out} "${KORVEL_HOST_DRIVE}${path}" PARENT_SCOPE)
  else()
    set(${out} "${path}" PARENT_SCOPE)
  endif()
endfunction()

# korvel_add_windows_test(NAME COMMAND cmd... [TIMEOUT s] [DONE_LINE text])
# Registers a test run under Wine, in namespaces and a Wine session of its own,
# in the fresh working directory testrun/NAME. Its windows are Qt's Windows
# platform on Wine's null display driver: made and drawn, never shown. (Qt's
# offscreen platform has no fonts on Windows, and Wine passes no QT_ variable
# from the host anyway.) With DONE_LINE the test passes on exit status 0 only
# where its output or log holds that line, which it prints last.
function(korvel_add_windows_test name)
  cmake_parse_arguments(T "" "TIMEOUT;DONE_LINE" "COMMAND" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set(wd ${CMAKE_BINARY_DIR}/testrun/${name})
  if(DEFINED KORVEL_WINE_SESSION)
    korvel_test_path(source ${CMAKE_SOURCE_DIR})
    set(done)
    if(T_DONE_LINE)
      set(done --done ${T_DONE_LINE})
    endif()
    add_test(NAME ${name}
             COMMAND ${KORVEL_RUN_ISOLATED} ${KORVEL_WINE_SESSION} test ${KORVEL_WINE_TEMPLATE} ${wd} ${done}
                     ${CMAKE_COMMAND} -E env KORVEL_SOURCE_DIR=${source} ${T_COMMAND})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} FIXTURES_REQUIRED korvel_wine)
  else()
    # Built on Windows itself: the test runs as it is, in its own folder.
    file(MAKE_DIRECTORY ${wd})
    add_test(NAME ${name} COMMAND ${T_COMMAND} WORKING_DIRECTORY ${wd})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT KORVEL_SOURCE_DIR=${CMAKE_SOURCE_DIR})
  endif()
endfunction()

function(korvel_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
  set(wd ${CMAKE_BINARY_DIR}/testrun/${name})
  if(DEFINED KORVEL_WINE_SESSION)
    # Under Wine a Qt test writes nothing to a redirected output: it writes its
    # log to a file, which the session prints. Wine's waits and timers cost
    # more, and the session must start: more time before the test counts as hung.
    math(EXPR T_TIMEOUT "${T_TIMEOUT} * 5 / 2")
    korvel_add_windows_test(${name} TIMEOUT ${T_TIMEOUT} DONE_LINE "Finished testing of"
      COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}> -o result.txt,txt)
  elseif(WIN32)
    korvel_add_windows_test(${name} TIMEOUT ${T_TIMEOUT} COMMAND $<TARGET_FILE:${name}>)
  else()
    set(sanitizer_env)
    if(KORVEL_SANITIZE)
      # Any report fails the test; the leak checker lists the suppressions it used.
      set(sanitizer_env LSAN_OPTIONS=suppressions=${KORVEL_LSAN_SUPPRESSIONS}:print_suppressions=1
                        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1)
    endif()
    add_test(NAME ${name}
             COMMAND ${KORVEL_RUN_ISOLATED} ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                     KORVEL_SOURCE_DIR=${CMAKE_SOURCE_DIR} ${sanitizer_env}
                     sh -c "rm -rf '${wd}' && mkdir -p '${wd}' && cd '${wd}' && exec \"$0\" \"$@\"" $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  endif()
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
