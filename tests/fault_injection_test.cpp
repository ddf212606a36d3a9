// Each program run in-process while its n-th heap allocation fails, for
// n = 1, 2, ... until a run no longer reaches the n-th allocation. Every such
// run must end cleanly: no crash, a failure status (or, where the program
// can do without the memory, the same result as an undisturbed run), and
// under the sanitizer build no leak.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bytequill/sjis_filter.h"
#include "diskmason/driver/packer.h"
#include "glyphmint/cjis_filter.h"
#include "tests/allocation_failure.h"
#include "tests/test_support.h"

namespace {

struct Outcome {
  int status;
  std::string printed;
};

// Runs `run` with stdout captured while the n-th allocation fails.
Outcome run_failing_at(std::uint64_t n, const std::function<int()>& run, std::uint64_t* seen) {
  testing::internal::CaptureStdout();
  fail_allocation_at(n);
  int status = run();
  *seen = allocations_seen();
  fail_allocation_at(0);
  return Outcome{status, testing::internal::GetCapturedStdout()};
}

// Fails every allocation of `run` in turn. `judge` checks a run in which
// allocation n failed; returns the number of allocations failed. The run
// that gets past all of them must succeed.
std::uint64_t fail_each_allocation(const std::function<int()>& run,
                                   const std::function<void(std::uint64_t, const Outcome&)>& judge) {
  for (std::uint64_t n = 1;; ++n) {
    std::uint64_t seen = 0;
    Outcome outcome = run_failing_at(n, run, &seen);
    if (seen < n) {
      EXPECT_EQ(outcome.status, 0) << "undisturbed run";
      EXPECT_EQ(outcome.printed, "") << "undisturbed run";
      return n - 1;
    }
    judge(n, outcome);
    if (testing::Test::HasFatalFailure() || n > 100000) return n;
  }
}

std::vector<char*> arguments(std::vector<std::string>& texts) {
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);
  return argv;
}

const char SOURCE_WITH_LITERALS[] =
    "title: db $CJIS(\"\xe3\x81\x82\xe3\x81\x84\xe3\x81\x86" "A\")\n"  // あいうA
    "  db $CJIS(\"\xe3\x81\x82\xe3\x81\x84\")\n"
    "  db $CJIS((\"\xe3\x81\x82{8140}{0d}{0a}\")), 0\n"
    "plain: db $CJIS(\"OK\")\n";

// A failed allocation ends the run with its message and leaves the output
// as it was: the analysis pass's counters, or the output's own name and
// temporary.
TEST(FaultInjection, FiltersEndEveryFailedAllocationCleanly) {
  std::string dir = make_temp_dir();
  write_file(dir + "/in.asm", SOURCE_WITH_LITERALS);
  for (const char* program : {"glyphmint", "bytequill"}) {
    SCOPED_TRACE(program);
    std::vector<std::string> texts = {program, dir + "/in.asm", dir + "/out.asm"};
    std::vector<char*> argv = arguments(texts);
    auto run = [&] {
      // The output as it was before each run, written without operator new.
      std::FILE* out = std::fopen(texts[2].c_str(), "wb");
      if (out != nullptr) {
        std::fputs("previous", out);
        std::fclose(out);
      }
      return program[0] == 'g' ? run_glyphmint(3, argv.data()) : run_bytequill(3, argv.data());
    };
    const std::string name = program[0] == 'g' ? "GLYPHMINT" : "BYTEQUILL";
    const std::string cannotOpen = name + " couldn't open " + dir + "/out.asm for writing\n";
    // Where putting the output in place needs memory (Windows' wide names).
    const std::string cannotWrite = name + " couldn't write " + dir + "/out.asm\n";
    std::uint64_t failed = fail_each_allocation(run, [&](std::uint64_t n, const Outcome& outcome) {
      EXPECT_EQ(outcome.status, 1) << n;
      EXPECT_TRUE(outcome.printed == cannotOpen || outcome.printed == cannotWrite ||
                  outcome.printed == "Could not allocate memory while making lookup table.\n")
          << n << outcome.printed;
      EXPECT_EQ(read_file(dir + "/out.asm"), "previous") << n;
    });
    EXPECT_GT(failed, 0u);
    EXPECT_NE(read_file(dir + "/out.asm"), "previous");
  }
}

