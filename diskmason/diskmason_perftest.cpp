// diskmason packing a full 1.2 MB disk (1024-byte sectors, 8 per track,
// 77 cylinders x 2 heads; several hundred files in nested directories)
// against mtools building the same FAT12 content in the same run: mformat,
// one mmd for all directories and one mcopy per directory, and mformat with
// a single recursive mcopy. Prints the time ratios after the runs.
//
//   cmake --build build --target diskmason_perftest && build/bench/diskmason_perftest
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "diskmason/front/packer.h"
#include "bench/bench_support.h"
#include "bench/ratio_reporter.h"

namespace {

struct Directory {
  std::string name;                // image path, also the host path below tree/
  std::vector<std::string> files;  // image paths of its files
};

std::vector<Directory> directories;
std::vector<std::string> rootFiles;
std::size_t fileCount = 0;
std::size_t dataBytes = 0;

// Host tree and file list: 8 top directories of 4 subdirectories each, files
// of 1 byte to 4 KB spread over them until about 1150 of the 1221 data
// clusters are taken.
void make_disk_content() {
  std::string boot(1024, '\0');
  boot[0] = '\xEB';
  boot[1] = '\x3C';
  boot[2] = '\x90';
  boot[510] = '\x55';
  boot[511] = '\xAA';
  write_whole(path("boot.bin"), boot);
  mkdir(path("tree").c_str(), 0755);
  for (int top = 0; top < 8; ++top) {
    std::string name = "DIR" + std::to_string(top);
    directories.push_back({name, {}});
    mkdir(path("tree/" + name).c_str(), 0755);
    for (int sub = 0; sub < 4; ++sub) {
      std::string inner = name + "/SUB" + std::to_string(sub);
      directories.push_back({inner, {}});
      mkdir(path("tree/" + inner).c_str(), 0755);
    }
  }
  std::string list = path("boot.bin") + " 0x20 0 30 1024 1 1 2 192 1232 0xFE 2 8 2 0\n";
  std::uint32_t seed = 12345;
  std::size_t clusters = directories.size();
  for (int i = 0; clusters < 1150; ++i) {
    seed = seed * 1103515245u + 12345u;
    std::size_t size = 1 + (seed >> 8) % 4096;
    std::string name = "F" + std::to_string(i) + ".BIN";
    std::string imagePath;
    if (i % 20 == 0) {
      imagePath = name;
      rootFiles.push_back(imagePath);
    } else {
      Directory& dir = directories[static_cast<std::size_t>(i) % directories.size()];
      imagePath = dir.name + "/" + name;
      dir.files.push_back(imagePath);
    }
    std::string bytes(size, '\0');
    for (std::size_t b = 0; b < size; ++b) bytes[b] = static_cast<char>((b * 131 + static_cast<std::size_t>(i)) & 0xFF);
    write_whole(path("tree/" + imagePath), bytes);
    list += path("tree/" + imagePath) + " " + imagePath + " 2024-04-01 09:00:00 A\n";
    clusters += (size + 1023) / 1024;
    ++fileCount;
    dataBytes += size;
  }
  write_whole(path("disk.lst"), list);
}

bool mformat(const std::string& image) {
  std::remove(image.c_str());
  return run({"mformat", "-C", "-i", image, "-t", "77", "-h", "2", "-s", "8", "-S", "3", "-M", "1024",
              "-c", "1", "-r", "6", "-L", "2", "-m", "0xFE", "::"}) == 0;
}

void BM_Diskmason(benchmark::State& state) {
  std::vector<std::string> args = {DISKMASON_PATH, path("disk.lst"), path("disk.dcp")};
  for (auto _ : state) {
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

// mformat, one mmd for every directory, one mcopy per directory.
void BM_MtoolsPerDirectory(benchmark::State& state) {
  std::string image = path("mtools.img");
  std::vector<std::string> mmd = {"mmd", "-i", image};
  for (const Directory& dir : directories) mmd.push_back("::" + dir.name);
  std::vector<std::vector<std::string>> copies;
  std::vector<std::string> rootCopy = {"mcopy", "-i", image};
  for (const std::string& f : rootFiles) rootCopy.push_back(path("tree/" + f));
  rootCopy.push_back("::");
  copies.push_back(rootCopy);
  for (const Directory& dir : directories) {
    std::vector<std::string> copy = {"mcopy", "-i", image};
    for (const std::string& f : dir.files) copy.push_back(path("tree/" + f));
    copy.push_back("::" + dir.name);
    copies.push_back(copy);
  }
  for (auto _ : state) {
    bool ok = mformat(image) && run(mmd) == 0;
    for (const auto& copy : copies) ok = ok && run(copy) == 0;
    if (!ok) state.SkipWithError("mtools failed");
  }
}

// mformat and a single recursive mcopy of the host tree.
void BM_MtoolsRecursive(benchmark::State& state) {
  std::string image = path("mtools_s.img");
  std::vector<std::string> copy = {"mcopy", "-s", "-i", image};
  for (const Directory& dir : directories) {
    if (dir.name.find('/') == std::string::npos) copy.push_back(path("tree/" + dir.name));
  }
  for (const std::string& f : rootFiles) copy.push_back(path("tree/" + f));
  copy.push_back("::");
  for (auto _ : state) {
    if (!mformat(image) || run(copy) != 0) state.SkipWithError("mtools failed");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!bench_make_dir("diskmason_perf")) return 1;
  setenv("MTOOLS_SKIP_CHECK", "1", 1);
  setenv("MTOOLS_NO_VFAT", "1", 1);
  make_disk_content();
  std::printf("disk content: %zu files in %zu directories, %zu bytes\n", fileCount, directories.size(),
              dataBytes);
  for (auto* bench : {benchmark::RegisterBenchmark("BM_Diskmason", BM_Diskmason),
                      benchmark::RegisterBenchmark("BM_DiskmasonInProcess", BM_DiskmasonInProcess),
                      benchmark::RegisterBenchmark("BM_MtoolsPerDirectory", BM_MtoolsPerDirectory),
                      benchmark::RegisterBenchmark("BM_MtoolsRecursive", BM_MtoolsRecursive)}) {
    bench->Unit(benchmark::kMillisecond)->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  auto& t = reporter.realTimes;
  for (const char* mtools : {"BM_MtoolsPerDirectory", "BM_MtoolsRecursive"}) {
    if (t.count("BM_Diskmason") && t.count(mtools)) {
      std::printf("diskmason / %s time ratio: %.3f\n", mtools + 3, t["BM_Diskmason"] / t[mtools]);
    }
  }
  run({"rm", "-rf", bench_dir()});
  return 0;
}
