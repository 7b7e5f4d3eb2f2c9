# Helpers that give every layer and every test binary the same shape.

# vellumark_library(NAME [INTERFACE] SOURCES ... DEPS ...)
# A static library for one src/ folder, linked only against the layers below it; INTERFACE for
# a folder of headers only.
function(vellumark_library name)
  cmake_parse_arguments(ARG "INTERFACE" "" "SOURCES;DEPS" ${ARGN})
  if(ARG_INTERFACE)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# vellumark_test(NAME SOURCES ... DEPS ... [LABELS ...] [TIMEOUT seconds] [QT | OWN_MAIN] [X11]
#                [CLI])
# One test binary registered with CTest.
#   default   a GoogleTest binary with GoogleTest's main, registered test by test; the Qt
#             settings for headless runs come from the environment `make test` exports.
#   QT        a Qt Test binary (moc on), registered as one test and run headless: offscreen,
#             no GPU, and without WebEngine's sandbox, which it refuses as root.
#   OWN_MAIN  a GoogleTest binary with a main of its own (one that starts Qt first), registered
#             and run like a QT binary.
#   X11       with QT: the binary needs a real X server and runs under xvfb-run.
#   CLI       the tests run vellumark-cli as a child process (VELLUMARK_CLI_PATH), which loads
#             the browser library beside it for the commands that load pages.
# Binaries labelled "sanitize" are the ones `make test-asan` builds and runs.
function(vellumark_test name)
  cmake_parse_arguments(ARG "QT;OWN_MAIN;X11;CLI" "TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} Qt6::Test)
  elseif(ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  endif()
  if(ARG_CLI)
    target_compile_definitions(${name} PRIVATE VELLUMARK_CLI_PATH="$<TARGET_FILE:vellumark-cli>")
    add_dependencies(${name} vellumark-cli vellumark-browser)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set(props TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()

  if(ARG_QT OR ARG_OWN_MAIN)
    set(command ${name})
    set(environment
        QT_QPA_PLATFORM=offscreen QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu
        QTWEBENGINE_DISABLE_SANDBOX=1)
    if(ARG_X11)
      find_program(XVFB_RUN xvfb-run REQUIRED)
      set(command ${XVFB_RUN} -a $<TARGET_FILE:${name}>)
      set(environment QT_QPA_PLATFORM=xcb)
    endif()
    add_test(NAME ${name} COMMAND ${command})
    set_tests_properties(${name} PROPERTIES ${props})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
  endif()

  if("sanitize" IN_LIST ARG_LABELS)
    add_dependencies(sanitize_tests ${name})
  endif()
endfunction()
