# korvel_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [TIMEOUT s] [LABELS l] [WRAP command...])
# Builds one QtTest executable and registers it with CTest. Each test runs in a
# fresh working directory of its own (Effect.ini, log/ and the like are
# relative to it), offscreen, with a time limit, and in namespaces of its own
# (KORVEL_RUN_ISOLATED); WRAP runs the test through a command inside them.
set(KORVEL_RUN_ISOLATED sh ${CMAKE_CURRENT_LIST_DIR}/run-isolated.sh)
function(korvel_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;WRAP" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
  set(wd ${CMAKE_BINARY_DIR}/testrun/${name})
  set(sanitizer_env)
  if(KORVEL_SANITIZE)
    # Any report fails the test; the leak checker lists the suppressions it used.
    set(sanitizer_env LSAN_OPTIONS=suppressions=${KORVEL_LSAN_SUPPRESSIONS}:print_suppressions=1
                      UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1)
  endif()
  add_test(NAME ${name}
           COMMAND ${KORVEL_RUN_ISOLATED} ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                   KORVEL_SOURCE_DIR=${CMAKE_SOURCE_DIR} ${sanitizer_env} ${T_WRAP}
                   sh -c "rm -rf '${wd}' && mkdir -p '${wd}' && cd '${wd}' && exec \"$0\" \"$@\"" $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
