# skyglide_add_test(<name>
#     SOURCES <file>...          test sources (GoogleTest; main from gtest_main
#                                unless NO_GTEST_MAIN is given)
#     [LIBS <target>...]         libraries under test
#     [LABELS <label>...]        e.g. gl, gui, dbus, tools
#     [DISPLAY]                  runs under its own Xvfb (and its own session bus)
#     [BUS]                      runs under its own private session bus
#     [NO_GTEST_MAIN]            the sources bring their own main()
#     [TIMEOUT <seconds>]
#     [ENVIRONMENT <VAR=value>...])
#
# Every test runs with SKYGLIDE_BIN_DIR (where the programs are built) and
# SKYGLIDE_SAMPLES_DIR (the bundled terrain and palettes) set. Tests that need
# a display get a private X server with Mesa's software renderer, one at a
# time, so that key events and focus never cross between tests.
set(SKYGLIDE_HARNESS_DIR ${CMAKE_SOURCE_DIR}/tests/harness)

function(skyglide_add_test name)
  cmake_parse_arguments(T "DISPLAY;BUS;NO_GTEST_MAIN" "TIMEOUT"
                        "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  if(NOT T_NO_GTEST_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

  set(cmd $<TARGET_FILE:${name}>)
  set(env
      SKYGLIDE_BIN_DIR=${CMAKE_BINARY_DIR}/bin
      SKYGLIDE_SAMPLES_DIR=${SKYGLIDE_SAMPLES_DIR}
      SKYGLIDE_TEST_TMP=${CMAKE_BINARY_DIR}/test-output
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
      ${T_ENVIRONMENT})
  set(labels ${T_LABELS})
  if(T_DISPLAY)
    set(cmd ${SKYGLIDE_HARNESS_DIR}/with-display ${cmd})
    # Mesa, fontconfig and the X libraries keep process-lifetime allocations
    # that the leak checker would report as ours.
    list(APPEND env LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe
                    QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0)
  elseif(T_BUS)
    set(cmd ${SKYGLIDE_HARNESS_DIR}/with-bus ${cmd})
    list(APPEND env ASAN_OPTIONS=detect_leaks=0)
  endif()
  add_test(NAME ${name} COMMAND ${cmd})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}")
  if(labels)
    set_tests_properties(${name} PROPERTIES LABELS "${labels}")
  endif()
  if(T_DISPLAY)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK display)
  endif()
  if(T_TIMEOUT)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  else()
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  endif()
endfunction()

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/test-output)
