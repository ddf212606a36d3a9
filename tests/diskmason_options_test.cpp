// diskmason's options and defaults through its executable: explanations and
// warnings on standard error unless --quiet, --strict, --pad, -C, the
// refusals of disks that would lose data, outputs replaced whole or not at
// all, and usage errors.
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

const char* const GEOMETRY = "0x20 0 30 1024 1 1 2 192 1232 0xFE 2 8 2 0";

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

class Options : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(scratch_.ok()); }

  std::string path(const std::string& name) const { return scratch_.file(name); }

  // Runs diskmason in the scratch folder, so lists name files relatively.
  Outcome run(const std::vector<std::string>& args) {
    RunResult r = run_program_in(scratch_.path(), program_path("diskmason"), args);
    return Outcome{r.status, r.output, r.error};
  }

  // Writes the list and the files it names: boot.bin and a.bin exist.
  void write_list(const std::string& list) {
    write_file(path("boot.bin"), std::string(1024, '\0'));
    write_file(path("a.bin"), "a");
    write_file(path("disk.lst"), list);
  }

  std::string header(const std::string& geometry = GEOMETRY) { return "boot.bin " + geometry + "\n"; }

  ScratchDir scratch_;
};

// Failures that print no line of their own are explained on standard error;
// --quiet leaves the explanation out and changes nothing else.
TEST_F(Options, FailuresAreExplained) {
  const std::string ok = header();
  const std::string line = " 2024-1-1 0:0:0 A\n";
  struct Case {
    std::string list;
    std::vector<std::string> args;
    std::vector<std::string> words;
  } cases[] = {
      {ok, {"disk.lst"}, {"diskmason: error:", "expected 2 arguments", "got 1"}},
      {ok, {"disk.lst", "disk.dcp", "--pad"}, {"diskmason: error:", "got 3", "options go before the file names"}},
      {ok, {"none.lst", "disk.dcp"}, {"none.lst: error:", "No such file"}},
      {ok, {".", "disk.dcp"}, {".: error:", "it is a folder"}},
      {"boot.bin 1 2 3 4\n", {"disk.lst", "disk.dcp"}, {"disk.lst:1: error:", "has 5 fields"}},
      {ok + "a.bin A.TXT" + line + "a.bin A.TXT" + line, {"disk.lst", "disk.dcp"},
       {"disk.lst:3: error:", "'A.TXT' was placed already by line 2"}},
      {ok + "a.bin Docs/a.txt" + line + "a.bin DOCS/A.TXT" + line, {"disk.lst", "disk.dcp"},
       {"disk.lst:3: error:", "differs only in letter case from 'Docs/a.txt' of line 2"}},
      {ok + "a.bin DIR//X.COM" + line, {"disk.lst", "disk.dcp"}, {"disk.lst:2: error:", "empty component"}},
      {ok + "a.bin X" + line + "a.bin X/Y.TXT" + line, {"disk.lst", "disk.dcp"},
       {"disk.lst:3: error:", "needs 'X' as a directory", "line 2"}},
      {ok + "a.bin X/Y.TXT" + line + "a.bin X" + line, {"disk.lst", "disk.dcp"},
       {"disk.lst:3: error:", "where line 2 made the directory 'X'"}},
      {ok + "a.bin A\xF0\x80\x80\x80" + line, {"disk.lst", "disk.dcp"},
       {"disk.lst:2: error:", "converts to a zero byte"}},
      {ok, {"disk.lst", "no/such/folder/disk.dcp"}, {"no/such/folder/disk.dcp: error:", "No such file"}},
      {header("0 161 30 1024 1 1 2 192 1232 0xFE 2 8 2 0"), {"disk.lst", "disk.dcp"},
       {"disk.lst:1:12: error:", "header field 2 asks for 161 tracks"}},
  };
  for (const Case& c : cases) {
    write_list(c.list);
    unlink(path("disk.dcp").c_str());
    Outcome plain = run(c.args);
    EXPECT_EQ(plain.status, 1) << c.words[1];
    for (const std::string& word : c.words) EXPECT_NE(plain.err.find(word), std::string::npos) << word << "\n" << plain.err;
    std::vector<std::string> quietArgs = c.args;
    quietArgs.insert(quietArgs.begin(), "-q");
    Outcome quiet = run(quietArgs);
    EXPECT_EQ(quiet.status, 1) << c.words[1];
    EXPECT_EQ(quiet.out, plain.out) << c.words[1];
    EXPECT_EQ(quiet.err, "") << c.words[1];
    EXPECT_FALSE(exists(path("disk.dcp"))) << c.words[1];
  }
}

