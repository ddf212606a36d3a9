#include "textconv/filter_io.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "textconv/diagnostics.h"

namespace {

// What tells one file from another however its path is spelled: the volume
// serial number and file index on Windows, the device and inode numbers
// elsewhere.
struct FileId {
  bool known;    // the system could tell
  bool regular;  // a regular file (not a folder, device, pipe or socket)
  bool folder;
  std::uint64_t volume;
  std::uint64_t index;
};

#ifdef _WIN32

FileId id_of_handle(HANDLE handle) {
  FileId id{};
  if (handle == INVALID_HANDLE_VALUE) return id;
  const DWORD type = GetFileType(handle);
  BY_HANDLE_FILE_INFORMATION info;
  if (type != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) {
    id.known = type != FILE_TYPE_UNKNOWN;
    return id;
  }
  id.known = true;
  id.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  id.regular = !id.folder && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  id.volume = info.dwVolumeSerialNumber;
  id.index = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
  return id;
}

FileId id_of_stream(std::FILE* file) {
  return id_of_handle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
}

FileId id_of_fd(int fd) { return id_of_handle(reinterpret_cast<HANDLE>(_get_osfhandle(fd))); }

// The file at path, which stays as it is; a link itself unless follow.
// Narrow paths are read in the programs' code page, as the C runtime reads them.
FileId id_of_path(const char* path, bool follow) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE handle = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FileId{};
  const FileId id = id_of_handle(handle);
  CloseHandle(handle);
  return id;
}

// A reader that goes away shows up as a failed write on Windows anyway.
void keep_running_when_readers_leave() {}

int open_for_writing(const char* path) {
  return _open(path, _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

bool make_empty(int fd) { return _chsize_s(fd, 0) == 0; }

std::FILE* stream_for_writing(int fd) { return _fdopen(fd, "wb"); }

void close_fd(int fd) { _close(fd); }

bool remove_path(const char* path) { return std::remove(path) == 0; }

#else

FileId id_of_stat(const struct stat& st) {
  return FileId{true, S_ISREG(st.st_mode), S_ISDIR(st.st_mode), static_cast<std::uint64_t>(st.st_dev),
                static_cast<std::uint64_t>(st.st_ino)};
}

FileId id_of_fd(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 ? id_of_stat(st) : FileId{};
}

FileId id_of_stream(std::FILE* file) { return id_of_fd(fileno(file)); }

// The file at path; a link itself unless follow.
FileId id_of_path(const char* path, bool follow) {
  struct stat st;
  return (follow ? stat(path, &st) : lstat(path, &st)) == 0 ? id_of_stat(st) : FileId{};
}

// A reader that goes away must show up as a failed write, not end the run
// silently.
void keep_running_when_readers_leave() { std::signal(SIGPIPE, SIG_IGN); }

int open_for_writing(const char* path) { return open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666); }

bool make_empty(int fd) { return ftruncate(fd, 0) == 0; }

std::FILE* stream_for_writing(int fd) { return fdopen(fd, "wb"); }

void close_fd(int fd) { close(fd); }

bool remove_path(const char* path) { return unlink(path) == 0; }

#endif

// True when both name one regular file; writing to a device or pipe that is
// also the input destroys nothing.
bool same_file(const FileId& a, const FileId& b) {
  return a.known && b.known && a.regular && b.regular && a.volume == b.volume && a.index == b.index;
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
  keep_running_when_readers_leave();

  std::FILE* in = std::fopen(input_path, "rb");
  const char* why = in ? nullptr : std::strerror(errno);
  const FileId inId = in ? id_of_stream(in) : FileId{};
  if (in && (!inId.known || inId.folder)) {
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
  if (same_file(inId, id_of_path(output_path, true))) {
    refuse_overwrite(program, output_path, diagnostics);
    std::fclose(in);
    return false;
  }
  int fd = open_for_writing(output_path);
  if (fd < 0) {
    report_open(program, output_path, "writing", std::strerror(errno), diagnostics);
    std::fclose(in);
    return false;
  }
  const FileId outId = id_of_fd(fd);
  bool opened = outId.known;
  if (opened && same_file(inId, outId)) {
    refuse_overwrite(program, output_path, diagnostics);
    close_fd(fd);
    std::fclose(in);
    return false;
  }
  // Devices and pipes cannot be truncated; regular files must be.
  if (opened && outId.regular) opened = make_empty(fd);
  std::FILE* out = opened ? stream_for_writing(fd) : nullptr;
  if (!out) {
    why = std::strerror(errno);
    close_fd(fd);
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
  const FileId id = id_of_stream(output);
  return OutputFile{id.known && id.regular, id.volume, id.index};
}

bool remove_output_file(const char* path, const OutputFile& file) {
  // Only the file that was written, under its own name: never a device such
  // as /dev/null, nor a link (/dev/stdout) that only points at it.
  const FileId id = id_of_path(path, false);
  if (!file.regular || !id.known || !id.regular || id.volume != file.device || id.index != file.inode) return false;
  return remove_path(path);
}
