// The directory tree of a disk image, built from UTF-8 image paths. Every
// child is entered in its parent's NameTable under its plain and its
// upper-cased Shift-JIS name; every node takes an index from one IndexPool.
#pragma once

#include <cstddef>
#include <cstdint>

#include "diskmason/tree/index_pool.h"
#include "diskmason/tree/name_table.h"

struct DirNode;

// A file. A DirNode starts with the same four fields, so either kind can be
// handled as a FileNode and told apart by bit 0 of `index` (1 = file).
struct FileNode {
  DirNode* parent;           // nullptr only for the root
  std::uint32_t entryNameId;  // slot of the upper-cased name in parent->names
  std::uint32_t nameId;       // slot of the plain name; NO_SLOT = empty array slot
  std::uint32_t index;        // pool index << 1, bit 0 set for a file
};

struct DirNode : FileNode {
  NameTable* names;
  DirNode* subdirs;
  FileNode* files;
  std::uint32_t fileCapacity;
  std::uint32_t fileCount;
  std::uint32_t subdirCapacity;
  std::uint32_t subdirCount;
};

inline bool is_file(const FileNode* node) { return (node->index & 1) != 0; }

// Called with the `index` of each directory that add_path creates, outermost
// first; returning false makes add_path fail.
using DirCreatedHandler = bool (*)(void* context, std::uint32_t index);

bool init_directory(DirNode* dir, std::uint32_t subdirSlots, std::uint32_t fileSlots,
                    IndexPool& pool);
// Adds the file named by a "/"-separated UTF-8 path, creating directories on
// the way. Returns the new file, or nullptr when the path cannot be placed.
FileNode* add_path(DirNode* dir, const char* path, IndexPool& pool,
                   DirCreatedHandler onDirCreated = nullptr, void* context = nullptr);
FileNode* add_file(DirNode* dir, const char* plain, const char* upper, IndexPool& pool);
DirNode* add_subdirectory(DirNode* dir, const char* plain, const char* upper, IndexPool& pool);
std::uint32_t take_file_slot(DirNode* dir);
std::uint32_t take_subdir_slot(DirNode* dir);
// The child entered under exactly this (Shift-JIS) name, either kind, or nullptr.
FileNode* find_child(const DirNode* dir, const char* name);
// Upper-cased and plain Shift-JIS names of a node; nullptr for the root.
const char* entry_name(const FileNode* node);
const char* sort_name(const FileNode* node);
std::uint32_t remove_node(FileNode* node, IndexPool& pool);
void release_subtree(DirNode* dir, IndexPool& pool);
FileNode* find_path(DirNode* dir, const char* path);
// Writes "A/B/C.TXT" (a file) or "A/B/" (a directory); false when the buffer
// is too small (it then holds an empty string).
bool build_path(const FileNode* node, char* buffer, std::size_t capacity);