TEST_F(Options, WarningsNameTheLineAndColumn) {
  const std::string when = " 2024-1-1 0:0:0 ";
  write_file(path("#a.bin"), "#");
  std::string list = header("0x20 0 30 1024 1 2 2 192 1232 0xFE 2 8 2 0") +
                     "a.bin \"\xE3\x83\x87\xEF\xBD\x9E.TXT\"" + when + "A\n" +  // デ～.TXT
                     "a.bin Docs/ReadMeFirst.txt" + when + "A\n" +
                     "a.bin A\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86\xE3\x81\x88.TXT" + when + "A\n" +  // Aあいうえ
                     "a.bin A.B.C" + when + "A\n" +
                     "a.bin ../UP.TXT" + when + "A\n" +
                     "a.bin A:B*C" + when + "A\n" +
                     "a.bin DATE.TXT 2024-1 0:0:0 A\n" +
                     "a.bin TIME.TXT 2024-1-1 12:30 A\n" +
                     "a.bin ATTR.TXT" + when + "Arh\n" +
                     "a.bin DIR.BIN" + when + "D\n" +
                     "a.bin LABEL" + when + "V\n" +
                     "a.bin ZERO.BIN" + when + "A 0\n" +
                     "a.bin F1.BIN" + when + "A 100\n" +
                     "a.bin F2.BIN" + when + "A 100\n" +
                     "a.bin FAR.BIN" + when + "A 1230\n" +
                     "#a.bin NOTE.TXT" + when + "A\n" +
                     "a.bin LONG.TXT" + when + "A " + std::string(520, ' ') + "x\n" +
                     "a.bin YEAR.TXT 1979-1-1 24:0:0 A\n" +
                     "a.bin LEAP.TXT 2023-02-29 0:0:0 A\n" +
                     "a.bin T~L\\.TXT" + when + "A\n" +
                     "a.bin SKIP.TXT 2024-1-1\n" +
                     "a.bin \"OPEN.TXT" + when + "A\n";
  write_list(list);
  Outcome warned = run({"disk.lst", "disk.dcp"});
  ASSERT_EQ(warned.status, 0) << warned.out;
  EXPECT_EQ(warned.out, "");
  std::string image = read_file(path("disk.dcp"));
  Outcome quiet = run({"--quiet", "disk.lst", "disk.dcp"});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(read_file(path("disk.dcp")), image);
  const char* expected[] = {
      "disk.lst:1:27: warning: header field 6 gives 2 reserved sectors, but the boot area takes 1",
      "disk.lst:2:11: warning: U+FF5E",
      "disk.lst:3:12: warning: 'ReadMeFirst.txt' is cut to the short name 'READMEFI.TXT'",
      "disk.lst:4:7: warning: 'Aあいうえ.TXT' is cut to the short name 'Aあいう\\x82.TXT', inside a double-byte character",
      "disk.lst:5:7: warning: 'A.B.C' has a dot in its base name",
      "disk.lst:6:7: warning: '..' is stored as an entry named '.'",
      "disk.lst:7:7: warning: 'A:B*C' holds '*', ':', which short names may not hold",
      "disk.lst:8:16: warning: the date '2024-1' is not year-month-day (2024-04-01); the entry's date and time are both stored as 0",
      "disk.lst:9:25: warning: the time '12:30' is not hour:minute:second (09:00:00); the entry's date and time are both stored as 0",
      "disk.lst:10:32: warning: 'r' is not an attribute letter",
      "disk.lst:11:30: warning: attribute D makes the host file's bytes the entries of a directory",
      "disk.lst:12:28: warning: attribute V makes this entry the disk's volume label",
      "disk.lst:13:33: warning: start cluster 0 lies before the data area (cluster 2): the file's data is not written",
      "disk.lst:14:31: warning: the run ends at sector 110, past the 4 tracks the image flags present",
      "disk.lst:15:31: warning: this file's run (cluster 100) overlaps the run of F1.BIN (line 14, cluster 100): this file's data is not written",
      "disk.lst:16:32: warning: the run ends at sector 1240, past the disk's 1232 total sectors",
      "disk.lst:17:1: warning: a line of 5 or more fields is a file line even when it starts with '#'",
      "disk.lst:18:513: warning: the line is longer than 512 bytes",
      "disk.lst:19:16: warning: the year 1979 is outside 1980 to 2107",
      "disk.lst:19:25: warning: the hour 24 is outside 0 to 23",
      "disk.lst:20:16: warning: '2023-02-29' is not in the calendar (its month has 28 days)",
      "disk.lst:21:7: warning: 'T~L\\.TXT' holds '~', which is stored as the double-byte character 81B0h",
      "disk.lst:21:7: warning: 'T~L\\.TXT' holds '\\', which is stored as the double-byte character 815Fh",
      "disk.lst:22: warning: this line has 3 fields and is skipped",
      "disk.lst:23:7: warning: this double quote is not closed",
  };
  for (const char* line : expected) EXPECT_NE(warned.err.find(line), std::string::npos) << line << "\n" << warned.err;
  EXPECT_EQ(std::count(warned.err.begin(), warned.err.end(), '\n'), 26) << warned.err;
}

