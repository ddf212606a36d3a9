// The dependency file of --depfile: the image, as the command line named it,
// depends on the file list, the boot file and every host file on the disk,
// named by absolute paths, in the syntax that Make and Ninja read.
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "diskmason/driver/pack_run.h"

namespace {

constexpr std::size_t FOLDER_LIMIT = 4096;

// A path with the escapes Make and Ninja undo: "\ ", "\#" and "$$".
void put_escaped(std::FILE* out, const char* path) {
  for (const char* p = path; *p != 0; ++p) {
    if (*p == ' ' || *p == '#') std::fputc('\\', out);
    if (*p == '$') std::fputc('$', out);
    std::fputc(*p, out);
  }
}

#if defined(_WIN32)

// Windows makes every path absolute itself: no folder is needed.
bool working_folder(char* folder, std::size_t) {
  folder[0] = 0;
  return true;
}

// The path as Windows gives it in full (drive, backslashes, no "." or ".."
// components), in UTF-8; false when it cannot be had.
bool put_full_path(std::FILE* out, const char*, const char* path) {
  wchar_t wide[FOLDER_LIMIT];
  wchar_t full[FOLDER_LIMIT];
  char text[3 * FOLDER_LIMIT];
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, FOLDER_LIMIT) == 0) return false;
  DWORD length = GetFullPathNameW(wide, FOLDER_LIMIT, full, nullptr);
  if (length == 0 || length >= FOLDER_LIMIT) return false;
  if (WideCharToMultiByte(CP_UTF8, 0, full, -1, text, sizeof text, nullptr, nullptr) == 0) return false;
  put_escaped(out, text);
  return true;
}

#else

bool working_folder(char* folder, std::size_t capacity) { return getcwd(folder, capacity) != nullptr; }

// A relative path follows the working folder, as written.
bool put_full_path(std::FILE* out, const char* folder, const char* path) {
  if (path[0] != '/' && path[0] != '\\') {
    put_escaped(out, folder);
    std::size_t length = std::strlen(folder);
    if (length == 0 || folder[length - 1] != '/') std::fputc('/', out);
  }
  put_escaped(out, path);
  return true;
}

#endif

bool put_prerequisite(std::FILE* out, const char* folder, const char* path) {
  std::fputs(" \\\n  ", out);
  return put_full_path(out, folder, path);
}

// Host files in list order: the order their files were made in.
bool put_rule(const PackRun& run, std::FILE* out, const char* folder) {
  put_escaped(out, run.options.imagePath);
  std::fputc(':', out);
  bool ok = put_prerequisite(out, folder, run.options.listPath) &&
            put_prerequisite(out, folder, run.disk.bootPath.c_str());
  for (const Entry& e : run.disk.tree.entries) {
    if (ok && !e.folder) ok = put_prerequisite(out, folder, e.hostPath.c_str());
  }
  std::fputc('\n', out);
  return ok;
}

}  // namespace

bool write_depfile_rule(const PackRun& run, std::FILE* out) {
  char folder[FOLDER_LIMIT];
  if (!working_folder(folder, sizeof folder)) return false;
  return put_rule(run, out, folder) && std::fflush(out) == 0 && !std::ferror(out);
}
