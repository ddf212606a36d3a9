// Throughput of utf8_to_sjis against the C library's iconv (UTF-8 to
// SHIFT_JISX0213) on the same few MB of generated Japanese text, in one run.
// Unless told otherwise, each is measured 5 times with the repetitions of all
// of them interleaved; prints the median bytes per second of each and the
// ratios at the end.
//
//   cmake --build build-rel --target transcoder_perftest && build-rel/bench/transcoder_perftest

#include <benchmark/benchmark.h>
#include <iconv.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "textconv/transcoder.h"
#include "bench/ratio_reporter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t TEXT_CODES = 1500000;  // about 4 MB of UTF-8

// Runs iconv over the whole input; returns false if it stops early.
bool iconv_all(iconv_t cd, const Bytes& in, Bytes& out, std::size_t* written) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* src = const_cast<char*>(reinterpret_cast<const char*>(in.data()));
  char* dst = reinterpret_cast<char*>(out.data());
  std::size_t src_left = in.size();
  std::size_t dst_left = out.size();
  if (iconv(cd, &src, &src_left, &dst, &dst_left) == static_cast<std::size_t>(-1)) return false;
  if (iconv(cd, nullptr, nullptr, &dst, &dst_left) == static_cast<std::size_t>(-1)) return false;
  *written = out.size() - dst_left;
  return src_left == 0;
}

// Shift-JIS text mixing hiragana, kanji, katakana, punctuation and ASCII
// words and line ends, in proportions typical of Japanese prose.
Bytes make_sjis_text() {
  std::mt19937 rng(2024);
  auto pick = [&](unsigned lo, unsigned hi) { return lo + rng() % (hi - lo + 1); };
  auto put2 = [](Bytes& out, unsigned code) {
    out.push_back(static_cast<std::uint8_t>(code >> 8));
    out.push_back(static_cast<std::uint8_t>(code));
  };
  Bytes out;
  for (std::size_t i = 0; i < TEXT_CODES; ++i) {
    unsigned kind = rng() % 100;
    if (kind < 45) {
      put2(out, pick(0x829F, 0x82F1));  // hiragana
    } else if (kind < 75) {
      unsigned lead = pick(0x88, 0x98);  // JIS level 1 kanji
      unsigned trail = lead == 0x88 ? pick(0x9F, 0xFC) : pick(0x40, 0x9E);
      if (trail == 0x7F) trail = 0x80;
      put2(out, lead << 8 | trail);
    } else if (kind < 85) {
      unsigned code = pick(0x8340, 0x8393);  // katakana
      put2(out, code == 0x837F ? 0x8380 : code);
    } else if (kind < 90) {
      put2(out, pick(0x8141, 0x8149));  // punctuation
    } else if (kind < 99) {
      for (unsigned k = pick(2, 8); k > 0; --k) out.push_back(static_cast<std::uint8_t>(pick('a', 'z')));
      out.push_back(' ');
    } else {
      out.push_back('\n');
    }
  }
  return out;
}

struct Corpus {
  Bytes sjis;
  Bytes utf8;
  bool ok = false;
};

// The test text, in UTF-8 (decoded by iconv) and in Shift-JIS; ok when both
// converters turn the UTF-8 back into exactly the Shift-JIS text.
const Corpus& corpus() {
  static Corpus c = [] {
    Corpus r;
    r.sjis = make_sjis_text();
    iconv_t dec = iconv_open("UTF-8", "SHIFT_JISX0213");
    iconv_t enc = iconv_open("SHIFT_JISX0213", "UTF-8");
    if (dec == reinterpret_cast<iconv_t>(-1) || enc == reinterpret_cast<iconv_t>(-1)) return r;
    r.utf8.resize(r.sjis.size() * 2);
    std::size_t n = 0;
    bool decoded = iconv_all(dec, r.sjis, r.utf8, &n);
    r.utf8.resize(n);
    Bytes back(r.utf8.size() * 2);
    std::size_t m = 0;
    bool encoded = iconv_all(enc, r.utf8, back, &m);
    back.resize(m);
    Bytes ours(r.utf8.size() * 2);
    ours.resize(utf8_to_sjis(r.utf8.data(), static_cast<std::uint32_t>(r.utf8.size()), ours.data(),
                             sjis_table.codes, sjis_table.trie));
    r.ok = decoded && encoded && back == r.sjis && ours == r.sjis;
    iconv_close(dec);
    iconv_close(enc);
    return r;
  }();
  return c;
}

void BM_utf8_to_sjis(benchmark::State& state) {
  const Corpus& c = corpus();
  if (!c.ok) return state.SkipWithError("test text could not be prepared");
  Bytes out(c.utf8.size() * 2);
  for (auto _ : state) {
    std::uint32_t n = utf8_to_sjis(c.utf8.data(), static_cast<std::uint32_t>(c.utf8.size()), out.data(),
                                   sjis_table.codes, sjis_table.trie);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.utf8.size()));
}
BENCHMARK(BM_utf8_to_sjis)->Unit(benchmark::kMillisecond);

void BM_utf8_to_sjis16(benchmark::State& state) {
  const Corpus& c = corpus();
  if (!c.ok) return state.SkipWithError("test text could not be prepared");
  Bytes out(c.utf8.size() * 2);
  for (auto _ : state) {
    std::uint32_t n = utf8_to_sjis16(c.utf8.data(), static_cast<std::uint32_t>(c.utf8.size()), out.data(),
                                     sjis_table.codes, sjis_table.trie);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.utf8.size()));
}
BENCHMARK(BM_utf8_to_sjis16)->Unit(benchmark::kMillisecond);

void BM_iconv(benchmark::State& state) {
  const Corpus& c = corpus();
  iconv_t cd = iconv_open("SHIFT_JISX0213", "UTF-8");
  if (!c.ok || cd == reinterpret_cast<iconv_t>(-1)) return state.SkipWithError("iconv is not available");
  Bytes out(c.utf8.size() * 2);
  for (auto _ : state) {
    std::size_t n = 0;
    if (!iconv_all(cd, c.utf8, out, &n)) state.SkipWithError("iconv stopped early");
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.utf8.size()));
}
BENCHMARK(BM_iconv)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // Interleaved repetitions, so that a change in the machine's load does not
  // favour one side; the command line may ask for others.
  std::vector<char*> args(argv, argv + argc);
  static char repetitions[] = "--benchmark_repetitions=5";
  static char interleaving[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, {repetitions, interleaving});
  argc = static_cast<int>(args.size());
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter(isatty(fileno(stdout)) != 0 ? RatioReporter::OO_ColorTabular
                                                         : RatioReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  double load[1] = {0};
  std::printf("text: %zu bytes of UTF-8; load %.2f\n", corpus().utf8.size(),
              getloadavg(load, 1) == 1 ? load[0] : -1.0);
  double iconv_rate = reporter.rates["BM_iconv"];
  for (const char* name : {"BM_utf8_to_sjis", "BM_utf8_to_sjis16"}) {
    double rate = reporter.rates[name];
    if (rate > 0 && iconv_rate > 0)
      std::printf("%s: %.1f MB/s, iconv: %.1f MB/s, ratio %.2f\n", name, rate / 1e6, iconv_rate / 1e6,
                  rate / iconv_rate);
  }
  return 0;
}
