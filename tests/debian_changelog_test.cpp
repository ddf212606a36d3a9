// The Debian changelog that the package build writes from CHANGELOG.md: its
// entries and dates as Debian's tools read them, and the mistakes in
// CHANGELOG.md that stop the build rather than give a package those tools
// reject.
#include <cstdlib>
#include <string>

#include "tests/test_support.h"

namespace {

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// Writes `markdown` as CHANGELOG.md in dir and converts it to dir/changelog
// for a project at `version`; the output holds cmake's messages.
RunResult convert(const ScratchDir& dir, const std::string& markdown, const std::string& version) {
  const char* source = std::getenv("TK_SOURCE_DIR");
  write_file(dir.file("CHANGELOG.md"), markdown);
  return run_shell("cd " + quoted(dir.path()) +
                   " && cmake -DCHANGELOG=CHANGELOG.md -DOUTPUT=changelog -DPACKAGE=pkg -DVERSION=" + version +
                   " '-DMAINTAINER=A Maintainer <a@example.org>' -P " +
                   quoted(std::string(source != nullptr ? source : "..") + "/cmake/DebianChangelog.cmake") + " 2>&1");
}

const char CHANGELOG[] = R"(# Changelog

Each release, newest first.

## 1.10.0 - 2024-02-29 14:05

- One `change`
  continued.
- Another; with [brackets.

## 1.9.0 - 2000-01-01

- First.
)";

}  // namespace

TEST(DebianChangelog, EntriesAndDatesComeFromTheFile) {
  REQUIRE_TOOL("cmake");
  ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  RunResult r = convert(dir, CHANGELOG, "1.10.0");
  ASSERT_EQ(r.status, 0) << r.output;
  // A date alone stands for the end of that day.
  EXPECT_EQ(read_file(dir.file("changelog")),
            "pkg (1.10.0) unstable; urgency=medium\n"
            "\n"
            "  * One change\n"
            "    continued.\n"
            "  * Another; with [brackets.\n"
            "\n"
            " -- A Maintainer <a@example.org>  Thu, 29 Feb 2024 14:05:00 +0000\n"
            "\n"
            "pkg (1.9.0) unstable; urgency=medium\n"
            "\n"
            "  * First.\n"
            "\n"
            " -- A Maintainer <a@example.org>  Sat, 01 Jan 2000 23:59:00 +0000\n");
}

TEST(DebianChangelog, DebianReadsIt) {
  REQUIRE_TOOL("cmake");
  REQUIRE_TOOL("dpkg-parsechangelog");
  ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  ASSERT_EQ(convert(dir, CHANGELOG, "1.10.0").status, 0);
  const std::string parse = "dpkg-parsechangelog -l " + quoted(dir.file("changelog"));
  RunResult r = run_shell(parse + " -S Version 2>&1 && " + parse + " -S Timestamp 2>&1");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "1.10.0\n1709215500\n");
}

TEST(DebianChangelog, MistakesStopTheBuild) {
  REQUIRE_TOOL("cmake");
  struct Case {
    const char* markdown;
    const char* message;
  };
  const Case cases[] = {
      {"## 1.1 - 2024-03-01\n- a\n", "CHANGELOG.md:1: the newest entry is 1.1, the project is at 1.2"},
      {"## 1.2 - 2024-03-01\n- a\n## 1.1 - 2024-03-01\n- b\n", "CHANGELOG.md:3: 1.1 is not dated before 1.2"},
      {"## 1.2 - 2024-03-01 10:00\n- a\n## 1.1 - 2024-03-01 10:00\n- b\n", "1.1 is not dated before 1.2"},
      {"## 1.2 - 2024-03-02\n- a\n## 1.2 - 2024-03-01\n- b\n", "CHANGELOG.md:3: 1.2 is not older than 1.2"},
      {"## 1.2 (2024-03-01)\n- a\n", "CHANGELOG.md:1: expected a heading"},
      {"## 1.2 - 2024-13-01\n- a\n", "no such date"},
      {"## 1.2 - 2024-03-01 24:00\n- a\n", "no such date"},
      {"## 1.2 - 2024-03-01\n\n## 1.1 - 2024-02-01\n- a\n", "the entry of 1.2 lists no change"},
      {"## 1.2 - 2024-03-01\n- a\nFixed things.\n", "CHANGELOG.md:3: expected a change"},
      {"# Changelog\n\nNothing yet.\n", "no entry"},
  };
  ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  for (const Case& c : cases) {
    RunResult r = convert(dir, c.markdown, "1.2");
    EXPECT_NE(r.status, 0) << c.markdown;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << c.markdown << r.output;
    EXPECT_FALSE(file_exists(dir.file("changelog"))) << c.markdown;
  }
}
