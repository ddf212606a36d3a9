#include "textconv/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const ProgramOption PAD[] = {{"--pad", "N", "pad the output"}};
const ProgramSpec SPEC = {"prog", "IN OUT", "A test program.", PAD, 1};

// The outcome of parsing "prog ARGS" as one line: status, flags, first positional, --pad's value.
std::string parse(std::vector<std::string> args) {
  args.insert(args.begin(), "prog");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  CommandLine cl;
  testing::internal::CaptureStderr();
  const int status = parse_command_line(SPEC, static_cast<int>(argv.size()), argv.data(), cl);
  const std::string err = testing::internal::GetCapturedStderr();
  if (status != -1) return std::to_string(status) + " " + err;
  return std::string(cl.verbose ? "v" : "") + (cl.strict ? "s" : "") + " " + std::to_string(cl.first) + " " +
         (cl.given[0] ? cl.value[0] : "-");
}

}  // namespace

TEST(CommandLine, SplitsOptionsFromPositionalArguments) {
  const std::string usage = "; usage: prog [OPTIONS] IN OUT\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"in", "out"}, " 1 -"},
      {{"-v", "in", "out"}, "v 2 -"},
      {{"--strict", "in", "out"}, "vs 2 -"},
      {{"-x", "out"}, " 1 -"},  // a file named -x
      {{"-vx", "out"}, " 1 -"},
      {{"--", "-v", "out"}, " 2 -"},
      {{"in", "-v", "out"}, " 1 -"},  // options come first
      {{"--pad=3", "in"}, " 2 3"},
      {{"--pad", "4", "--verbose", "in"}, "v 4 4"},
      {{"--nope", "in"}, "2 prog: unknown option '--nope'" + usage},
      {{"--verbose=yes", "in"}, "2 prog: unknown option '--verbose=yes'" + usage},
      {{"--pad"}, "2 prog: option needs a value '--pad'" + usage},
  };
  for (const auto& [args, expected] : cases) EXPECT_EQ(parse(args), expected) << args[0];
}
