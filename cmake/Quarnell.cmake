# Small helpers so that every folder declares its library, tests and fuzz targets the same way.

# qeb_library(NAME SOURCES... [DEPS libs...])
function(qeb_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# qeb_test(NAME SOURCES... [DEPS libs...]): one GoogleTest binary, registered with CTest.
# Tests run from the build directory; QEB_SOURCE_DIR and QEB_BIN_DIR tell them where the
# repository and the built programs are.
function(qeb_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    QEB_SOURCE_DIR="${PROJECT_SOURCE_DIR}" QEB_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()

# qeb_fuzz_target(NAME SOURCE [DEPS libs...]): a libFuzzer target built with -DQEB_FUZZ=ON.
function(qeb_fuzz_target name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()
