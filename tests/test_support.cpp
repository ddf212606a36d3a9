#include "tests/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

// A path from UTF-8 text, whatever the platform's own encoding of names.
std::filesystem::path utf8_path(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string new_temp_dir() {
#ifdef _WIN32
  std::error_code error;
  std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error) return "";
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path dir = base / ("tktest." + std::to_string(random() % 1000000000));
    if (std::filesystem::create_directory(dir, error)) {
      std::u8string name = dir.generic_u8string();
      return std::string(name.begin(), name.end());
    }
  }
  return "";
#else
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base ? base : "/tmp") + "/tktest.XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) return "";
  return buf.data();
#endif
}

void remove_tree(const std::string& path) {
  std::error_code ignored;
  if (!path.empty()) std::filesystem::remove_all(utf8_path(path), ignored);
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

std::string make_temp_dir() {
  std::string dir = new_temp_dir();
  if (!dir.empty()) temp_dirs().paths.push_back(dir);
  return dir;
}

ScratchDir::ScratchDir() : path_(new_temp_dir()) {}

ScratchDir::~ScratchDir() { remove_tree(path_); }

std::string read_file(const std::string& path) {
  std::ifstream in(utf8_path(path), std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(utf8_path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool file_exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(utf8_path(path), ignored);
}

RunResult run_program_in(const std::string& folder, const std::string& path, const std::vector<std::string>& args) {
  const std::filesystem::path program = std::filesystem::absolute(path);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  RunResult r = run_program(program.string(), args);
  std::filesystem::current_path(previous);
  return r;
}
