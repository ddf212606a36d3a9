// Helpers shared by the toolkit's tests: running the built programs and
// outside tools, scratch folders, whole-file reads and writes. They work on
// Linux and on Windows (where the tests run the .exe programs, under Wine in
// the cross build); outside tools and the POSIX shell exist only on Linux.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct RunResult {
  int status;          // exit status, or -1 when the program did not exit normally
  std::string output;  // standard output
  std::string error;   // standard error
};

// Path of a built program in the build's bin/ folder ("bytequill", ...).
std::string program_path(const std::string& name);

// Runs a program with arguments (no shell involved), standard input empty,
// and collects its standard output and standard error.
RunResult run_program(const std::string& path, const std::vector<std::string>& args);

// run_program with `folder` as the working folder, so that arguments and the
// files they name may be relative to it.
RunResult run_program_in(const std::string& folder, const std::string& path, const std::vector<std::string>& args);

// Runs a command line of the POSIX shell and collects its standard output
// (standard error goes to the test's own). Linux only: see SKIP_WITHOUT_SHELL.
RunResult run_shell(const std::string& command);

// True where run_shell and outside tools are available (not on Windows).
bool have_posix_shell();

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

// Whole files by UTF-8 path.
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);

bool tool_available(const std::string& name);

// Skips the test when an outside tool is missing; in CI (CI=true) a missing
// tool is a failure instead. On Windows the Linux tools are not run: the
// Linux run of the same test checks the same bytes.
#define REQUIRE_TOOL(name)                                                                     \
  do {                                                                                         \
    if (!have_posix_shell()) GTEST_SKIP() << (name) << " is a Linux tool; the Linux run covers this"; \
    if (!tool_available(name)) {                                                               \
      if (tool_required_in_ci()) FAIL() << "CI needs the tool " << (name);                     \
      GTEST_SKIP() << (name) << " is not installed; install it to run this test";              \
    }                                                                                          \
  } while (0)

// Skips a test that drives the POSIX shell (pipes, devices, permissions)
// where there is none.
#define SKIP_WITHOUT_SHELL()                                                         \
  do {                                                                               \
    if (!have_posix_shell()) GTEST_SKIP() << "needs a POSIX shell; the Linux run covers this"; \
  } while (0)

bool tool_required_in_ci();
