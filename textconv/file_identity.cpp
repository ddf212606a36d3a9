#include "textconv/file_identity.h"

#include <cstring>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#if defined(_WIN32)

namespace {

FileIdentity identity_of_handle(HANDLE handle) {
  FileIdentity id{};
  if (handle == INVALID_HANDLE_VALUE) return id;
  const DWORD type = GetFileType(handle);
  BY_HANDLE_FILE_INFORMATION info;
  if (type != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) {
    id.known = type != FILE_TYPE_UNKNOWN;
    return id;
  }
  id.known = true;
  id.indexed = true;
  id.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  id.regular = !id.folder && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  id.volume = info.dwVolumeSerialNumber;
  id.index = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
  return id;
}

}  // namespace

// Narrow paths are read in the programs' code page, as the C runtime reads them.
FileIdentity identity_of_path(const char* path, bool followLinks) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE handle = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FileIdentity{};
  const FileIdentity id = identity_of_handle(handle);
  CloseHandle(handle);
  return id;
}

FileIdentity identity_of_descriptor(int descriptor) {
  return identity_of_handle(reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)));
}

FileIdentity identity_of_stream(std::FILE* stream) { return identity_of_descriptor(_fileno(stream)); }

void use_binary_standard_streams() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

#else

FileIdentity identity_of_stat(const struct stat& st) {
  return FileIdentity{true, true, S_ISREG(st.st_mode), S_ISDIR(st.st_mode), static_cast<std::uint64_t>(st.st_dev),
                      static_cast<std::uint64_t>(st.st_ino)};
}

FileIdentity identity_of_path(const char* path, bool followLinks) {
  struct stat st;
  return (followLinks ? stat(path, &st) : lstat(path, &st)) == 0 ? identity_of_stat(st) : FileIdentity{};
}

FileIdentity identity_of_descriptor(int descriptor) {
  struct stat st;
  return fstat(descriptor, &st) == 0 ? identity_of_stat(st) : FileIdentity{};
}

FileIdentity identity_of_stream(std::FILE* stream) { return identity_of_descriptor(fileno(stream)); }

void use_binary_standard_streams() {}

#endif

bool same_file(const FileIdentity& a, const FileIdentity& b) {
  return a.indexed && b.indexed && a.volume == b.volume && a.index == b.index;
}

bool same_regular_file(const FileIdentity& a, const FileIdentity& b) {
  return a.regular && b.regular && same_file(a, b);
}

const char* open_failure_text(const char* path, int error) {
  return identity_of_path(path).folder ? "it is a folder" : std::strerror(error);
}
