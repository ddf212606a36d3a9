#include "textconv/filter_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "textconv/diagnostics.h"

namespace {

// True when both name one regular file; writing to a device or pipe that is
// also the input destroys nothing.
bool same_file(const struct stat& a, const struct stat& b) {
  return S_ISREG(a.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void refuse_overwrite(const char* program, const char* output_path, Diagnostics* diagnostics) {
  std::printf("%s won't write over its input %s\n", program, output_path);
  std::fflush(stdout);
  if (diagnostics) {
    explain_at(*diagnostics, SourcePlace{output_path, 0, 0},
               "the output is the input file; writing would destroy it");
  }
}

// why: the cause, such as strerror(errno).
void report_open(const char* program, const char* path, const char* purpose, const char* why,
                 Diagnostics* diagnostics) {
  std::printf("%s couldn't open %s for %s\n", program, path, purpose);
  std::fflush(stdout);
  if (diagnostics) explain_at(*diagnostics, SourcePlace{path, 0, 0}, "cannot open for %s: %s", purpose, why);
}

}  // namespace

bool open_filter_files(const char* program, const char* input_path, const char* output_path,
                       std::FILE** input, std::FILE** output, Diagnostics* diagnostics) {
  *input = nullptr;
  *output = nullptr;
  // A reader that goes away must show up as a failed write, not end the run
  // silently.
  std::signal(SIGPIPE, SIG_IGN);

  std::FILE* in = std::fopen(input_path, "rb");
  const char* why = in ? nullptr : std::strerror(errno);
  struct stat inStat;
  if (in && (fstat(fileno(in), &inStat) != 0 || S_ISDIR(inStat.st_mode))) {
    std::fclose(in);
    in = nullptr;
    why = "it is a folder";
  }
  if (!in) {
    report_open(program, input_path, "reading", why, diagnostics);
    return false;
  }

  // The output is opened without truncating it, so that naming the input
  // (by any spelling or link) can be refused while the input is untouched.
  struct stat outStat;
  if (stat(output_path, &outStat) == 0 && same_file(inStat, outStat)) {
    refuse_overwrite(program, output_path, diagnostics);
    std::fclose(in);
    return false;
  }
  int fd = open(output_path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    report_open(program, output_path, "writing", std::strerror(errno), diagnostics);
    std::fclose(in);
    return false;
  }
  bool opened = fstat(fd, &outStat) == 0;
  if (opened && same_file(inStat, outStat)) {
    refuse_overwrite(program, output_path, diagnostics);
    close(fd);
    std::fclose(in);
    return false;
  }
  // Devices and pipes cannot be truncated; regular files must be.
  if (opened && S_ISREG(outStat.st_mode)) opened = ftruncate(fd, 0) == 0;
  std::FILE* out = opened ? fdopen(fd, "wb") : nullptr;
  if (!out) {
    why = std::strerror(errno);
    close(fd);
    report_open(program, output_path, "writing", why, diagnostics);
    std::fclose(in);
    return false;
  }
  // The filters gather their output in large pieces themselves; a stream
  // buffer would only split them.
  std::setvbuf(out, nullptr, _IONBF, 0);
  *input = in;
  *output = out;
  return true;
}

bool close_filter_files(const char* program, const char* output_path, std::FILE* input,
                        std::FILE* output, Diagnostics* diagnostics) {
  // A failed write leaves its cause in errno, and so does a failing flush of
  // what is left; a clean flush leaves no cause to name.
  int cause = 0;
  bool written = !std::ferror(output);
  if (!written) cause = errno;
  if (std::fflush(output) != 0) {
    written = false;
    cause = errno;
  }
  if (std::fclose(output) != 0 && written) {
    written = false;
    cause = errno;
  }
  bool read = !std::ferror(input);
  std::fclose(input);
  if (!written) {
    std::printf("%s couldn't write %s\n", program, output_path);
    std::fflush(stdout);
    if (diagnostics) {
      explain_at(*diagnostics, SourcePlace{output_path, 0, 0}, "writing failed: %s",
                 cause != 0 ? std::strerror(cause) : "unknown cause");
    }
  }
  if (!read) {
    std::printf("%s couldn't read its input\n", program);
    std::fflush(stdout);
    if (diagnostics) explain_at(*diagnostics, SourcePlace{nullptr, 0, 0}, "reading the input failed");
  }
  return written && read;
}

OutputFile identify_output(std::FILE* output) {
  struct stat st;
  if (fstat(fileno(output), &st) != 0) return OutputFile{false, 0, 0};
  return OutputFile{S_ISREG(st.st_mode), static_cast<std::uint64_t>(st.st_dev),
                    static_cast<std::uint64_t>(st.st_ino)};
}

bool remove_output_file(const char* path, const OutputFile& file) {
  // Only the file that was written, under its own name: never a device such
  // as /dev/null, nor a link (/dev/stdout) that only points at it.
  struct stat st;
  if (!file.regular || lstat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (static_cast<std::uint64_t>(st.st_dev) != file.device || static_cast<std::uint64_t>(st.st_ino) != file.inode) {
    return false;
  }
  return unlink(path) == 0;
}
