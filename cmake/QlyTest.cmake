# qly_test(<name> SOURCES <files...> LIBS <targets...>)
# One GoogleTest executable per folder; every test case becomes a CTest test that runs in its own
# process under Qt's offscreen platform, with private XDG folders (see tests/common/TestMain.cpp).
function(qly_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE qly_testmain ${T_LIBS} GTest::gtest GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    QLY_FIXTURES_DIR="${QLY_FIXTURES_DIR}"
    QLY_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    QLY_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()
