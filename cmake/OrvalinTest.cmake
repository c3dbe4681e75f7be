# orvalin_add_test(<name> SOURCES <files...> [LIBS <libs...>])
# A GoogleTest executable whose cases become ctest tests, named with this
# build's prefix. Discovery happens when the tests run (PRE_TEST), so building
# never starts Wine; the working directory is the unpacked test data.
function(orvalin_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  gtest_discover_tests(${name}
    TEST_PREFIX "${ORVALIN_TEST_PREFIX}"
    WORKING_DIRECTORY ${ORVALIN_TEST_DATA_DIR}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60)
endfunction()
