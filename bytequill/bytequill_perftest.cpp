// bytequill end to end (the built program, as a user runs it) against cat of
// the same 64 MB assembler source, and the filter alone in-process. Prints
// the time ratio bytequill / cat after the runs. The byte lists make the
// output about twice the input, so writing it back to disk weighs in too.
//
//   cmake --build build --target bytequill_perftest && build/bench/bytequill_perftest
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "bytequill/sjis_filter.h"
#include "bench/ratio_reporter.h"

extern char** environ;

namespace {

std::string workDir;

std::string path(const char* name) { return workDir + "/" + name; }

// About 64 MB of source: code lines, comments and $SJIS literals of
// Japanese and ASCII text, a literal every third line.
std::string make_source() {
  static const char* const phrases[] = {
      "こんにちは、世界！", "メインメニュー", "セーブデータがありません。", "漢字とかなの表示テスト",
      "ｱｲｳｴｵ半角カナ", "Press any key", "第一章　始まりの朝", "東京都千代田区霞が関一丁目",
      "吾輩は猫である。名前はまだ無い。", "どこで生れたかとんと見当がつかぬ。",
  };
  std::string source;
  source.reserve(65u * 1024 * 1024);
  for (int i = 0; source.size() < 64u * 1024 * 1024; ++i) {
    source += "msg" + std::to_string(i) + ":\tdb\t$SJIS(\"" + phrases[i % 10] + phrases[(i * 7 + 3) % 10] +
              "\"), 0dh, 0ah, 0\n\tmov\tax, " + std::to_string(i % 65536) + "\t; 表示する\n\tcall\tprint\n";
  }
  return source;
}

void write_whole(const std::string& file, const std::string& bytes) {
  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// Runs a program to its end, standard output to stdout_path; returns its status.
int run(const std::vector<std::string>& args, const char* stdout_path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, stdout_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
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

void BM_BytequillProgram(benchmark::State& state) {
  std::vector<std::string> args = {BYTEQUILL_PATH, path("in.asm"), path("out.s")};
  for (auto _ : state) {
    if (run(args, "/dev/null") != 0) state.SkipWithError("bytequill failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// The same run with the output thrown away: the filter's own cost, without
// the writing back of the 2x larger output file.
void BM_BytequillProgramToNull(benchmark::State& state) {
  std::vector<std::string> args = {BYTEQUILL_PATH, path("in.asm"), "/dev/null"};
  for (auto _ : state) {
    if (run(args, "/dev/null") != 0) state.SkipWithError("bytequill failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Cat(benchmark::State& state) {
  std::vector<std::string> args = {"cat", path("in.asm")};
  std::string out = path("cat.s");
  for (auto _ : state) {
    if (run(args, out.c_str()) != 0) state.SkipWithError("cat failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_FilterInProcess(benchmark::State& state) {
  for (auto _ : state) {
    std::FILE* in = std::fopen(path("in.asm").c_str(), "rb");
    std::FILE* out = std::fopen(path("inproc.s").c_str(), "wb");
    if (!in || !out || !filter_sjis_literals(in, out)) state.SkipWithError("filter failed");
    if (in) std::fclose(in);
    if (out) std::fclose(out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

int main(int argc, char** argv) {
  char dirTemplate[] = "/tmp/bytequill_perf.XXXXXX";
  if (!mkdtemp(dirTemplate)) return 1;
  workDir = dirTemplate;
  const std::string source = make_source();
  write_whole(path("in.asm"), source);
  const auto size = static_cast<std::int64_t>(source.size());
  for (auto* bench : {benchmark::RegisterBenchmark("BM_BytequillProgram", BM_BytequillProgram),
                      benchmark::RegisterBenchmark("BM_BytequillProgramToNull", BM_BytequillProgramToNull),
                      benchmark::RegisterBenchmark("BM_Cat", BM_Cat),
                      benchmark::RegisterBenchmark("BM_FilterInProcess", BM_FilterInProcess)}) {
    bench->Arg(size)->Unit(benchmark::kMillisecond)->UseRealTime();
  }

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  auto& t = reporter.realTimes;
  if (t.count("BM_BytequillProgram") && t.count("BM_Cat")) {
    std::printf("bytequill / cat time ratio on %.1f MB: %.2f\n", static_cast<double>(size) / (1 << 20),
                t["BM_BytequillProgram"] / t["BM_Cat"]);
  }
  for (const char* name : {"in.asm", "out.s", "cat.s", "inproc.s"}) std::remove(path(name).c_str());
  rmdir(workDir.c_str());
  return 0;
}
