# Shared build settings and helpers for the toolkit's libraries, programs and tests.

add_library(tk_options INTERFACE)
target_compile_options(tk_options INTERFACE -Wall -Wextra -Wpedantic)
if(TK_WERROR)
  target_compile_options(tk_options INTERFACE -Werror)
endif()
if(TK_SANITIZE)
  target_compile_options(tk_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(tk_options INTERFACE -fsanitize=address,undefined)
endif()
if(TK_BUILD_FUZZERS)
  # Coverage instrumentation for libFuzzer in every library the harnesses link.
  target_compile_options(tk_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
target_include_directories(tk_options INTERFACE ${PROJECT_SOURCE_DIR})

# tk_library(NAME SOURCES... [DEPS libs...]): a static library of the toolkit.
function(tk_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC tk_options ${ARG_DEPS})
endfunction()

# tk_program(NAME SOURCES... DEPS libs...): an installed executable in bin/.
function(tk_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tk_options ${ARG_DEPS})
  install(TARGETS ${name} RUNTIME DESTINATION bin)
endfunction()

# tk_test(NAME SOURCES... DEPS libs...): a GoogleTest executable registered with CTest.
function(tk_test name)
  if(NOT TK_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tk_options ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
    # One variable per property: a ";" inside a property value does not
    # survive gtest_discover_tests.
    PROPERTIES ENVIRONMENT "TK_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
               ENVIRONMENT_MODIFICATION "TK_BIN_DIR=set:${CMAKE_BINARY_DIR}/bin")
endfunction()

# tk_benchmark(NAME SOURCES... DEPS libs...): a Google Benchmark executable (never run by CTest).
function(tk_benchmark name)
  if(NOT TK_BUILD_BENCHMARKS OR NOT benchmark_FOUND)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tk_options ${ARG_DEPS} benchmark::benchmark)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# tk_fuzzer(NAME SOURCES... DEPS libs...): a libFuzzer harness (clang only).
function(tk_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tk_options ${ARG_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endfunction()
