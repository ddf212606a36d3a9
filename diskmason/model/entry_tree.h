// The folders and files of a disk: one record per entry with every fact
// about it, filled from a file list (or, read back, from an image). Entries
// are numbered in the order they were made, the root folder 0; image paths
// enter the tree component by component, making the folders on the way.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "diskmason/model/short_name.h"

constexpr std::uint32_t NO_ENTRY = 0xFFFFFFFF;
constexpr std::uint16_t START_NOT_FIXED = 0xFFFF;
// A folder holds at most this many files and as many subfolders.
constexpr std::uint32_t FOLDER_KIND_LIMIT = 32768;
// Longest name (Shift-JIS bytes) an entry can have.
constexpr std::uint32_t MAX_NAME_LENGTH = 0xFFFF;

struct Entry {
  std::uint32_t parent;  // NO_ENTRY for the root
  bool folder;
  std::vector<std::uint32_t> subfolders;  // in the order they were made
  std::vector<std::uint32_t> files;
  // Read back from an image: every entry of the folder in the order the
  // disk holds them (the two lists above are then in that order too).
  std::vector<std::uint32_t> children;
  // The path component in Shift-JIS as written (it orders the entries of a
  // folder) and upper-cased (what the entry stores, cut to 8.3).
  std::string sortName;
  std::string name;
  std::uint8_t shortName[SHORT_NAME_SIZE];
  ShortNameFit fit;
  // What the directory entry holds besides its name.
  std::uint8_t attributes;
  std::uint32_t dateTime;      // FAT time in bits 0-15, FAT date in 16-31
  std::uint16_t startCluster;  // START_NOT_FIXED until placed
  bool fixed;                  // the list gives the start cluster
  std::uint32_t size;          // bytes of a file; 0 for a folder
  // Where it comes from: the host file, the image path as the list wrote it
  // (up to this component), the line that named it first and, for a file
  // the list fixes, the column of its start cluster (0: placed automatically).
  std::string hostPath;
  std::string imagePath;
  std::uint32_t line;
  std::uint32_t startColumn;
};

struct EntryTree {
  std::vector<Entry> entries;  // entries[0] is the root
  // Every child under both its names, keyed by its folder's number and the name.
  std::unordered_map<std::string, std::uint32_t> names;
};

// Why an image path was or was not placed.
enum class PlaceOutcome : std::uint8_t {
  Placed,
  EmptyComponent,   // "", "/a", "a/", "a//b"
  ZeroByte,         // a character converts to a zero byte
  NameTooLong,      // a component converts to more than MAX_NAME_LENGTH bytes
  PlacedAlready,    // the same file again
  CaseOnly,         // a file whose name differs only in letter case
  FileWhereFolder,  // the file's name is a folder's
  FolderWhereFile,  // a folder of the path is a file
  FolderFull,       // FOLDER_KIND_LIMIT reached
  NoMemory,
};

struct PlaceResult {
  PlaceOutcome outcome;
  std::uint32_t file;          // the new file
  std::uint32_t firstCreated;  // folders made for it are [firstCreated, file); file when none
  std::uint32_t clash;         // the entry in the way
  std::uint32_t folderEnd;     // FolderWhereFile: bytes of the path up to that folder's name
};

// A tree of the root folder alone; false when memory ran out.
bool start_tree(EntryTree& tree);

// Adds the file of a "/"-separated UTF-8 path, making the folders on the
// way. A file is refused when either of its names is taken in its folder; a
// folder is found by its upper-cased name. Every entry made is named by the
// path up to its component and by `line`; a new folder takes `dateTime`
// and the file nothing else (the caller fills in its facts).
PlaceResult add_path(EntryTree& tree, const std::uint8_t* path, std::uint32_t length, std::uint32_t dateTime,
                     std::uint32_t line);

inline bool is_root(const Entry& e) { return e.parent == NO_ENTRY; }
