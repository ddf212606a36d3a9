// Helpers shared by the toolkit's benchmark programs: a scratch folder,
// whole-file writes, running a program to its end, and generated sources.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

// Runs a program (looked up on PATH) to its end with its standard output in
// stdoutPath and, when quiet, its standard error thrown away; returns its
// exit status, or -1.
inline int run(const std::vector<std::string>& args, const char* stdoutPath = "/dev/null",
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
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    waitpid(pid, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
