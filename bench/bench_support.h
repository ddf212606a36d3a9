// Helpers shared by the toolkit's benchmark programs: a scratch folder,
// whole-file writes, running a program to its end, alternating timed runs of
// programs on the same input, and generated sources.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

extern char** environ;

// The benchmark's scratch folder, made by bench_make_dir.
inline std::string& bench_dir() {
  static std::string dir;
  return dir;
}

// Makes a fresh scratch folder /tmp/PREFIX.XXXXXX; false when it cannot.
inline bool bench_make_dir(const std::string& prefix) {
  std::string pattern = "/tmp/" + prefix + ".XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) return false;
  bench_dir() = buffer.data();
  return true;
}

inline std::string path(const std::string& name) { return bench_dir() + "/" + name; }

inline void write_whole(const std::string& file, const std::string& bytes) {
  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// How one program run ended.
struct RunStats {
  int status;      // exit status, or -1
  double seconds;  // wall time from start to end
};

// Runs a program (looked up on PATH) to its end with its standard output in
// stdoutPath and, when quiet, its standard error thrown away.
inline RunStats run_measured(const std::vector<std::string>& args, const char* stdoutPath = "/dev/null",
                             bool quiet = true) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, stdoutPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (quiet) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  int status = -1;
  const auto start = std::chrono::steady_clock::now();
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    waitpid(pid, &status, 0);
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  posix_spawn_file_actions_destroy(&actions);
  return RunStats{WIFEXITED(status) ? WEXITSTATUS(status) : -1, elapsed.count()};
}

// run_measured's exit status alone.
inline int run(const std::vector<std::string>& args, const char* stdoutPath = "/dev/null", bool quiet = true) {
  return run_measured(args, stdoutPath, quiet).status;
}

// Peak resident memory of one run of a program in KB, as GNU time reports
// it, or -1 without /usr/bin/time. (A child's own rusage would include the
// benchmark's memory, which the child shares until it starts the program.)
inline long peak_memory_kb(const std::vector<std::string>& args) {
  const std::string report = bench_dir() + "/peak-memory.txt";
  std::vector<std::string> timed = {"/usr/bin/time", "-f", "%M", "-o", report};
  timed.insert(timed.end(), args.begin(), args.end());
  if (access("/usr/bin/time", X_OK) != 0 || run(timed) != 0) return -1;
  long kb = -1;
  if (std::FILE* f = std::fopen(report.c_str(), "rb")) {
    if (std::fscanf(f, "%ld", &kb) != 1) kb = -1;
    std::fclose(f);
  }
  std::remove(report.c_str());
  return kb;
}

// One program in a comparison, with where its standard output goes.
struct Contender {
  std::vector<std::string> args;
  std::string stdoutPath;
  // Filled in by alternate().
  double median = 0;
  bool failed = false;
};

// Runs the contenders one after the other, `rounds` times over, so that a
// change in the machine's load hits all of them alike; each gets the median
// of its wall times. Each run starts with no unwritten file data in the
// system (sync), so that none pays for writing back what ran before it.
inline void alternate(std::vector<Contender*> contenders, int rounds) {
  std::vector<std::vector<double>> times(contenders.size());
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t i = 0; i < contenders.size(); ++i) {
      Contender& c = *contenders[i];
      sync();
      RunStats stats = run_measured(c.args, c.stdoutPath.c_str());
      c.failed = c.failed || stats.status != 0;
      times[i].push_back(stats.seconds);
    }
  }
  for (std::size_t i = 0; i < contenders.size(); ++i) {
    std::sort(times[i].begin(), times[i].end());
    contenders[i]->median = times[i].empty() ? 0 : times[i][times[i].size() / 2];
  }
}

// Takes "--bin=DIR" (where the toolkit's programs are, to measure another
// build) and "--rounds=N" out of the command line.
struct BenchOptions {
  std::string bin;
  int rounds = 7;
};

inline BenchOptions take_bench_options(int* argc, char** argv, const char* defaultBin) {
  BenchOptions options{defaultBin};
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    if (std::strncmp(argv[i], "--bin=", 6) == 0) {
      options.bin = argv[i] + 6;
    } else if (std::strncmp(argv[i], "--rounds=", 9) == 0) {
      options.rounds = std::max(1, std::atoi(argv[i] + 9));
    } else {
      argv[kept++] = argv[i];
    }
  }
  *argc = kept;
  return options;
}

// Load of the machine over the last minute, as uptime shows it.
inline double load_average() {
  double load[1] = {0};
  return getloadavg(load, 1) == 1 ? load[0] : -1;
}

// About `bytes` bytes of assembler source: code lines, comments and literals
// written MARKER("...") of Japanese and ASCII text, a literal every third line.
inline std::string make_filter_source(const char* marker, std::size_t bytes) {
  static const char* const phrases[] = {
      "こんにちは、世界！", "メインメニュー", "セーブデータがありません。", "漢字とかなの表示テスト",
      "ｱｲｳｴｵ半角カナ", "Press any key", "第一章　始まりの朝", "東京都千代田区霞が関一丁目",
      "吾輩は猫である。名前はまだ無い。", "どこで生れたかとんと見当がつかぬ。",
  };
  std::string source;
  source.reserve(bytes + 256);
  for (int i = 0; source.size() < bytes; ++i) {
    source += "msg" + std::to_string(i) + ":\tdb\t" + marker + "(\"" + phrases[i % 10] +
              phrases[(i * 7 + 3) % 10] + "\"), 0dh, 0ah, 0\n\tmov\tax, " + std::to_string(i % 65536) +
              "\t; 表示する\n\tcall\tprint\n";
  }
  return source;
}

// About `bytes` bytes of literal-dense assembler source, as in a game's
// message tables: every line a MARKER("...") literal of 4 to 40 characters
// drawn at random from hiragana and katakana (each three times as likely),
// 40 kanji and 41 ASCII characters. The same sequence every time, so that
// runs compare like with like.
inline std::string make_dense_source(const char* marker, std::size_t bytes) {
  std::vector<std::string> pool;
  const auto add_character = [&pool](std::uint32_t c) {  // c from U+0800 to U+FFFF
    pool.push_back({static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))});
  };
  for (int copy = 0; copy < 3; ++copy) {
    for (std::uint32_t c = 0x3041; c <= 0x3093; ++c) add_character(c);
    for (std::uint32_t c = 0x30A1; c <= 0x30F6; ++c) add_character(c);
  }
  const std::string kanji = "漢字日本語文章表示設定画面開始終了選択決定取消戦闘魔法道具装備状態回復攻撃防御";
  for (std::size_t i = 0; i + 3 <= kanji.size(); i += 3) pool.push_back(kanji.substr(i, 3));
  for (char c : std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 !?.,")) pool.push_back(std::string(1, c));

  std::mt19937 random(57);
  std::string source;
  source.reserve(bytes + 256);
  char label[32];
  for (unsigned line = 0; source.size() < bytes; ++line) {
    std::snprintf(label, sizeof label, "msg%06u:\tdb\t", line);
    source += label;
    source += marker;
    source += "(\"";
    const auto length = static_cast<std::uint32_t>(4 + random() % 37);
    for (std::uint32_t k = 0; k < length; ++k) source += pool[random() % pool.size()];
    source += "\"),0\n";
  }
  return source;
}
