// The directory tree of a disk image, built from UTF-8 image paths. Every
// child is entered in its parent's NameTable under its plain and its
// upper-cased Shift-JIS name; every node takes an index from one IndexPool.
#pragma once

#include <cstddef>
#include <cstdint>

#include "diskmason/tree/index_pool.h"
#include "diskmason/tree/name_table.h"

struct DirNode;

// Child array sizes of every directory the tree creates (the root's come from
// the caller).
constexpr std::uint32_t DIR_SUBDIR_SLOTS = 4;
constexpr std::uint32_t DIR_FILE_SLOTS = 16;
// Longest name (Shift-JIS bytes) a directory's table can hold.
constexpr std::uint32_t MAX_NAME_LENGTH = NAME_KEY_LIMIT - 1;

// A file. A DirNode starts with the same four fields, so either kind can be
// handled as a FileNode and told apart by bit 0 of `index` (1 = file).
struct FileNode {
  DirNode* parent;            // nullptr only for the root
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

// The number of a node's FileInfo record, which is also its IndexPool index.
inline std::uint32_t record_of(std::uint32_t index) { return index >> 1; }
inline std::uint32_t record_of(const FileNode* node) { return record_of(node->index); }

// True when an array slot of a directory holds a node.
inline bool slot_in_use(const FileNode& slot) { return slot.nameId != NO_SLOT; }

// The slots in use of one child array, in slot order, for range-for loops.
template <typename Node>
class UsedSlots {
 public:
  struct Iterator {
    Node* at;
    Node* end;
    Node& operator*() const { return *at; }
    Iterator& operator++() {
      at = next_in_use(at + 1, end);
      return *this;
    }
    bool operator==(const Iterator& other) const { return at == other.at; }
  };

  UsedSlots(Node* slots, std::uint32_t capacity)
      : first_(slots), end_(slots == nullptr ? nullptr : slots + capacity) {}
  Iterator begin() const { return Iterator{next_in_use(first_, end_), end_}; }
  Iterator end() const { return Iterator{end_, end_}; }

 private:
  static Node* next_in_use(Node* at, Node* end) {
    while (at != end && !slot_in_use(*at)) ++at;
    return at;
  }
  Node* first_;
  Node* end_;
};

// A directory's files and subdirectories, in slot order.
inline UsedSlots<FileNode> files_of(DirNode* dir) { return {dir->files, dir->fileCapacity}; }
inline UsedSlots<const FileNode> files_of(const DirNode* dir) {
  return {dir->files, dir->fileCapacity};
}
inline UsedSlots<DirNode> subdirs_of(DirNode* dir) { return {dir->subdirs, dir->subdirCapacity}; }
inline UsedSlots<const DirNode> subdirs_of(const DirNode* dir) {
  return {dir->subdirs, dir->subdirCapacity};
}

// Called with the `index` of each directory that add_path creates, outermost
// first; returning false makes add_path fail.
using DirCreatedHandler = bool (*)(void* context, std::uint32_t index);

// Gives dir its child arrays and name table (32 bytes and 2 slots per child
// slot) and its index; false (no index taken) when memory ran out.
bool init_directory(DirNode* dir, std::uint32_t subdirSlots, std::uint32_t fileSlots,
                    IndexPool& pool);
// Adds the file named by a "/"-separated UTF-8 path, creating directories on
// the way. Returns the new file, or nullptr when the path cannot be placed:
// an empty component, a file where a directory is needed, a name present
// under either form, a name that converts to a zero byte or to more than
// MAX_NAME_LENGTH bytes, or no memory.
FileNode* add_path(DirNode* dir, const char* path, IndexPool& pool,
                   DirCreatedHandler onDirCreated = nullptr, void* context = nullptr);
// Enters a child under both forms (Shift-JIS, zero-terminated). A file is
// refused when either form is taken, a directory when its upper-cased form is.
FileNode* add_file(DirNode* dir, const char* plain, const char* upper, IndexPool& pool);
DirNode* add_subdirectory(DirNode* dir, const char* plain, const char* upper, IndexPool& pool);
// Lowest free slot of the array, doubled when full; NO_SLOT when it cannot
// grow or the slot would pass 32767. Growing subdirs re-points the children
// of every moved directory.
std::uint32_t take_file_slot(DirNode* dir);
std::uint32_t take_subdir_slot(DirNode* dir);
// The child entered under exactly this (Shift-JIS) name, either kind, or nullptr.
FileNode* find_child(const DirNode* dir, const char* name);
// Upper-cased and plain Shift-JIS names of a node; nullptr for the root.
const char* entry_name(const FileNode* node);
const char* sort_name(const FileNode* node);
// Takes node out of its parent, releases its index and, for a directory,
// everything below it. Returns the node's index field.
std::uint32_t remove_node(FileNode* node, IndexPool& pool);
// Releases the indices of dir and everything below it and frees its arrays.
void release_subtree(DirNode* dir, IndexPool& pool);
// Follows "/"-separated names exactly as stored (empty components skipped);
// nullptr when a name is missing or the path goes on after a file.
FileNode* find_path(DirNode* dir, const char* path);
// Writes "A/B/C.TXT" (a file) or "A/B/" (a directory); false when the buffer
// is too small (it then holds an empty string).
bool build_path(const FileNode* node, char* buffer, std::size_t capacity);
