# Helpers that give every layer and every test binary the same shape.

# vellumark_library(NAME SOURCES ... DEPS ...)
# A static library for one src/ folder, linked only against the layers below it.
function(vellumark_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# vellumark_test(NAME SOURCES ... DEPS ... [LABELS ...])
# One GoogleTest binary, registered with CTest test by test.
function(vellumark_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  # Headless settings for the Qt tests come from the environment `make test` exports.
  set(props TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
  # `make test-asan` builds only the binaries labelled for the sanitizer run.
  if("sanitize" IN_LIST ARG_LABELS)
    if(NOT TARGET sanitize_tests)
      add_custom_target(sanitize_tests)
    endif()
    add_dependencies(sanitize_tests ${name})
  endif()
endfunction()