// A disk that makes every growable array of the packer grow: more than 8
// root directories and 64 root files, a directory of more than 4 directories
// and 16 files, more than 128 records, deep nesting, Japanese names, a boot
// file and a host file longer than a cluster.
std::string write_packer_list(const std::string& dir) {
  write_file(dir + "/boot.bin", std::string(1500, '\x90'));
  write_file(dir + "/small", "small file\n");
  write_file(dir + "/large", std::string(5000, 'L'));
  write_file(dir + "/\xe6\x97\xa5\xe6\x9c\xac.txt", "nihon\n");  // 日本.txt
  std::string list = dir + "/boot.bin 0 0 30 1024 1 1 2 192 1232 0xFE 3 8 2 0\n";
  auto line = [&](const std::string& host, const std::string& image) {
    list += "\"" + dir + "/" + host + "\" \"" + image + "\" 2024-04-01 09:00:00 A\n";
  };
  for (int i = 0; i < 70; ++i) line("small", "ROOT" + std::to_string(i) + ".TXT");
  for (int i = 0; i < 12; ++i) line("small", "DIR" + std::to_string(i) + "/F.TXT");
  for (int i = 0; i < 6; ++i) line("small", "DIR0/SUB" + std::to_string(i) + "/G.TXT");
  for (int i = 0; i < 20; ++i) line("small", "DIR0/H" + std::to_string(i) + ".TXT");
  for (int i = 0; i < 30; ++i) line("small", "DIR1/A/B/C/D" + std::to_string(i % 3) + "/K" + std::to_string(i));
  line("large", "DIR2/LARGE.BIN");
  line("\xe6\x97\xa5\xe6\x9c\xac.txt",
       "\xe3\x83\x86\xe3\x82\xad\xe3\x82\xb9\xe3\x83\x88/\xe3\x81\xaf\xe3\x81\x98\xe3\x82\x81\xe3\x81\xab.txt");
  write_file(dir + "/disk.lst", list);
  return dir + "/disk.lst";
}

TEST(FaultInjection, PackerEndsEveryFailedAllocationCleanly) {
  std::string dir = make_temp_dir();
  std::string image = dir + "/disk.dcp";
  std::vector<std::string> texts = {"diskmason", write_packer_list(dir), image};
  std::vector<char*> argv = arguments(texts);
  auto run = [&] {
    std::remove(image.c_str());
    return run_packer(3, argv.data());
  };

  ASSERT_EQ(run(), 0);
  const std::string reference = read_file(image);
  ASSERT_GT(reference.size(), 100000u);
  std::uint64_t absorbed = 0;
  std::uint64_t failed = fail_each_allocation(run, [&](std::uint64_t n, const Outcome& outcome) {
    if (outcome.status == 0) {
      // Memory the run can do without (a larger output buffer, an early
      // growth of the index pool that is tried again): the same image.
      ++absorbed;
      EXPECT_EQ(outcome.printed, "") << n;
      EXPECT_EQ(read_file(image), reference) << n;
      return;
    }
    EXPECT_EQ(outcome.status, 1) << n;
    // Only the image writer speaks of memory; every other step fails silently.
    if (!outcome.printed.empty()) {
      EXPECT_EQ(outcome.printed, "DISKMASON in file list " + texts[1] +
                                     ": not enough memory to write image " + image + "\n")
          << n;
    }
  });
  EXPECT_GT(failed, 100u);
  EXPECT_LT(absorbed, failed / 10);
  std::printf("packer: %llu allocations failed in turn, %llu of them absorbed\n",
              static_cast<unsigned long long>(failed), static_cast<unsigned long long>(absorbed));
}

}  // namespace
