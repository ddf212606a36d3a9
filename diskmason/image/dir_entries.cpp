#include "diskmason/image/dir_entries.h"

#include <algorithm>
#include <cstring>

#include "diskmason/image/disk_geometry.h"
#include "textconv/heap.h"

namespace {

constexpr std::uint8_t SYSTEM_BIT = 0x04;
// A first name byte of 0xE5 marks a deleted entry; FAT stores such a name
// with 0x05 in its place.
constexpr std::uint8_t DELETED_MARK = 0xE5;
constexpr std::uint8_t DELETED_MARK_STANDIN = 0x05;
// The short names of the "." and ".." entries that open a subdirectory.
constexpr char DOT_NAME[] = ".          ";
constexpr char DOT_DOT_NAME[] = "..         ";
static_assert(sizeof DOT_NAME == SHORT_NAME_SIZE + 1 && sizeof DOT_DOT_NAME == SHORT_NAME_SIZE + 1);

struct Child {
  const FileNode* node;
  const char* sortName;
  bool system;
};

// System entries first, then files before directories, then by plain name.
bool child_before(const Child& a, const Child& b) {
  if (a.system != b.system) return a.system;
  if (is_file(a.node) != is_file(b.node)) return is_file(a.node);
  return std::strcmp(a.sortName, b.sortName) < 0;
}

// The children of dir in entry order (subdirectories, then files, sorted);
// nullptr when memory ran out.
Child* sorted_children(const DirNode* dir, const FileInfo* infos, std::uint32_t& n) {
  std::uint32_t count = dir->subdirCount + dir->fileCount;
  auto* children = static_cast<Child*>(heap_alloc(sizeof(Child) * count));
  if (children == nullptr) return nullptr;
  n = 0;
  auto add = [&](const FileNode& node) {
    if (n == count) return;
    bool system = (infos[record_of(&node)].attributes & SYSTEM_BIT) != 0;
    children[n++] = Child{&node, sort_name(&node), system};
  };
  for (const DirNode& sub : subdirs_of(dir)) add(sub);
  for (const FileNode& file : files_of(dir)) add(file);
  std::sort(children, children + n, child_before);
  return children;
}

// Entries gathered in the caller's buffer and written a whole block at a time.
struct EntryBlock {
  std::FILE* out;
  std::uint8_t* buffer;
  std::uint32_t blockSize;
  std::uint32_t sectorSize;
  std::uint32_t position;
  std::uint32_t sectors;  // written so far
};

std::uint8_t* next_slot(EntryBlock& block) { return block.buffer + block.position; }

// Moves past the slot just filled; writes the block when it is full.
void slot_done(EntryBlock& block) {
  block.position += DIR_ENTRY_SIZE;
  if (block.position < block.blockSize) return;
  std::fwrite(block.buffer, 1, block.blockSize, block.out);
  block.sectors += block.blockSize / block.sectorSize;
  block.position = 0;
}

// Writes what the block holds, with empty slots up to the sector's end.
void finish_block(EntryBlock& block, std::uint8_t fill) {
  if (block.position == 0) return;
  std::uint32_t boundary = ceil_div(block.position, block.sectorSize) * block.sectorSize;
  clear_dir_slots(next_slot(block), boundary - block.position, fill);
  std::fwrite(block.buffer, 1, boundary, block.out);
  block.sectors += boundary / block.sectorSize;
}

void write_entry(EntryBlock& block, const std::uint8_t* shortName, const FileInfo& info) {
  build_dir_entry(next_slot(block), shortName, info);
  slot_done(block);
}

// "." from the directory's own record, ".." from its parent's (the root's
// record 0 for a directory in the root).
void write_dot_entries(EntryBlock& block, const DirNode* dir, const FileInfo* infos) {
  std::uint32_t parent = dir->parent != nullptr ? record_of(dir->parent) : 0;
  write_entry(block, reinterpret_cast<const std::uint8_t*>(DOT_NAME), infos[record_of(dir)]);
  write_entry(block, reinterpret_cast<const std::uint8_t*>(DOT_DOT_NAME), infos[parent]);
}

}  // namespace

void make_short_name(const char* name, std::uint8_t* shortName) {
  std::size_t length = std::strlen(name);
  const char* dot = std::strrchr(name, '.');
  std::size_t baseLength = dot != nullptr ? static_cast<std::size_t>(dot - name) : length;
  std::size_t extLength = dot != nullptr ? length - baseLength - 1 : 0;
  std::memset(shortName, ' ', SHORT_NAME_SIZE);
  std::memcpy(shortName + ENTRY_BASE_NAME.offset, name,
              std::min<std::size_t>(baseLength, ENTRY_BASE_NAME.width));
  if (extLength > 0) {
    std::memcpy(shortName + ENTRY_EXTENSION.offset, dot + 1,
                std::min<std::size_t>(extLength, ENTRY_EXTENSION.width));
  }
  if (shortName[0] == DELETED_MARK) shortName[0] = DELETED_MARK_STANDIN;
}

void build_dir_entry(std::uint8_t* entry, const std::uint8_t* shortName, const FileInfo& info) {
  std::memcpy(entry, shortName, SHORT_NAME_SIZE);
  store_field(entry, ENTRY_ATTRIBUTES, info.attributes);
  std::memset(entry + ENTRY_RESERVED.offset, 0, ENTRY_RESERVED.width);
  store_field(entry, ENTRY_DATE_TIME, info.dateTime);
  store_field(entry, ENTRY_START_CLUSTER, info.startCluster);
  store_field(entry, ENTRY_FILE_SIZE, info.size);
}

void clear_dir_slots(std::uint8_t* bytes, std::uint32_t length, std::uint8_t fill) {
  std::memset(bytes, fill, length);
  for (std::uint32_t slot = 0; slot < length; slot += DIR_ENTRY_SIZE) bytes[slot] = 0;
}

std::uint32_t write_directory(std::FILE* out, const DirNode* dir, const FileInfo* infos,
                              std::uint8_t* buffer, std::uint32_t blockSize,
                              std::uint32_t sectorSize, std::uint8_t fill, bool withDots) {
  if (blockSize == 0 || blockSize % DIR_ENTRY_SIZE != 0 || sectorSize == 0 ||
      blockSize % sectorSize != 0) {
    return DIRECTORY_NOT_WRITTEN;
  }
  std::uint32_t count = 0;
  Child* children = sorted_children(dir, infos, count);
  if (children == nullptr) return DIRECTORY_NOT_WRITTEN;
  EntryBlock block{out, buffer, blockSize, sectorSize, 0, 0};
  if (withDots) write_dot_entries(block, dir, infos);
  std::uint8_t shortName[SHORT_NAME_SIZE];
  for (std::uint32_t i = 0; i < count; ++i) {
    make_short_name(entry_name(children[i].node), shortName);
    write_entry(block, shortName, infos[record_of(children[i].node)]);
  }
  clear_dir_slots(next_slot(block), DIR_ENTRY_SIZE, fill);  // the end marker
  slot_done(block);
  finish_block(block, fill);
  heap_free(children);
  return block.sectors;
}
