#include "textconv/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const ProgramOption PAD_OPTION[] = {{"--pad", "N", "pad the output"}};
const ProgramSpec SPEC = {"prog", "IN OUT", "A test program.", PAD_OPTION, 1};

struct Parsed {
  int status;
  CommandLine cl;
  std::string pad;  // the value of --pad, copied while argv lives
  std::string err;
};

Parsed parse(std::vector<std::string> args) {
  args.insert(args.begin(), "prog");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  Parsed p;
  testing::internal::CaptureStderr();
  p.status = parse_command_line(SPEC, static_cast<int>(args.size()), argv.data(), p.cl);
  p.err = testing::internal::GetCapturedStderr();
  if (p.status == -1 && p.cl.given[0]) p.pad = p.cl.value[0];
  return p;
}

}  // namespace

TEST(CommandLine, SplitsOptionsFromPositionalArguments) {
  struct Case {
    std::vector<std::string> args;
    bool verbose, strict;
    int first;  // in argv, program name included
    const char* pad;
  } cases[] = {
      {{"in", "out"}, false, false, 1, nullptr},
      {{"-v", "in", "out"}, true, false, 2, nullptr},
      {{"--strict", "in", "out"}, true, true, 2, nullptr},
      {{"-x", "out"}, false, false, 1, nullptr},         // a file named -x
      {{"-vx", "out"}, false, false, 1, nullptr},        // not exactly -v
      {{"--", "-v", "out"}, false, false, 2, nullptr},   // -- ends the options
      {{"in", "-v", "out"}, false, false, 1, nullptr},   // options come first
      {{"--pad=3", "in"}, false, false, 2, "3"},
      {{"--pad", "4", "--verbose", "in"}, true, false, 4, "4"},
  };
  for (const Case& c : cases) {
    Parsed p = parse(c.args);
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    EXPECT_EQ(p.status, -1);
    EXPECT_EQ(p.cl.verbose, c.verbose);
    EXPECT_EQ(p.cl.strict, c.strict);
    EXPECT_EQ(p.cl.first, c.first);
    EXPECT_EQ(p.cl.given[0], c.pad != nullptr);
    EXPECT_EQ(p.pad, c.pad ? c.pad : "");
    EXPECT_EQ(p.err, "");
  }
}

TEST(CommandLine, RefusesUnknownAndMalformedOptions) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--nope", "in", "out"}, {"-v", "--verbose=yes", "in"}, {"--pad"}, {"--strict=1", "in"}}) {
    Parsed p = parse(args);
    EXPECT_EQ(p.status, 2) << args[0];
    EXPECT_EQ(std::count(p.err.begin(), p.err.end(), '\n'), 1) << p.err;
    EXPECT_NE(p.err.find("usage: prog [OPTIONS] IN OUT"), std::string::npos) << p.err;
  }
}
