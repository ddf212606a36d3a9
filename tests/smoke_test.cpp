#include "tests/test_support.h"

// Each program refuses a call without arguments with status 1.
TEST(Programs, RefuseMissingArguments) {
  for (const char* name : {"bytequill", "glyphmint", "diskmason"}) {
    RunResult r = run_program(program_path(name), {});
    EXPECT_EQ(r.status, 1) << name;
  }
}
