#include "tests/test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string collect(FILE* pipe) {
  std::string out;
  char chunk[4096];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, got);
  return out;
}

int decode_status(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1; }

std::string new_temp_dir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base ? base : "/tmp") + "/tktest.XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) return "";
  return buf.data();
}

void remove_tree(const std::string& path) {
  std::error_code ignored;
  if (!path.empty()) std::filesystem::remove_all(path, ignored);
}

// Folders made by make_temp_dir, removed when the test program ends.
struct TempDirs {
  std::vector<std::string> paths;
  ~TempDirs() {
    for (const std::string& path : paths) remove_tree(path);
  }
};

TempDirs& temp_dirs() {
  static TempDirs dirs;
  return dirs;
}

}  // namespace

std::string program_path(const std::string& name) {
  const char* dir = std::getenv("TK_BIN_DIR");
  return std::string(dir ? dir : "build/bin") + "/" + name;
}

RunResult run_program(const std::string& path, const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) return {-1, ""};
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], STDOUT_FILENO);
    close(fds[1]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  FILE* pipe_in = fdopen(fds[0], "rb");
  std::string out = collect(pipe_in);
  fclose(pipe_in);
  int raw = 0;
  waitpid(pid, &raw, 0);
  return {decode_status(raw), out};
}

RunResult run_shell(const std::string& command) {
  FILE* pipe_in = popen(command.c_str(), "r");
  if (!pipe_in) return {-1, ""};
  std::string out = collect(pipe_in);
  return {decode_status(pclose(pipe_in)), out};
}

std::string make_temp_dir() {
  std::string dir = new_temp_dir();
  if (!dir.empty()) temp_dirs().paths.push_back(dir);
  return dir;
}

ScratchDir::ScratchDir() : path_(new_temp_dir()) {}

ScratchDir::~ScratchDir() { remove_tree(path_); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool tool_available(const std::string& name) {
  return run_shell("command -v " + name + " >/dev/null 2>&1").status == 0;
}

bool tool_required_in_ci() {
  const char* ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}
