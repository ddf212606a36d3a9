#include "textconv/whole_output.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <new>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>  // renameat2

#include <climits>
#include <cstdlib>
#endif

namespace {

// The temporaries of outputs not finished yet, removed should a signal end
// the run. Only pointers are kept, so the handler does nothing but unlink.
constexpr int MAX_PENDING = 8;
const char* volatile pending[MAX_PENDING];

extern "C" void remove_pending_and_die(int signal) {
  for (const char* volatile& path : pending) {
    if (path != nullptr) ::remove(path);
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void track(const char* path) {
  static bool handled = false;
  if (!handled) {
    handled = true;
    std::signal(SIGINT, remove_pending_and_die);
    std::signal(SIGTERM, remove_pending_and_die);
  }
  for (const char* volatile& slot : pending) {
    if (slot == nullptr) {
      slot = path;
      return;
    }
  }
}

void untrack(const char* path) {
  for (const char* volatile& slot : pending) {
    if (slot == path) slot = nullptr;
  }
}

std::string folder_of(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

#if defined(_WIN32)

std::string resolve_links(const std::string& path) { return path; }

bool may_write(const std::string& path) { return _access(path.c_str(), 2) == 0; }

// A new file beside the target, opened for writing, its name in out.tempPath.
int make_temporary(WholeOutput& out) {
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    out.tempPath = folder_of(out.finalPath) + "\\." + name_of(out.finalPath) + "." +
                   std::to_string(_getpid()) + "-" + std::to_string(++counter);
    int fd = _open(out.tempPath.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

void keep_permissions(int, const std::string&) {}

// A UTF-8 path as Windows names files; empty when it is not UTF-8.
std::wstring wide_path(const std::string& path) {
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.c_str(), -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.c_str(), -1, wide.data(), n);
  wide.resize(static_cast<std::size_t>(n - 1));
  return wide;
}

// Replaces the target; a target that another program holds open cannot be.
// Without memory for the wide names the target stays as it was.
int move_into_place(const WholeOutput& out) try {
  const std::wstring from = wide_path(out.tempPath);
  const std::wstring to = wide_path(out.finalPath);
  if (from.empty() || to.empty()) return EINVAL;
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
  DWORD why = GetLastError();
  return why == ERROR_SHARING_VIOLATION || why == ERROR_ACCESS_DENIED || why == ERROR_LOCK_VIOLATION ? HELD_OPEN
                                                                                                      : EACCES;
} catch (const std::bad_alloc&) {
  return ENOMEM;
}

int open_direct(const std::string& path) { return _open(path.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT); }

std::FILE* stream_of(int fd) { return _fdopen(fd, "wb"); }

void close_descriptor(int fd) { _close(fd); }

std::string absolute(const std::string& path) {
  char full[MAX_PATH * 4];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return n == 0 || n >= sizeof full ? path : std::string(full, n);
}

#else

// Follows symbolic links to the path that is finally written.
std::string resolve_links(const std::string& path) {
  std::string at = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st;
    if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
    char target[PATH_MAX];
    ssize_t n = ::readlink(at.c_str(), target, sizeof target - 1);
    if (n <= 0) return at;
    std::string link(target, static_cast<std::size_t>(n));
    at = link[0] == '/' ? link : folder_of(at) + "/" + link;
  }
  return at;
}

bool may_write(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

int make_temporary(WholeOutput& out) {
  out.tempPath = folder_of(out.finalPath) + "/." + name_of(out.finalPath) + ".XXXXXX";
  return ::mkostemp(out.tempPath.data(), O_CLOEXEC);
}

// The replaced file's permission bits, or 0666 less the umask for a new one.
void keep_permissions(int fd, const std::string& target) {
  struct stat st;
  mode_t mode = 0;
  if (::stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd, mode);
}

// Replaces the target. Where the system can, the two names swap and the
// temporary's name, now the previous file's, is removed: one atomic step as
// a rename is, without the flush of the new data that some file systems
// (ext4) make when a rename replaces a file, which costs a short run more
// than all its other writes. A target that does not exist yet, or a system
// without the swap, takes the rename.
int move_into_place(const WholeOutput& out) {
#if defined(__linux__) && defined(RENAME_EXCHANGE)
  if (::renameat2(AT_FDCWD, out.tempPath.c_str(), AT_FDCWD, out.finalPath.c_str(), RENAME_EXCHANGE) == 0) {
    ::unlink(out.tempPath.c_str());
    return 0;
  }
  if (errno != ENOENT && errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
#endif
  return ::rename(out.tempPath.c_str(), out.finalPath.c_str()) == 0 ? 0 : errno;
}

int open_direct(const std::string& path) { return ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY); }

std::FILE* stream_of(int fd) { return ::fdopen(fd, "wb"); }

void close_descriptor(int fd) { ::close(fd); }

// The folder resolved (links, "." and ".."), the name kept.
std::string absolute(const std::string& path) {
  char folder[PATH_MAX];
  if (::realpath(folder_of(path).c_str(), folder) == nullptr) return path;
  std::string name = name_of(path);
  return std::string(folder) + (std::strcmp(folder, "/") == 0 ? "" : "/") + name;
}

#endif

bool open_temporary(WholeOutput& out, int* error) {
  int fd = make_temporary(out);
  if (fd < 0) {
    *error = errno;
    out.tempPath.clear();
    return false;
  }
  keep_permissions(fd, out.finalPath);
  out.stream = stream_of(fd);
  if (out.stream == nullptr) {
    *error = errno;
    close_descriptor(fd);
    std::remove(out.tempPath.c_str());
    out.tempPath.clear();
    return false;
  }
  track(out.tempPath.c_str());
  return true;
}

}  // namespace

WholeOutput::~WholeOutput() { abandon_whole_output(*this); }

bool is_standard_output(const char* path, bool dashIsStandardOutput) {
  if (dashIsStandardOutput && std::strcmp(path, "-") == 0) return true;
  FileIdentity out = identity_of_stream(stdout);
  return same_file(out, identity_of_path(path));
}

bool open_whole_output(WholeOutput& out, const char* path, int* error, bool dashIsStandardOutput) try {
  out.path = path;
  if (is_standard_output(path, dashIsStandardOutput)) {
    out.stream = stdout;
    out.toStandardOutput = true;
    return true;
  }
  FileIdentity target = identity_of_path(path);
  if (!target.known || target.regular) {
    out.finalPath = resolve_links(path);
    if (target.regular && !may_write(out.finalPath)) {
      *error = EACCES;  // a file its owner keeps from writing is not replaced either
      return false;
    }
    return open_temporary(out, error);
  }
  // A device or a pipe is written as it is.
  out.finalPath = path;
  int fd = open_direct(out.finalPath);
  out.stream = fd < 0 ? nullptr : stream_of(fd);
  if (out.stream != nullptr) return true;
  *error = errno;
  if (fd >= 0) close_descriptor(fd);
  return false;
} catch (const std::bad_alloc&) {
  *error = ENOMEM;
  return false;
}

bool finish_whole_output(WholeOutput& out, int* error) {
  if (out.stream == nullptr) return true;
  std::FILE* stream = out.stream;
  out.stream = nullptr;
  bool written = std::fflush(stream) == 0 && !std::ferror(stream);
  if (!written) *error = errno != 0 ? errno : EIO;
  if (out.toStandardOutput) return written;
  if (std::fclose(stream) != 0 && written) {
    written = false;
    *error = errno;
  }
  if (out.tempPath.empty()) return written;
  int moved = written ? move_into_place(out) : 0;
  if (moved != 0) *error = moved;
  if (!written || moved != 0) std::remove(out.tempPath.c_str());
  untrack(out.tempPath.c_str());
  out.tempPath.clear();
  return written && moved == 0;
}

void abandon_whole_output(WholeOutput& out) {
  if (out.stream != nullptr && !out.toStandardOutput) std::fclose(out.stream);
  out.stream = nullptr;
  if (out.tempPath.empty()) return;
  std::remove(out.tempPath.c_str());
  untrack(out.tempPath.c_str());
  out.tempPath.clear();
}

OutputPlace output_place(const char* path, bool dashIsStandardOutput) {
  if (dashIsStandardOutput && std::strcmp(path, "-") == 0) return OutputPlace{"", identity_of_stream(stdout)};
  try {
    std::string finalPath = resolve_links(path);
    return OutputPlace{absolute(finalPath), identity_of_path(finalPath.c_str())};
  } catch (const std::bad_alloc&) {
    return OutputPlace{"", identity_of_path(path)};  // told apart by identity alone
  }
}

bool same_place(const OutputPlace& a, const OutputPlace& b) {
  return same_file(a.identity, b.identity) || (!a.absolutePath.empty() && a.absolutePath == b.absolutePath);
}
