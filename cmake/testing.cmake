# GoogleTest: Debian's packaged build normally; built from Debian's sources for
# the 32-bit build, where no packaged 32-bit library exists.
if(X9_GTEST_FROM_SOURCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # googletest's own build defines the GTest:: aliases.
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# x9_add_test(NAME SOURCES... [LIBS ...]): one GoogleTest executable registered with CTest.
function(x9_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "${T_ENV}")
endfunction()
