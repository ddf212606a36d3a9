// bytequill end to end (the built program, as a user runs it) on two 64 MB
// assembler sources, each against its peer on the same file:
// - literal-dense (a $SJIS literal every third line) against iconv converting
//   the whole file from UTF-8 to SHIFT_JISX0213;
// - literal-free (the same text without markers) against cat.
// After the Google Benchmark runs it times the programs in alternating
// rounds and prints each ratio of medians, with bytequill's peak memory.
//
//   cmake --build build-rel --target bytequill_perftest && build-rel/bench/bytequill_perftest
//   build-rel/bench/bytequill_perftest --bin=OTHER/bin     (another build's bytequill)
//   options: --rounds=N (default 7), --benchmark_filter=NONE to skip to the rounds
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench/bench_support.h"

namespace {

constexpr std::size_t SOURCE_BYTES = 64u * 1024 * 1024;

std::string& bytequill_path() {
  static std::string bin;
  return bin;
}

Contender bytequill(const char* input, const char* output) {
  return Contender{{bytequill_path(), path(input), path(output)}, "/dev/null"};
}

Contender iconv_of(const char* input, const char* output) {
  return Contender{{"iconv", "-f", "UTF-8", "-t", "SHIFT_JISX0213", path(input)}, path(output)};
}

Contender cat_of(const char* input, const char* output) { return Contender{{"cat", path(input)}, path(output)}; }

void BM_Program(benchmark::State& state, Contender c) {
  for (auto _ : state) {
    if (run(c.args, c.stdoutPath.c_str()) != 0) state.SkipWithError("the program failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(SOURCE_BYTES));
}

void print_ratio(const char* what, const Contender& ours, const char* peer, const Contender& theirs) {
  if (ours.failed || theirs.failed) {
    std::printf("%s: a run failed\n", what);
    return;
  }
  std::printf("%-40s %.2f  (bytequill %.3f s, %s %.3f s)\n", what, ours.median / theirs.median, ours.median,
              peer, theirs.median);
}

}  // namespace

int main(int argc, char** argv) {
  const BenchOptions options = take_bench_options(&argc, argv, BYTEQUILL_DIR);
  bytequill_path() = options.bin + "/bytequill";
  if (!bench_make_dir("bytequill_perf")) return 1;
  write_whole(path("dense.asm"), make_filter_source("$SJIS", SOURCE_BYTES));
  write_whole(path("free.asm"), make_filter_source("$TEXT", SOURCE_BYTES));

  for (auto* bench : {benchmark::RegisterBenchmark("BM_BytequillDense", BM_Program, bytequill("dense.asm", "dense.s")),
                      benchmark::RegisterBenchmark("BM_IconvDense", BM_Program, iconv_of("dense.asm", "iconv.s")),
                      benchmark::RegisterBenchmark("BM_BytequillFree", BM_Program, bytequill("free.asm", "free.s")),
                      benchmark::RegisterBenchmark("BM_CatFree", BM_Program, cat_of("free.asm", "cat.s"))}) {
    bench->Unit(benchmark::kMillisecond)->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  Contender dense = bytequill("dense.asm", "dense.s");
  Contender iconv = iconv_of("dense.asm", "iconv.s");
  Contender free = bytequill("free.asm", "free.s");
  Contender cat = cat_of("free.asm", "cat.s");
  alternate({&dense, &iconv, &free, &cat}, options.rounds);
  std::printf("\n%s, medians of %d alternating rounds, load %.2f:\n", bytequill_path().c_str(), options.rounds,
              load_average());
  print_ratio("bytequill / iconv, literal-dense 64 MB:", dense, "iconv", iconv);
  print_ratio("bytequill / cat, literal-free 64 MB:", free, "cat", cat);
  std::printf("%-40s %.1f MB (dense), %.1f MB (free)\n", "bytequill peak memory:",
              static_cast<double>(peak_memory_kb(dense.args)) / 1024, static_cast<double>(peak_memory_kb(free.args)) / 1024);

  for (const char* name : {"dense.asm", "free.asm", "dense.s", "iconv.s", "free.s", "cat.s"}) {
    std::remove(path(name).c_str());
  }
  rmdir(bench_dir().c_str());
  return 0;
}