TEST_F(Options, RootFullerThanItsEntryCountAndTheWarningLimit) {
  std::string list = header("0 0 30 1024 1 1 2 16 1232 0xFE 2 8 2 0");
  for (int i = 0; i < 20; ++i) list += "a.bin F" + std::to_string(i) + ".BIN 2024-1-1 0:0:0 A\n";
  write_list(list);
  Outcome r = run({"disk.lst", "disk.dcp"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.err, "disk.lst:1:28: warning: header field 8 gives 16 root entries, which do not fill whole sectors "
                   "(32 to a sector); FAT checkers expect a multiple of 32\n"
                   "disk.lst:1:28: warning: the root directory holds 20 entries, but 16 root entries leave "
                   "room for 15 and the end marker: systems that read only that many miss the rest\n");

  list = header();
  for (int i = 0; i < 60; ++i) list += "a.bin D/F" + std::to_string(i) + ".BIN 1-1 0:0:0 A\n";
  write_list(list);
  r = run({"disk.lst", "disk.dcp"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 51) << r.err;
  EXPECT_NE(r.err.find("diskmason: note: 10 more warnings not shown\n"), std::string::npos) << r.err;
}

// A warning fails the run under --strict, with or without --quiet; the
// older image stays.
TEST_F(Options, StrictRefusesWhatTheRunWouldOtherwiseAccept) {
  write_list(header() + "a.bin A.TXT 2024-1-1 0:0:0 ax\n");
  for (const std::vector<std::string>& options : {std::vector<std::string>{"--strict"}, {"-q", "--strict"}}) {
    write_file(path("disk.dcp"), "an older image");
    std::vector<std::string> args = options;
    args.insert(args.end(), {"disk.lst", "disk.dcp"});
    Outcome r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.empty(), options.size() == 2) << r.err;
    EXPECT_EQ(read_file(path("disk.dcp")), "an older image");
  }
  EXPECT_EQ(run({"disk.lst", "disk.dcp"}).status, 0);
  write_list(header() + "a.bin A.TXT 2024-1-1 0:0:0 A\n");
  Outcome clean = run({"--strict", "disk.lst", "disk.dcp"});
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(clean.err, "");
}

TEST_F(Options, PadWritesTheWholeDisk) {
  std::string boot(1024, '\0');
  boot.replace(0, 3, "\xEB\x3C\x90");
  boot.replace(38, 24, "\x29\x12\x34\x56\x78NO NAME    FAT12   ");
  write_list(header());
  write_file(path("boot.bin"), boot);
  write_file(path("b.bin"), std::string(3000, 'b'));
  write_file(path("disk.lst"), header() + "b.bin B.BIN 2024-1-1 0:0:0 A\na.bin DIR/A.TXT 2024-1-1 0:0:0 A\n");
  Outcome r = run({"--pad", "disk.lst", "disk.dcp"});
  ASSERT_EQ(r.status, 0) << r.out;
  std::string image = read_file(path("disk.dcp"));
  // 1232 sectors of 8 a track: 154 tracks, every sector of them.
  ASSERT_EQ(image.size(), 162u + 154 * 8 * 1024);
  EXPECT_EQ(image.substr(1, 154), std::string(154, '\x01'));
  EXPECT_EQ(image.substr(155, 7), std::string(7, '\0'));
  // Data: DIR at cluster 2, B.BIN at 3 to 5, A.TXT at 6; free from 7 on.
  std::size_t free = 162 + (11 + 5) * 1024;
  EXPECT_EQ(image.substr(free), std::string(image.size() - free, '\xE5'));
  if (!have_posix_shell()) return;  // fsck.fat checks the same bytes in the Linux run
  REQUIRE_TOOL("fsck.fat");
  write_file(path("volume.img"), image.substr(162));
  RunResult fsck = run_shell("fsck.fat -n '" + path("volume.img") + "' 2>&1");
  EXPECT_EQ(fsck.status, 0) << fsck.output;
}

TEST_F(Options, DisksThatWouldLoseDataAreRefused) {
  const std::string list512 = "boot.bin 0 0 30 512 1 1 2 224 ";
  struct Case {
    std::string header;
    std::string line;
    std::string message;
  } cases[] = {
      {list512 + "2880 0xF0 1 18 2 0", "big.bin BIG.BIN 2024-1-1 0:0:0 A\n",
       "the FAT is too small for the data (400 clusters used vs 339 max in a FAT of 512 bytes)"},
      {list512 + "1440 0xF0 9 36 2 0", "huge.bin HUGE.BIN 2024-1-1 0:0:0 A\n",
       "the data runs past the end of the disk (1533 sectors needed vs 1440 total sectors)"},
      {list512 + "2880 0xF0 9 18 2 0", "a.bin FAR/A.BIN 2024-1-1 0:0:0 A 3000\n",
       "FAR/A.BIN is fixed at cluster 3000 and ends past the 160 tracks of the DCP format "
       "(3032 sectors needed vs 2880 max)"},
  };
  for (const Case& c : cases) {
    write_list("boot.bin " + c.header.substr(9) + "\n" + c.line);
    write_file(path("boot.bin"), std::string(512, '\0'));
    write_file(path("big.bin"), std::string(400 * 512, 'b'));
    write_file(path("huge.bin"), std::string(1500 * 512, 'h'));
    unlink(path("disk.dcp").c_str());
    Outcome r = run({"disk.lst", "disk.dcp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "DISKMASON in file list disk.lst: " + c.message + "\n");
    EXPECT_FALSE(exists(path("disk.dcp")));
  }
  // The 160-track message wins where both apply.
  write_list("boot.bin 0 170 30 512 1 1 2 224 2880 0xF0 9 18 2 0\na.bin A.BIN 2024-1-1 0:0:0 A 3000\n");
  Outcome r = run({"disk.lst", "disk.dcp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.find("File list disk.lst has too much data for the DCP format"), 0u) << r.out;
}

TEST_F(Options, UsageErrorsAndPositionalNames) {
  write_list(header());
  write_file(path("-x"), header());
  write_file(path("--list"), header());
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  } cases[] = {
      {{"--bogus", "disk.lst", "disk.dcp"}, 2, "diskmason: unknown option '--bogus'; usage: diskmason [OPTIONS] FILELIST IMAGE\n"},
      {{"--pad=1", "disk.lst", "disk.dcp"}, 2, "diskmason: option takes no value '--pad=1'; usage: diskmason [OPTIONS] FILELIST IMAGE\n"},
      {{"-x", "x.dcp"}, 0, ""},
      {{"--", "--list", "list.dcp"}, 0, ""},
      {{"-v", "--", "-x", "x.dcp"}, 0, "x.dcp: note: 0 files, 0 folders, 0 clusters used, 1221 free, 0 bytes of files\n"},
  };
  for (const Case& c : cases) {
    Outcome r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_EQ(r.err, c.err) << c.args[0];
  }
  EXPECT_FALSE(exists(path("disk.dcp")));
  Outcome help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--pad"), std::string::npos);
}

}  // namespace
