// The host side of an extraction: a staging folder beside the target, the
// folders and files written into it by UTF-8 path (UTF-16 on Windows), the
// files' times, and the staging folder renamed to the target at the end, so
// that a failed extraction leaves no half-filled target. The target must
// not exist or be an empty folder (not a link to one); the staging folder
// is new and private, so nothing in it is a link that was there before.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// True when `dir` does not exist or is an empty folder that is no link.
bool target_is_free(const std::string& dir);

// Makes a new folder beside `dir` (DIR.quarry-XXXXXX); its path in *staging.
bool make_staging(const std::string& dir, std::string* staging);

// Removes the staging folder and everything in it; links are not followed.
void remove_staging(const std::string& staging);

// Puts the staging folder in the target's place.
bool move_into_place(const std::string& staging, const std::string& dir);

bool make_host_folder(const std::string& path);

// A new file to write (never an existing one).
std::FILE* create_host_file(const std::string& path);

// A run of bytes to write, where it lies already (in the image).
struct BytePiece {
  const std::uint8_t* bytes;
  std::size_t length;
};

// Writes a new file whole from its pieces (never over an existing file) and
// dates it with a FAT date and time read as local time. *dated is false,
// and the file keeps the time of writing, when that is no real date or time.
bool write_host_file(const std::string& path, const std::vector<BytePiece>& pieces, std::uint32_t dateTime,
                     bool* dated);

// The folder the last file went into, kept open, so that the files of one
// folder are made by their names in it instead of by whole paths.
struct OpenHostFolder {
  std::string path;
  int descriptor = -1;
  OpenHostFolder() = default;
  ~OpenHostFolder();
  OpenHostFolder(const OpenHostFolder&) = delete;
  OpenHostFolder& operator=(const OpenHostFolder&) = delete;
};

// write_host_file for the file `name` in the folder `folder`.
bool write_host_file_in(OpenHostFolder& open, const std::string& folder, const std::string& name,
                        const std::vector<BytePiece>& pieces, std::uint32_t dateTime, bool* dated);
