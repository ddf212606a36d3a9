# Shared build settings and helpers for the toolkit's libraries, programs and tests.

# tk_warnings: the warning flags, for every target the project compiles (the
# table generator included). Warnings become errors only when TK_WERROR is on
# (CI and the sanitize preset), so that any build a user picks still builds.
add_library(tk_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang|AppleClang)$")
  target_compile_options(tk_warnings INTERFACE -Wall -Wextra -Wpedantic)
  if(TK_WERROR)
    target_compile_options(tk_warnings INTERFACE -Werror)
  endif()
elseif(MSVC)
  target_compile_options(tk_warnings INTERFACE /W4)
  if(TK_WERROR)
    target_compile_options(tk_warnings INTERFACE /WX)
  endif()
endif()

# tk_options: warnings, instrumentation and the include root of the toolkit's
# own libraries, programs, tests and benchmarks.
add_library(tk_options INTERFACE)
target_link_libraries(tk_options INTERFACE tk_warnings)
if(TK_SANITIZE)
  target_compile_options(tk_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(tk_options INTERFACE -fsanitize=address,undefined)
endif()
if(TK_BUILD_FUZZERS)
  # Coverage instrumentation for libFuzzer in every library the harnesses link.
  target_compile_options(tk_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
target_include_directories(tk_options INTERFACE ${PROJECT_SOURCE_DIR})

# tk_runtime: how executables link the language runtime. With MinGW it is
# linked statically: no runtime DLLs to ship next to the programs.
add_library(tk_runtime INTERFACE)
if(MINGW)
  target_link_options(tk_runtime INTERFACE -static)
endif()
target_link_libraries(tk_options INTERFACE tk_runtime)

# tk_windows_manifest(TARGET): the application manifest of a Windows
# executable (UTF-8 as its code page, so narrow paths are UTF-8 as on Linux).
function(tk_windows_manifest name)
  if(WIN32)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/windows/program.rc)
  endif()
endfunction()

# tk_library(NAME SOURCES... [DEPS libs...]): a static library of the toolkit.
function(tk_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC tk_options ${ARG_DEPS})
endfunction()

# tk_program(NAME SOURCES... DEPS libs...): an installed executable.
function(tk_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tk_options ${ARG_DEPS})
  tk_windows_manifest(${name})
  # Loading the shared C++ runtime takes a large part of a short run, and
  # the programs use little of it: it is linked in. (MinGW links everything
  # statically anyway; the sanitizers want it shared.)
  if(CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang)$" AND NOT MINGW AND NOT APPLE AND NOT TK_SANITIZE)
    target_link_options(${name} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
  install(TARGETS ${name} EXPORT RetroToolkitTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # A stripped install (the packages) also drops the compilers' version notes,
  # which the program does not need to run.
  if(CMAKE_STRIP AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${name}>\")
endif()")
  endif()
endfunction()

# tk_test(NAME SOURCES... DEPS libs...): a GoogleTest executable registered
# with CTest, linked with the shared test support (tests/test_support.h).
function(tk_test name)
  if(NOT TK_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tk_options ${ARG_DEPS} tk_test_support GTest::gtest GTest::gtest_main)
  tk_windows_manifest(${name})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # Listing the tests of an executable under Wine can take seconds on a busy machine.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
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
