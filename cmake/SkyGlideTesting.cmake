# skyglide_add_test(<Thing>Test
#     [SOURCES <file>...]        default: <Thing>Test.cpp
#     [LIBS <target>...]         libraries under test (the test support
#                                library always comes with them)
#     [LABELS <label>...]        e.g. gui, dbus, movie, tools
#     [QT_CORE | VIEWER]         main() with Qt's core application object, or
#                                with the viewer's own (on Qt's off-screen
#                                platform unless DISPLAY); GoogleTest's by default
#     [DISPLAY]                  runs under its own Xvfb (and its own session bus)
#     [GL]                       needs an OpenGL context: DISPLAY, label gl, and
#                                built only with SKYGLIDE_BUILD_GL_TESTS
#     [BUS]                      runs under its own private session bus
#     [TIMEOUT <seconds>]
#     [ENVIRONMENT <VAR=value>...])
#
# Every test runs with SKYGLIDE_BIN_DIR (where the programs are built),
# SKYGLIDE_SAMPLES_DIR (the bundled terrain and palettes) and
# SKYGLIDE_TEST_TMP (a folder for its files) set, and XDG_CONFIG_HOME under
# it, so that the programs it runs never read or change the user's settings. Tests that need a display
# get a private X server with Mesa's software renderer, one at a time, so
# that key events and focus never cross between tests.
set(SKYGLIDE_HARNESS_DIR ${CMAKE_SOURCE_DIR}/tests/harness)

function(skyglide_add_test name)
  cmake_parse_arguments(T "QT_CORE;VIEWER;DISPLAY;GL;BUS" "TIMEOUT"
                        "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  if(T_GL AND NOT SKYGLIDE_BUILD_GL_TESTS)
    return()
  endif()
  if(NOT T_SOURCES)
    set(T_SOURCES ${name}.cpp)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} skyglide_test_support skyglide_warnings)
  if(T_QT_CORE)
    target_link_libraries(${name} PRIVATE skyglide_test_main_QT_CORE)
  elseif(T_VIEWER)
    target_link_libraries(${name} PRIVATE skyglide_test_main_VIEWER)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

  set(cmd $<TARGET_FILE:${name}>)
  set(env
      SKYGLIDE_BIN_DIR=${CMAKE_BINARY_DIR}/bin
      SKYGLIDE_SAMPLES_DIR=${SKYGLIDE_SAMPLES_DIR}
      SKYGLIDE_TEST_TMP=${CMAKE_BINARY_DIR}/test-output
      # The viewer remembers its options there: never in the user's own home.
      XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-output/config
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
      LSAN_OPTIONS=suppressions=${SKYGLIDE_HARNESS_DIR}/lsan.supp
      ${T_ENVIRONMENT})
  set(labels ${T_LABELS})
  if(T_GL)
    set(T_DISPLAY ON)
    list(APPEND labels gl)
  endif()
  if(T_DISPLAY)
    set(cmd ${SKYGLIDE_HARNESS_DIR}/with-display ${cmd})
    # Mesa, fontconfig and the X libraries keep process-lifetime allocations
    # that the leak checker would report as ours.
    list(APPEND env LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe
                    QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0)
  else()
    if(T_VIEWER)
      list(APPEND env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0)
    endif()
    if(T_BUS)
      set(cmd ${SKYGLIDE_HARNESS_DIR}/with-bus ${cmd})
      list(APPEND env ASAN_OPTIONS=detect_leaks=0)
    endif()
  endif()
  add_test(NAME ${name} COMMAND ${cmd})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
  if(labels)
    set_tests_properties(${name} PROPERTIES LABELS "${labels}")
  endif()
  if(T_DISPLAY)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK display)
  endif()
  if(T_TIMEOUT)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  endif()
endfunction()

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/test-output)
