#include "diskquarry/host_tree.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <system_error>

#if !defined(_WIN32)
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>

#include <cstdlib>
#include <vector>
#else
#include <random>
#endif

#include "diskmason/driver/utf8_path.h"

namespace fs = std::filesystem;

namespace {

fs::path utf8_path(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

std::string without_trailing_separators(std::string dir) {
  while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
  return dir;
}

bool is_leap(std::uint32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

std::uint32_t days_in(std::uint32_t month, std::uint32_t year) {
  static constexpr std::uint32_t DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap(year) ? 29 : DAYS[month - 1];
}

}  // namespace

bool target_is_free(const std::string& dir) {
  std::error_code error;
  fs::file_status status = fs::symlink_status(utf8_path(dir), error);
  if (status.type() == fs::file_type::not_found) return true;
  if (error || status.type() != fs::file_type::directory) return false;
  return fs::is_empty(utf8_path(dir), error) && !error;
}

bool make_staging(const std::string& dir, std::string* staging) {
  std::string base = without_trailing_separators(dir) + ".quarry-";
#if defined(_WIN32)
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = base + std::to_string(random() % 1000000);
    std::error_code error;
    if (fs::create_directory(utf8_path(candidate), error)) {
      *staging = candidate;
      return true;
    }
  }
  return false;
#else
  std::string pattern = base + "XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) return false;
  *staging = name.data();
  return true;
#endif
}

void remove_staging(const std::string& staging) {
  std::error_code ignored;
  if (!staging.empty()) fs::remove_all(utf8_path(staging), ignored);
}

bool move_into_place(const std::string& staging, const std::string& dir) {
  std::error_code error;
  fs::path target = utf8_path(without_trailing_separators(dir));
#if defined(_WIN32)
  // Windows renames no folder over another, even an empty one: the empty
  // target goes, and comes back when the rename fails.
  bool removed = fs::symlink_status(target, error).type() == fs::file_type::directory && fs::remove(target, error);
  error.clear();
  fs::rename(utf8_path(staging), target, error);
  if (error && removed) {
    std::error_code ignored;
    fs::create_directory(target, ignored);
  }
#else
  fs::rename(utf8_path(staging), target, error);
#endif
  return !error;
}

bool make_host_folder(const std::string& path) {
  std::error_code error;
  return fs::create_directory(utf8_path(path), error) && !error;
}

std::FILE* create_host_file(const std::string& path) {
#if defined(_WIN32)
  std::error_code error;
  if (fs::exists(fs::symlink_status(utf8_path(path), error))) return nullptr;
  return open_utf8_path(path.c_str(), "wb");
#else
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* out = ::fdopen(fd, "wb");
  if (out == nullptr) ::close(fd);
  return out;
#endif
}

namespace {

// The moment of a FAT date and time in local time; false for no real one.
// The last answer is kept: the files of a disk mostly share a date.
bool local_moment(std::uint32_t dateTime, std::time_t* when) {
  static std::uint32_t lastDateTime = 0;
  static std::time_t lastMoment = -1;
  if (lastMoment != -1 && dateTime == lastDateTime) {
    *when = lastMoment;
    return true;
  }
  std::uint32_t year = 1980 + (dateTime >> 25);
  std::uint32_t month = dateTime >> 21 & 0xF;
  std::uint32_t day = dateTime >> 16 & 0x1F;
  std::tm local{};
  local.tm_year = static_cast<int>(year) - 1900;
  local.tm_mon = static_cast<int>(month) - 1;
  local.tm_mday = static_cast<int>(day);
  local.tm_hour = static_cast<int>(dateTime >> 11 & 0x1F);
  local.tm_min = static_cast<int>(dateTime >> 5 & 0x3F);
  local.tm_sec = static_cast<int>((dateTime & 0x1F) * 2);
  local.tm_isdst = -1;
  if (month < 1 || month > 12 || day < 1 || day > days_in(month, year) || local.tm_hour > 23 || local.tm_min > 59 ||
      local.tm_sec > 59) {
    return false;
  }
  *when = std::mktime(&local);
  if (*when == static_cast<std::time_t>(-1)) return false;
  lastDateTime = dateTime;
  lastMoment = *when;
  return true;
}

}  // namespace

#if defined(_WIN32)

bool write_host_file(const std::string& path, const std::vector<BytePiece>& pieces, std::uint32_t dateTime,
                     bool* dated) {
  std::FILE* out = create_host_file(path);
  if (out == nullptr) return false;
  bool ok = true;
  for (const BytePiece& piece : pieces) ok = ok && std::fwrite(piece.bytes, 1, piece.length, out) == piece.length;
  if (std::fclose(out) != 0 || !ok) return false;
  std::time_t when = 0;
  *dated = local_moment(dateTime, &when);
  if (!*dated) return true;
  std::error_code error;
  auto moment = fs::file_time_type::clock::from_sys(std::chrono::system_clock::from_time_t(when));
  fs::last_write_time(utf8_path(path), moment, error);
  *dated = !error;
  return true;
}

OpenHostFolder::~OpenHostFolder() = default;

bool write_host_file_in(OpenHostFolder&, const std::string& folder, const std::string& name,
                        const std::vector<BytePiece>& pieces, std::uint32_t dateTime, bool* dated) {
  return write_host_file(folder + "/" + name, pieces, dateTime, dated);
}

#else

// Writes the pieces from where they lie, as few calls as the system takes.
bool write_pieces(int fd, const std::vector<BytePiece>& pieces) {
  std::vector<struct iovec> vectors;
  for (const BytePiece& piece : pieces) {
    if (piece.length != 0) vectors.push_back({const_cast<std::uint8_t*>(piece.bytes), piece.length});
  }
  for (std::size_t at = 0; at < vectors.size();) {
    int count = static_cast<int>(std::min<std::size_t>(vectors.size() - at, IOV_MAX));
    ssize_t n = ::writev(fd, vectors.data() + at, count);
    if (n <= 0) return false;
    // A short write leaves the rest of a vector for the next call.
    for (auto left = static_cast<std::size_t>(n); left != 0;) {
      std::size_t taken = std::min(left, vectors[at].iov_len);
      vectors[at].iov_base = static_cast<std::uint8_t*>(vectors[at].iov_base) + taken;
      vectors[at].iov_len -= taken;
      left -= taken;
      if (vectors[at].iov_len == 0) ++at;
    }
  }
  return true;
}

// One open, one write, one change of times and one close per file.
bool write_file_at(int folder, const char* name, const std::vector<BytePiece>& pieces, std::uint32_t dateTime,
                   bool* dated) {
  int fd = ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = write_pieces(fd, pieces);
  std::time_t when = 0;
  *dated = local_moment(dateTime, &when);
  if (ok && *dated) {
    struct timespec times[2] = {{when, 0}, {when, 0}};
    *dated = ::futimens(fd, times) == 0;
  }
  return ::close(fd) == 0 && ok;
}

bool write_host_file(const std::string& path, const std::vector<BytePiece>& pieces, std::uint32_t dateTime,
                     bool* dated) {
  return write_file_at(AT_FDCWD, path.c_str(), pieces, dateTime, dated);
}

OpenHostFolder::~OpenHostFolder() {
  if (descriptor >= 0) ::close(descriptor);
}

bool write_host_file_in(OpenHostFolder& open, const std::string& folder, const std::string& name,
                        const std::vector<BytePiece>& pieces, std::uint32_t dateTime, bool* dated) {
  if (open.descriptor < 0 || open.path != folder) {
    if (open.descriptor >= 0) ::close(open.descriptor);
    open.descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    open.path = folder;
    if (open.descriptor < 0) return false;
  }
  return write_file_at(open.descriptor, name.c_str(), pieces, dateTime, dated);
}

#endif
