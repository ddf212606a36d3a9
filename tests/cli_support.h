// Helpers for tests that run the built programs and outside tools.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct RunResult {
  int status;          // exit status, or -1 when the program did not exit normally
  std::string output;  // standard output (standard error is left alone)
};

// Path of a built program in the build's bin/ folder ("bytequill", ...).
std::string program_path(const std::string& name);

// Runs a program with arguments (no shell involved) and collects its output.
RunResult run_program(const std::string& path, const std::vector<std::string>& args);

// Runs a shell command line and collects its output.
RunResult run_shell(const std::string& command);

// A fresh empty folder below the system's temporary folder.
std::string make_temp_dir();

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

bool tool_available(const std::string& name);

// Skips the test when an outside tool is missing; in CI (CI=true) a missing
// tool is a failure instead.
#define REQUIRE_TOOL(name)                                                        \
  do {                                                                            \
    if (!tool_available(name)) {                                                  \
      if (tool_required_in_ci()) FAIL() << "CI needs the tool " << (name);        \
      GTEST_SKIP() << (name) << " is not installed; install it to run this test"; \
    }                                                                             \
  } while (0)

bool tool_required_in_ci();
