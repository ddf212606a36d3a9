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
#include "textconv/filter_io.h"
#include "bench/ratio_reporter.h"

namespace {

std::string workDir;

std::string path(const char* name) { return workDir + "/" + name; }

// About 8 MB of source: code lines and literals of Japanese and ASCII text
// drawn from a few hundred different characters.
std::string make_source(const char* marker) {
  static const char* const phrases[] = {
      "こんにちは、世界！", "メインメニュー", "セーブデータがありません。", "漢字とかなの表示テスト",
      "ｱｲｳｴｵ半角カナ", "Press any key", "第一章　始まりの朝", "東京都千代田区霞が関一丁目",
      "吾輩は猫である。名前はまだ無い。", "どこで生れたかとんと見当がつかぬ。",
  };
  std::string source;
  for (int i = 0; source.size() < 8u * 1024 * 1024; ++i) {
    source += "msg" + std::to_string(i) + ":\tdb\t" + marker + "(\"" + phrases[i % 10] + phrases[(i * 7 + 3) % 10] +
              "\"), 0dh, 0ah, 0\n\tmov\tax, " + std::to_string(i % 65536) + "\n\tcall\tprint\n";
  }
  return source;
}

void write_whole(const std::string& file, const std::string& bytes) {
  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

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
  for (auto _ : state) {
    std::FILE* input = nullptr;
    std::FILE* output = nullptr;
    bool ok = open_filter_files("BYTEQUILL", in.c_str(), out.c_str(), &input, &output);
    if (ok) ok = filter_sjis_literals(input, output);
    if (input && !close_filter_files("BYTEQUILL", out.c_str(), input, output)) ok = false;
    if (!ok) state.SkipWithError("bytequill failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

int main(int argc, char** argv) {
  char dirTemplate[] = "/tmp/glyphmint_perf.XXXXXX";
  if (!mkdtemp(dirTemplate)) return 1;
  workDir = dirTemplate;
  const std::string cjis = make_source("$CJIS");
  const std::string sjis = make_source("$SJIS");
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
  rmdir(workDir.c_str());
  return 0;
}
