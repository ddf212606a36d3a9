#include "textconv/filter_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

namespace {

// True when both name one regular file; writing to a device or pipe that is
// also the input destroys nothing.
bool same_file(const struct stat& a, const struct stat& b) {
  return S_ISREG(a.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void refuse_overwrite(const char* program, const char* output_path) {
  std::printf("%s won't write over its input %s\n", program, output_path);
  std::fflush(stdout);
}

void report_open(const char* program, const char* path, const char* purpose) {
  std::printf("%s couldn't open %s for %s\n", program, path, purpose);
  std::fflush(stdout);
}

}  // namespace

bool open_filter_files(const char* program, const char* input_path, const char* output_path,
                       std::FILE** input, std::FILE** output) {
  *input = nullptr;
  *output = nullptr;
  // A reader that goes away must show up as a failed write, not end the run
  // silently.
  std::signal(SIGPIPE, SIG_IGN);

  std::FILE* in = std::fopen(input_path, "rb");
  struct stat inStat;
  if (in && (fstat(fileno(in), &inStat) != 0 || S_ISDIR(inStat.st_mode))) {
    std::fclose(in);
    in = nullptr;
  }
  if (!in) {
    report_open(program, input_path, "reading");
    return false;
  }

  // The output is opened without truncating it, so that naming the input
  // (by any spelling or link) can be refused while the input is untouched.
  struct stat outStat;
  if (stat(output_path, &outStat) == 0 && same_file(inStat, outStat)) {
    refuse_overwrite(program, output_path);
    std::fclose(in);
    return false;
  }
  int fd = open(output_path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    report_open(program, output_path, "writing");
    std::fclose(in);
    return false;
  }
  bool opened = fstat(fd, &outStat) == 0;
  if (opened && same_file(inStat, outStat)) {
    refuse_overwrite(program, output_path);
    close(fd);
    std::fclose(in);
    return false;
  }
  // Devices and pipes cannot be truncated; regular files must be.
  if (opened && S_ISREG(outStat.st_mode)) opened = ftruncate(fd, 0) == 0;
  std::FILE* out = opened ? fdopen(fd, "wb") : nullptr;
  if (!out) {
    close(fd);
    report_open(program, output_path, "writing");
    std::fclose(in);
    return false;
  }
  *input = in;
  *output = out;
  return true;
}

bool close_filter_files(const char* program, const char* output_path, std::FILE* input,
                        std::FILE* output) {
  bool written = !std::ferror(output);
  if (std::fflush(output) != 0) written = false;
  if (std::fclose(output) != 0) written = false;
  bool read = !std::ferror(input);
  std::fclose(input);
  if (!written) {
    std::printf("%s couldn't write %s\n", program, output_path);
    std::fflush(stdout);
  }
  if (!read) {
    std::printf("%s couldn't read its input\n", program);
    std::fflush(stdout);
  }
  return written && read;
}
