# tessal_library(NAME <target> DIR <folder> [DEPS <targets...>] [EXCLUDE <regex>])
# Globs <folder>/*.cpp (not recursive). A folder without sources yet becomes an
# INTERFACE library, so the layers can be wired before every folder is filled.
function(tessal_library)
  cmake_parse_arguments(T "" "NAME;DIR;EXCLUDE" "DEPS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${T_DIR}/*.cpp)
  if(T_EXCLUDE)
    list(FILTER _src EXCLUDE REGEX "${T_EXCLUDE}")
  endif()
  if(_src)
    add_library(${T_NAME} STATIC ${_src})
    target_include_directories(${T_NAME} PUBLIC ${CMAKE_SOURCE_DIR})
    if(T_DEPS)
      target_link_libraries(${T_NAME} PUBLIC ${T_DEPS})
    endif()
  else()
    add_library(${T_NAME} INTERFACE)
    target_include_directories(${T_NAME} INTERFACE ${CMAKE_SOURCE_DIR})
    if(T_DEPS)
      target_link_libraries(${T_NAME} INTERFACE ${T_DEPS})
    endif()
  endif()
endfunction()

# Every test's timeout sits near what it needs, so a hang costs minutes; the
# sanitizer builds, several times slower, raise it with this factor.
set(TESSAL_TEST_TIMEOUT_SCALE 1 CACHE STRING "Whole-number factor on every test's timeout (sanitizer builds)")
if(NOT TESSAL_TEST_TIMEOUT_SCALE MATCHES "^[1-9][0-9]*$")
  message(FATAL_ERROR "TESSAL_TEST_TIMEOUT_SCALE must be a whole number from 1 (got '${TESSAL_TEST_TIMEOUT_SCALE}')")
endif()

# tessal_test_timeout(<test> <seconds>): the test's timeout, scaled.
function(tessal_test_timeout test seconds)
  math(EXPR _t "${seconds} * ${TESSAL_TEST_TIMEOUT_SCALE}")
  set_tests_properties(${test} PROPERTIES TIMEOUT ${_t})
endfunction()

# tessal_test(NAME <exe> DIR <tests/folder> DEPS <targets...> [TIMEOUT <seconds>])
# One GoogleTest executable per tests/ folder, registered with CTest as one
# test; TIMEOUT (default 120 s) before the scale.
function(tessal_test)
  cmake_parse_arguments(T "" "NAME;DIR;TIMEOUT" "DEPS;ENV" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${T_DIR}/*.cpp)
  if(NOT _src)
    return()
  endif()
  add_executable(${T_NAME} ${_src})
  target_link_libraries(${T_NAME} PRIVATE ${T_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
  # A UTF-8 locale whatever the machine has (a fresh root has none set): the
  # image makers the tests run take file names in the locale's charset, and
  # C.UTF-8 is always there on Debian.
  set_tests_properties(${T_NAME} PROPERTIES
    ENVIRONMENT "LC_ALL=C.UTF-8;TESSAL_SOURCE_DIR=${CMAKE_SOURCE_DIR};TESSAL_BIN_DIR=${CMAKE_BINARY_DIR}/bin;QT_QPA_PLATFORM=offscreen;${T_ENV}")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  tessal_test_timeout(${T_NAME} ${T_TIMEOUT})
endfunction()

find_package(Threads REQUIRED)
