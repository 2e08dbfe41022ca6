# Included by tests/CMakeLists.txt for test_viewer: the viewer library and its HTTP client.
add_dependencies(${target} ovo_command)
target_link_libraries(${target} PRIVATE ovoviewer PkgConfig::HTTPLIB)

# The page in a real browser, when this machine has one (scripts/test.sh installs it).
find_program(OVO_CHROMIUM chromium)
find_program(OVO_CHROMEDRIVER chromedriver)
execute_process(COMMAND /usr/bin/python3 -c "import selenium" RESULT_VARIABLE selenium_missing
                OUTPUT_QUIET ERROR_QUIET)
# Not under the sanitizers: the browser drives a plain build's ovo.
if(OVO_CHROMIUM AND OVO_CHROMEDRIVER AND selenium_missing EQUAL 0 AND NOT OVO_ASAN AND NOT OVO_TSAN)
  add_test(NAME viewer_browser
           COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/viewer/browser_test.py
                   $<TARGET_FILE:ovo_command>)
  set_tests_properties(viewer_browser PROPERTIES LABELS viewer TIMEOUT 120
                       ENVIRONMENT "OVO_HOME=${CMAKE_BINARY_DIR}")
else()
  message(STATUS "No chromium, chromedriver or python3-selenium: the viewer's browser test is off")
endif()
