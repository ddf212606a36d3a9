// diskmason packing a full 1.44 MB disk (512-byte sectors, 18 per track,
// 80 cylinders x 2 heads) of 300 files in nested directories, against mtools
// building the same FAT12 content: mformat and one recursive mcopy. The runs
// alternate (5 repetitions, interleaved) and the medians are compared. After
// the runs it prints the time ratio, diskmason's peak memory on this disk and
// on a list of 2,500 files, and, when strace is installed, its system calls
// per host file.
//
//   cmake --build build --target diskmason_perftest && build/bench/diskmason_perftest
//   DISKMASON_BEFORE=/path/to/older/diskmason build/bench/diskmason_perftest
//     also times an older build in the same alternating runs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "diskmason/driver/packer.h"

extern char** environ;

namespace {

constexpr int HOST_FILES = 300;
constexpr int LARGE_LIST_FILES = 2500;
const char* const HEADER_PARAMS = " 0x30 0 30 512 1 1 2 224 2880 0xF0 9 18 2 0\n";

std::string folder;
std::vector<std::string> topEntries;  // host paths that one recursive mcopy takes
std::size_t dataBytes = 0;

std::string path(const std::string& name) { return folder + "/" + name; }

void write_whole(const std::string& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs a program (looked up on PATH) to its end, its output thrown away;
// returns its exit status, or -1.
int run(const std::vector<std::string>& args) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  int status = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    waitpid(pid, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The peak resident set of a run in KB, or -1. GNU time measures it: a child
// spawned from this large process would be charged with its pages too.
long peak_kbytes(const std::vector<std::string>& args) {
  std::string report = path("peak.txt");
  std::vector<std::string> timed = {"/usr/bin/time", "-f", "%M", "-o", report};
  timed.insert(timed.end(), args.begin(), args.end());
  if (run(timed) != 0) return -1;
  std::ifstream in(report);
  long kbytes = -1;
  in >> kbytes;
  return kbytes;
}

// The boot sector, the host tree and the file list: 4 top directories of 3
// subdirectories of 2 each (40 directories), 300 files of 1 byte to 7000
// bytes, every tenth in the root.
void make_disk_content() {
  std::string boot(512, '\0');
  boot[0] = '\xEB';
  boot[1] = '\x3C';
  boot[2] = '\x90';
  boot[510] = '\x55';
  boot[511] = '\xAA';
  write_whole(path("boot.bin"), boot);
  std::vector<std::string> directories;
  mkdir(path("tree").c_str(), 0755);
  for (int top = 0; top < 4; ++top) {
    std::string name = "DIR" + std::to_string(top);
    topEntries.push_back(path("tree/" + name));
    for (int sub = -1; sub < 3; ++sub) {
      std::string middle = sub < 0 ? name : name + "/SUB" + std::to_string(sub);
      for (int leaf = -1; leaf < (sub < 0 ? 0 : 2); ++leaf) {
        std::string dir = leaf < 0 ? middle : middle + "/LEAF" + std::to_string(leaf);
        directories.push_back(dir);
        mkdir(path("tree/" + dir).c_str(), 0755);
      }
    }
  }
  std::string list = path("boot.bin") + HEADER_PARAMS;
  std::uint32_t seed = 12345;
  for (int i = 0; i < HOST_FILES; ++i) {
    seed = seed * 1103515245u + 12345u;
    std::size_t size = 1 + (seed >> 8) % 7000;
    std::string name = "F" + std::to_string(i) + ".BIN";
    std::string imagePath = name;
    if (i % 10 == 0) {
      topEntries.push_back(path("tree/" + name));
    } else {
      imagePath = directories[static_cast<std::size_t>(i) % directories.size()] + "/" + name;
    }
    std::string bytes(size, '\0');
    for (std::size_t b = 0; b < size; ++b) bytes[b] = static_cast<char>((b * 131 + static_cast<std::size_t>(i)) & 0xFF);
    write_whole(path("tree/" + imagePath), bytes);
    list += path("tree/" + imagePath) + " " + imagePath + " 2024-04-01 09:00:00 A\n";
    dataBytes += size;
  }
  write_whole(path("disk.lst"), list);
  write_whole(path("header.lst"), path("boot.bin") + HEADER_PARAMS);
}

// 2,500 empty files in 50 directories on the same disk: a list eight times
// longer, for the peak memory.
void make_large_list() {
  write_whole(path("empty.bin"), "");
  std::string list = path("boot.bin") + HEADER_PARAMS;
  for (int i = 0; i < LARGE_LIST_FILES; ++i) {
    list += path("empty.bin") + " D" + std::to_string(i % 50) + "/E" + std::to_string(i) +
            ".BIN 2024-04-01 09:00:00 A\n";
  }
  write_whole(path("large.lst"), list);
}

bool mformat(const std::string& image) {
  std::remove(image.c_str());
  return run({"mformat", "-C", "-i", image, "-t", "80", "-h", "2", "-s", "18", "-S", "2", "-M", "512",
              "-c", "1", "-r", "14", "-L", "9", "-m", "0xF0", "::"}) == 0;
}

void BM_Diskmason(benchmark::State& state, std::string program) {
  std::vector<std::string> args = {program, path("disk.lst"), path("disk.dcp")};
  for (auto _ : state) {
    if (run(args) != 0) state.SkipWithError("diskmason failed");
  }
}

// The same with the image deleted before each run, as the mtools runs do.
void BM_DiskmasonNewImage(benchmark::State& state) {
  std::string image = path("new.dcp");
  std::vector<std::string> args = {DISKMASON_PATH, path("disk.lst"), image};
  for (auto _ : state) {
    std::remove(image.c_str());
    if (run(args) != 0) state.SkipWithError("diskmason failed");
  }
}

void BM_DiskmasonInProcess(benchmark::State& state) {
  std::string list = path("disk.lst");
  std::string image = path("inproc.dcp");
  char name[] = "diskmason";
  std::vector<char*> argv = {name, list.data(), image.data()};
  for (auto _ : state) {
    if (run_packer(3, argv.data()) != 0) state.SkipWithError("run_packer failed");
  }
}

// mformat and a single recursive mcopy of the host tree.
void BM_MtoolsRecursive(benchmark::State& state) {
  std::string image = path("mtools.img");
  std::vector<std::string> copy = {"mcopy", "-s", "-i", image};
  copy.insert(copy.end(), topEntries.begin(), topEntries.end());
  copy.push_back("::");
  for (auto _ : state) {
    if (!mformat(image) || run(copy) != 0) state.SkipWithError("mtools failed");
  }
}

// Keeps the median real time of each benchmark (its only time when it ran
// once).
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  MedianReporter() : ConsoleReporter(isatty(1) ? OO_Defaults : OO_None) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      if (r.aggregate_name.empty() ? medians.count(r.run_name.function_name) == 0
                                   : r.aggregate_name == "median") {
        medians[r.run_name.function_name] = r.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> medians;
};

// System calls of one run by name, counted by strace -f -c, and their total
// under "total"; empty when strace is missing or the run failed.
std::map<std::string, double> count_system_calls(const std::string& program, const std::string& list) {
  std::map<std::string, double> calls;
  std::string counts = path("strace.txt");
  std::remove(path("strace.dcp").c_str());
  if (run({"strace", "-f", "-c", "-o", counts, "--", program, list, path("strace.dcp")}) != 0) return calls;
  std::ifstream in(counts);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::vector<std::string> words;
    for (std::string w; fields >> w;) words.push_back(w);
    // "% time  seconds  usecs/call  calls  [errors]  syscall"
    if (words.size() < 5 || words[0].find('.') == std::string::npos) continue;
    calls[words.back()] = std::atof(words[3].c_str());
  }
  return calls;
}

// Prints the calls of the benchmark disk per host file: all of them divided
// by the files, and those beyond a run of the same header without files.
void report_system_calls(const char* name, const std::string& program) {
  std::map<std::string, double> full = count_system_calls(program, path("disk.lst"));
  std::map<std::string, double> bare = count_system_calls(program, path("header.lst"));
  if (full.count("total") == 0 || bare.count("total") == 0) {
    std::printf("%s system calls: not counted (strace missing or failed)\n", name);
    return;
  }
  std::printf("%s system calls (strace -f -c): %.0f in all, %.2f per host file; %.0f without files, "
              "so %.2f for each host file:",
              name, full["total"], full["total"] / HOST_FILES, bare["total"],
              (full["total"] - bare["total"]) / HOST_FILES);
  for (const auto& [call, count] : full) {
    double each = (count - bare[call]) / HOST_FILES;
    if (call != "total" && each >= 0.01) std::printf(" %s %.2f", call.c_str(), each);
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/diskmason_perf.XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  folder = pattern;
  setenv("MTOOLS_SKIP_CHECK", "1", 1);
  setenv("MTOOLS_NO_VFAT", "1", 1);
  make_disk_content();
  make_large_list();
  std::printf("disk content: %d files in 40 directories, %zu bytes\n", HOST_FILES, dataBytes);
  const char* before = std::getenv("DISKMASON_BEFORE");
  std::vector<benchmark::internal::Benchmark*> benches = {
      benchmark::RegisterBenchmark("BM_Diskmason", BM_Diskmason, std::string(DISKMASON_PATH)),
      benchmark::RegisterBenchmark("BM_DiskmasonNewImage", BM_DiskmasonNewImage),
      benchmark::RegisterBenchmark("BM_DiskmasonInProcess", BM_DiskmasonInProcess),
      benchmark::RegisterBenchmark("BM_MtoolsRecursive", BM_MtoolsRecursive)};
  if (before != nullptr) {
    benches.push_back(benchmark::RegisterBenchmark("BM_DiskmasonBefore", BM_Diskmason, std::string(before)));
  }
  for (auto* bench : benches) bench->Unit(benchmark::kMillisecond)->UseRealTime();
  // Alternating repetitions unless the command line says otherwise.
  std::vector<char*> args(argv, argv + argc);
  char repetitions[] = "--benchmark_repetitions=5";
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  char aggregates[] = "--benchmark_report_aggregates_only=true";
  args.insert(args.begin() + 1, {repetitions, interleave, aggregates});
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  auto& t = reporter.medians;
  for (const char* program : {"BM_Diskmason", "BM_DiskmasonNewImage", "BM_DiskmasonBefore"}) {
    if (t.count(program) && t.count("BM_MtoolsRecursive")) {
      std::printf("%s / mtools (mformat + mcopy -s) time ratio: %.3f\n", program + 3,
                  t[program] / t["BM_MtoolsRecursive"]);
    }
  }
  std::vector<std::pair<const char*, std::string>> programs = {{"diskmason", DISKMASON_PATH}};
  if (before != nullptr) programs.emplace_back("diskmason before", before);
  for (const auto& [name, program] : programs) {
    long peak = peak_kbytes({program, path("disk.lst"), path("peak.dcp")});
    long peakLarge = peak_kbytes({program, path("large.lst"), path("peak.dcp")});
    std::printf("%s peak memory: %ld KB (%d files), %ld KB (%d files)\n", name, peak, HOST_FILES,
                peakLarge, LARGE_LIST_FILES);
    report_system_calls(name, program);
  }
  run({"rm", "-rf", folder});
  return 0;
}
