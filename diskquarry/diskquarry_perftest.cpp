// diskquarry --extract of a full 1.2 MB disk (1024-byte sectors, 1232 of
// them) of 300 files in nested folders, the rebuild check included, against
// mcopy -s extracting the same disk from its raw sectors. The runs alternate
// (9 rounds by default, each first in turn; outputs removed between rounds,
// untimed), and the
// medians are compared; it also prints diskquarry's peak memory.
//
//   cmake --build build --target diskquarry_perftest && build/bench/diskquarry_perftest [--rounds=N]
//   TMPDIR=/dev/shm build/bench/diskquarry_perftest   (on tmpfs: the programs, not the disk's inodes)
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace {

constexpr int HOST_FILES = 300;
const char* const HEADER = " 0x20 0 30 1024 1 1 2 192 1232 0xFE 2 8 2 0\n";

// 300 files of 1 to 6,500 bytes (about 1 MB, 1.13 MB in clusters) in 40 folders, every tenth
// in the root, packed padded by diskmason; the raw sectors for mcopy.
bool make_disk(const std::string& bin) {
  write_whole(path("boot.bin"), std::string(1024, '\0'));
  std::string list = path("boot.bin") + HEADER;
  std::uint32_t seed = 12345;
  mkdir(path("tree").c_str(), 0755);
  for (int i = 0; i < HOST_FILES; ++i) {
    seed = seed * 1103515245u + 12345u;
    std::string bytes(1 + (seed >> 8) % 6500, '\0');
    for (std::size_t b = 0; b < bytes.size(); ++b) bytes[b] = static_cast<char>((b * 131 + static_cast<std::size_t>(i)) & 0xFF);
    std::string host = path("tree/f" + std::to_string(i));
    write_whole(host, bytes);
    std::string folder = i % 10 == 0 ? "" : "DIR" + std::to_string(i % 4) + "/SUB" + std::to_string(i % 10) + "/";
    list += host + " " + folder + "F" + std::to_string(i) + ".BIN 2024-04-01 09:00:00 A\n";
  }
  write_whole(path("disk.lst"), list);
  if (run({bin + "/diskmason", "--pad", path("disk.lst"), path("disk.dcp")}) != 0) return false;
  return run({"sh", "-c", "tail -c +163 '" + path("disk.dcp") + "' > '" + path("disk.img") + "'"}) == 0;
}

double median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times.empty() ? 0 : times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  BenchOptions options = take_bench_options(&argc, argv, TK_BIN_DIR);
  if (options.rounds == 7) options.rounds = 9;
  // TMPDIR chooses the file system both write to (/tmp by default).
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/diskquarry_perf.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  bool made = mkdtemp(name.data()) != nullptr;
  if (made) bench_dir() = name.data();
  if (!made || !make_disk(options.bin)) {
    std::fprintf(stderr, "could not make the disk (is diskmason built?)\n");
    return 1;
  }
  setenv("MTOOLS_SKIP_CHECK", "1", 1);
  setenv("MTOOLS_NO_VFAT", "1", 1);
  std::vector<std::string> quarry = {options.bin + "/diskquarry", "--extract", path("out"), path("disk.dcp")};
  std::vector<std::string> mcopy = {"mcopy", "-s", "-n", "-i", path("disk.img"), "::*", path("ref")};
  std::vector<double> quarryTimes, mcopyTimes;
  bool failed = false;
  for (int round = 0; round < options.rounds; ++round) {
    run({"rm", "-rf", path("out"), path("ref")});
    mkdir(path("ref").c_str(), 0755);
    // Who runs first after the removal alternates: the file system pays
    // for reusing the inodes just freed.
    RunStats q{}, m{};
    for (int turn = 0; turn < 2; ++turn) {
      sync();
      if ((turn + round) % 2 == 0) {
        q = run_measured(quarry);
      } else {
        m = run_measured(mcopy);
      }
    }
    failed = failed || q.status != 0 || m.status != 0;
    quarryTimes.push_back(q.seconds);
    mcopyTimes.push_back(m.seconds);
  }
  if (failed) std::printf("a run failed (is mtools installed?)\n");
  double tq = median(quarryTimes);
  double tm = median(mcopyTimes);
  run({"rm", "-rf", path("out")});
  long peak = peak_memory_kb(quarry);
  std::printf("full 1.2 MB disk, %d files; medians of %d alternating rounds, load %.2f:\n", HOST_FILES,
              options.rounds, load_average());
  std::printf("  diskquarry --extract (rebuild check included): %.2f ms\n", tq * 1000);
  std::printf("  mcopy -s (raw image):                          %.2f ms\n", tm * 1000);
  std::printf("  ratio diskquarry / mcopy: %.3f\n", tm > 0 ? tq / tm : 0);
  std::printf("  diskquarry peak memory: %ld KB\n", peak);
  run({"rm", "-rf", bench_dir()});
  return failed ? 1 : 0;
}
