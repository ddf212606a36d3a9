// Helpers shared by the toolkit's tests: running the built programs and
// outside tools, scratch folders, whole-file reads and writes.
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

// A fresh empty folder below the system's temporary folder (TMPDIR or /tmp),
// removed with everything in it when the test program ends; "" on failure.
std::string make_temp_dir();

// A fresh empty folder for one test, removed with its content when the
// object goes out of scope.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  // path()/name
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

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
