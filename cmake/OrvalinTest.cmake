# orvalin_add_test(<name> SOURCES <files...> [LIBS <libs...>] [FIXTURES <fixtures...>])
# A GoogleTest executable whose cases become ctest tests, named with this
# build's prefix. Discovery happens when the tests run (PRE_TEST), so building
# never starts Wine; the working directory is the unpacked test data.
# FIXTURES names ctest fixtures every case needs (FIXTURES_REQUIRED), such as
# "script_server" and "test_ca" from tests/support.
function(orvalin_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;FIXTURES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  gtest_discover_tests(${name}
    TEST_PREFIX "${ORVALIN_TEST_PREFIX}"
    WORKING_DIRECTORY ${ORVALIN_TEST_DATA_DIR}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60)
  if(ARG_FIXTURES)
    # gtest_discover_tests(PROPERTIES) splits list values, so a second file,
    # read by ctest right after the discovered tests, sets the fixtures on
    # the list of those tests (${name}_TESTS).
    set(fixtures_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_fixtures.cmake)
    file(WRITE ${fixtures_file}
      "if(${name}_TESTS)\n"
      "  set_tests_properties(\${${name}_TESTS} PROPERTIES FIXTURES_REQUIRED \"${ARG_FIXTURES}\")\n"
      "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${fixtures_file})
  endif()
endfunction()
