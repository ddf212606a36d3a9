// Bash completion of the programs, driven in a real bash: the copies in the
// build tree's share/bash-completion/completions (beside its bin/, as in an
// installed toolkit), completing in a folder of a few files and folders.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

// share/bash-completion of the build tree.
std::string completion_root() {
  const char* dir = std::getenv("TK_BIN_DIR");
  return std::string(dir != nullptr ? dir : "../build/bin") + "/../share/bash-completion";
}

std::string bash() {
  std::string path = run_shell("command -v bash").output;
  while (!path.empty() && path.back() == '\n') path.pop_back();
  return path;
}

std::vector<std::string> sorted_lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
    end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (end > at) lines.push_back(text.substr(at, end - at));
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// The candidates offered in `folder` for a command line whose words are
// `words`, the cursor at the end of the last one (words as bash splits them:
// "--map=x" is "--map", "=", "x").
std::vector<std::string> complete(const std::string& folder, const std::vector<std::string>& words) {
  static const char SCRIPT[] =
      "source \"$1\" && shift && COMP_WORDS=(\"$@\") && COMP_CWORD=$(($# - 1)) &&\n"
      "_retro_toolkit \"$1\" \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD-1]}\" &&\n"
      "printf '%s\\n' \"${COMPREPLY[@]}\"\n";
  const std::string& command = words.front();
  std::vector<std::string> args = {"--norc", "--noprofile", "-c", SCRIPT, "bash",
                                   completion_root() + "/completions/" + command.substr(command.rfind('/') + 1)};
  args.insert(args.end(), words.begin(), words.end());
  RunResult r = run_program_in(folder, bash(), args);
  EXPECT_EQ(r.status, 0) << r.error;
  return sorted_lines(r.output);
}

struct Case {
  std::vector<std::string> words;
  std::vector<std::string> candidates;  // sorted
};

}  // namespace

TEST(Completion, OffersOptionsValuesFoldersAndFiles) {
  REQUIRE_TOOL("bash");
  ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  for (const char* file : {"disk.lst", "menu.asm", "-odd.lst"}) write_file(dir.file(file), "");
  ASSERT_EQ(run_shell("mkdir '" + dir.file("data") + "' '" + dir.file("out") + "'").status, 0);
  const std::vector<std::string> files = {"-odd.lst", "data", "disk.lst", "menu.asm", "out"};

  const Case cases[] = {
      // Every option of each program.
      {{"bytequill", "-"}, {"--", "--help", "--quiet", "--strict", "--verbose", "--version", "-h", "-q", "-v"}},
      {{"glyphmint", "--"}, {"--", "--help", "--quiet", "--strict", "--verbose", "--version"}},
      {{"diskmason", "--"},
       {"--", "--depfile", "--directory", "--format", "--help", "--map", "--pad", "--quiet", "--strict",
        "--verbose", "--version"}},
      {{"diskquarry", "--"},
       {"--", "--check", "--extract", "--format", "--help", "--map", "--quiet", "--strict", "--verbose",
        "--version"}},
      {{"diskmason", "-"},
       {"--", "--depfile", "--directory", "--format", "--help", "--map", "--pad", "--quiet", "--strict",
        "--verbose", "--version", "-C", "-h", "-q", "-v"}},
      {{"/usr/local/bin/diskmason", "--f"}, {"--format"}},
      // Option values, given as the next word or after "=".
      {{"diskmason", "--format", ""}, {"d88", "dcp", "raw"}},
      {{"diskquarry", "--format", "=", "d"}, {"d88", "dcp"}},
      {{"diskmason", "--format=r"}, {"--format=raw"}},
      {{"diskmason", "-C", ""}, {"data", "out"}},
      {{"diskmason", "--directory", "="}, {"data", "out"}},
      {{"diskquarry", "--extract", "o"}, {"out"}},
      {{"diskmason", "--depfile", "d"}, {"data", "disk.lst"}},
      {{"diskmason", "--map", ""}, {"-", "-odd.lst", "data", "disk.lst", "menu.asm", "out"}},
      {{"diskquarry", "--map", "-"}, {"-", "-odd.lst"}},
      {{"diskmason", "--map", "-", "--v"}, {"--verbose", "--version"}},
      // Positional arguments: file names, glyphmint's third may be 1, and
      // nothing past the last.
      {{"bytequill", ""}, files},
      {{"diskmason", "-C", "out", "--pad", "m"}, {"menu.asm"}},
      {{"glyphmint", "menu.asm", "menu.s", ""}, {"1"}},
      {{"bytequill", "menu.asm", "menu.s", ""}, {}},
      {{"diskquarry", "disk.img", ""}, {}},
      // No options after "--" or after a positional argument.
      {{"diskmason", "--", "-"}, {"-odd.lst"}},
      {{"diskmason", "--pad", "--", "--"}, {}},
      {{"bytequill", "menu.asm", "-"}, {"-odd.lst"}},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& word : c.words) line += "[" + word + "]";
    EXPECT_EQ(complete(dir.path(), c.words), c.candidates) << line;
  }
}

// bash-completion finds the completion of each program under its name in
// share/bash-completion/completions, as the packages install it.
TEST(Completion, BashCompletionLoadsItForEveryProgram) {
  REQUIRE_TOOL("bash");
  const std::string loader = "/usr/share/bash-completion/bash_completion";
  if (!file_exists(loader)) {
    if (tool_required_in_ci()) FAIL() << "CI needs bash-completion";
    GTEST_SKIP() << "bash-completion is not installed; install it to run this test";
  }
  // The loader that bash-completion sets for commands without a completion.
  static const char SCRIPT[] =
      "BASH_COMPLETION_USER_DIR=$1 && source \"$2\" && loader=$(complete -p -D) &&\n"
      "loader=${loader#*-F } && \"${loader%% *}\" \"$3\" '' ''\n"
      "complete -p \"$3\"\n";
  for (const char* program : {"bytequill", "glyphmint", "diskmason", "diskquarry"}) {
    RunResult r = run_program(bash(), {"--norc", "--noprofile", "-c", SCRIPT, "bash", completion_root(), loader, program});
    EXPECT_EQ(r.output, "complete -F _retro_toolkit " + std::string(program) + "\n") << r.error;
  }
}
