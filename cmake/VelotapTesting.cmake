# velotap_add_test(NAME name SOURCES ... LIBS ... [DISPLAY] [WIDGETS [SCREENS "WxH+X+Y,..."] | DESKTOP | OWN_MAIN])
# DISPLAY marks a test that needs an X server (Xvfb); the sanitizer run skips those.
# WIDGETS runs the tests inside a QApplication instead of a QCoreApplication;
# SCREENS gives its offscreen platform these screens (the first primary)
# instead of the single default one.
# DESKTOP runs them in a QApplication on a private Xvfb with openbox as the
# window manager (DesktopSession); it implies DISPLAY.
# OWN_MAIN leaves main() to the test's sources.
function(velotap_add_test)
  cmake_parse_arguments(T "DISPLAY;WIDGETS;DESKTOP;OWN_MAIN" "NAME;SCREENS" "SOURCES;LIBS" ${ARGN})
  set(main velotap_test_main)
  if(T_WIDGETS AND T_SCREENS)
    # The screens are compiled into this test's own copy of the main.
    list(APPEND T_SOURCES ${CMAKE_SOURCE_DIR}/tests/support/WidgetTestMain.cpp)
    set(main Qt6::Widgets)
  elseif(T_WIDGETS)
    set(main velotap_widget_test_main)
  elseif(T_DESKTOP)
    list(APPEND T_SOURCES ${CMAKE_SOURCE_DIR}/tests/support/DesktopTestMain.cpp)
    set(main velotap_desktop_test_support Qt6::Widgets)
    set(T_DISPLAY TRUE)
  elseif(T_OWN_MAIN)
    set(main "")
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} ${main} velotap_test_support GTest::gtest GTest::gmock)
  if(T_SCREENS)
    target_compile_definitions(${T_NAME} PRIVATE VELOTAP_TEST_SCREENS="${T_SCREENS}")
  endif()
  set(labels unit)
  if(T_DISPLAY)
    set(labels display)
  endif()
  # gtest_discover_tests passes only the first entry of a list-valued
  # ENVIRONMENT on to the tests, so the variables come through `cmake -E env`.
  set_target_properties(${T_NAME} PROPERTIES CROSSCOMPILING_EMULATOR
    "${CMAKE_COMMAND};-E;env;QT_QPA_PLATFORM=offscreen;VELOTAP_SOURCE_DIR=${CMAKE_SOURCE_DIR};VELOTAP_SHARED_DATA=${CMAKE_SOURCE_DIR}/../shared/data;ASAN_OPTIONS=detect_leaks=1;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/support/lsan.supp")
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "${labels}"
               TIMEOUT 300)
endfunction()
