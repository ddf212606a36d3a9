// glyphmint end to end (analysis pass, rewind, writing pass) against
// bytequill on the same 16 MB literal-dense source (every line a literal of
// 4 to 40 random kana, kanji and ASCII characters), its literals written
// $CJIS and $SJIS; both are the built programs, as users run them. After the
// Google Benchmark runs it times both in alternating rounds and prints the
// ratio of medians, with glyphmint's peak memory.
//
//   cmake --build build-rel --target glyphmint_perftest && build-rel/bench/glyphmint_perftest
//   build-rel/bench/glyphmint_perftest --bin=OTHER/bin     (another build's programs)
//   options: --rounds=N (default 7), --benchmark_filter=NONE to skip to the rounds
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench/bench_support.h"

namespace {

constexpr std::size_t SOURCE_BYTES = 16u * 1024 * 1024;

void BM_Program(benchmark::State& state, Contender c) {
  for (auto _ : state) {
    if (run(c.args, c.stdoutPath.c_str()) != 0) state.SkipWithError("the program failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(SOURCE_BYTES));
}

}  // namespace

int main(int argc, char** argv) {
  const BenchOptions options = take_bench_options(&argc, argv, GLYPHMINT_DIR);
  if (!bench_make_dir("glyphmint_perf")) return 1;
  write_whole(path("cjis.asm"), make_dense_source("$CJIS", SOURCE_BYTES));
  write_whole(path("sjis.asm"), make_dense_source("$SJIS", SOURCE_BYTES));
  Contender glyphmint{{options.bin + "/glyphmint", path("cjis.asm"), path("cjis.s")}, "/dev/null"};
  Contender bytequill{{options.bin + "/bytequill", path("sjis.asm"), path("sjis.s")}, "/dev/null"};

  for (auto* bench : {benchmark::RegisterBenchmark("BM_Glyphmint", BM_Program, glyphmint),
                      benchmark::RegisterBenchmark("BM_Bytequill", BM_Program, bytequill)}) {
    bench->Unit(benchmark::kMillisecond)->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  alternate({&glyphmint, &bytequill}, options.rounds);
  std::printf("\n%s, medians of %d alternating rounds, load %.2f:\n", options.bin.c_str(), options.rounds,
              load_average());
  if (glyphmint.failed || bytequill.failed) {
    std::printf("glyphmint / bytequill: a run failed\n");
  } else {
    std::printf("%-40s %.2f  (glyphmint %.3f s, bytequill %.3f s)\n", "glyphmint / bytequill, literal-dense 16 MB:",
                glyphmint.median / bytequill.median, glyphmint.median, bytequill.median);
  }
  std::printf("%-40s %.1f MB\n", "glyphmint peak memory:", static_cast<double>(peak_memory_kb(glyphmint.args)) / 1024);

  for (const char* name : {"cjis.asm", "cjis.s", "sjis.asm", "sjis.s"}) std::remove(path(name).c_str());
  rmdir(bench_dir().c_str());
  return 0;
}
