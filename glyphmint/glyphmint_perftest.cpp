// glyphmint end to end (analysis pass, rewind, writing pass) against
// bytequill on the same large source, its literals written $CJIS and $SJIS.
// Prints the time ratio glyphmint / bytequill (real and cpu) after the runs.
//
//   cmake --build build --target glyphmint_perftest && build/bench/glyphmint_perftest
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "bytequill/sjis_filter.h"
#include "glyphmint/cjis_filter.h"
#include "bench/bench_support.h"
#include "bench/ratio_reporter.h"

namespace {

void BM_Glyphmint(benchmark::State& state) {
  std::string in = path("cjis.asm");
  std::string out = path("cjis.s");
  char* argv[] = {const_cast<char*>("glyphmint"), in.data(), out.data()};
  for (auto _ : state) {
    if (run_glyphmint(3, argv) != 0) state.SkipWithError("glyphmint failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Bytequill(benchmark::State& state) {
  std::string in = path("sjis.asm");
  std::string out = path("sjis.s");
  char* argv[] = {const_cast<char*>("bytequill"), in.data(), out.data()};
  for (auto _ : state) {
    if (run_bytequill(3, argv) != 0) state.SkipWithError("bytequill failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

int main(int argc, char** argv) {
  if (!bench_make_dir("glyphmint_perf")) return 1;
  const std::string cjis = make_filter_source("$CJIS", 8u * 1024 * 1024);
  const std::string sjis = make_filter_source("$SJIS", 8u * 1024 * 1024);
  write_whole(path("cjis.asm"), cjis);
  write_whole(path("sjis.asm"), sjis);
  benchmark::RegisterBenchmark("BM_Glyphmint", BM_Glyphmint)->Arg(static_cast<std::int64_t>(cjis.size()))->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_Bytequill", BM_Bytequill)->Arg(static_cast<std::int64_t>(sjis.size()))->Unit(benchmark::kMillisecond);

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (reporter.realTimes.count("BM_Glyphmint") && reporter.realTimes.count("BM_Bytequill")) {
    std::printf("glyphmint / bytequill time ratio: %.2f (real), %.2f (cpu)\n",
                reporter.realTimes["BM_Glyphmint"] / reporter.realTimes["BM_Bytequill"],
                reporter.cpuTimes["BM_Glyphmint"] / reporter.cpuTimes["BM_Bytequill"]);
  }
  for (const char* name : {"cjis.asm", "cjis.s", "sjis.asm", "sjis.s"}) std::remove(path(name).c_str());
  rmdir(bench_dir().c_str());
  return 0;
}
