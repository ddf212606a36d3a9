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
#include "bench/bench_support.h"
#include "bench/ratio_reporter.h"

namespace {

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
  if (!bench_make_dir("bytequill_perf")) return 1;
  const std::string source = make_filter_source("$SJIS", 64u * 1024 * 1024);
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
  rmdir(bench_dir().c_str());
  return 0;
}
