#include "diskmason/image/dir_entries.h"

#include <algorithm>
#include <cstring>

#include "textconv/heap.h"

namespace {

constexpr std::uint32_t WRITE_FAILED = 0xFFFFFFFF;
constexpr std::uint32_t BASE_LIMIT = 8;
constexpr std::uint32_t EXT_LIMIT = 3;
constexpr std::uint8_t SYSTEM_BIT = 0x04;
// A first name byte of 0xE5 marks a deleted entry; FAT stores such a name
// with 0x05 in its place.
constexpr std::uint8_t DELETED_MARK = 0xE5;
constexpr std::uint8_t DELETED_MARK_STANDIN = 0x05;

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

void collect(Child* list, std::uint32_t& n, const FileNode* node, const FileInfo* infos) {
  list[n++] = Child{node, sort_name(node), (infos[node->index >> 1].attributes & SYSTEM_BIT) != 0};
}

void write_entry(std::uint8_t* entry, const char* name, const FileInfo& info) {
  char base[BASE_LIMIT + 1];
  char ext[EXT_LIMIT + 1];
  split_short_name(name, base, BASE_LIMIT, ext, EXT_LIMIT);
  build_dir_entry(entry, base, ext, info);
}

}  // namespace

void store_le16(std::uint8_t* place, std::uint32_t value) {
  place[0] = static_cast<std::uint8_t>(value);
  place[1] = static_cast<std::uint8_t>(value >> 8);
}

void store_le32(std::uint8_t* place, std::uint32_t value) {
  store_le16(place, value);
  store_le16(place + 2, value >> 16);
}

void split_short_name(const char* name, char* base, std::uint32_t baseLimit, char* ext,
                      std::uint32_t extLimit) {
  std::size_t length = std::strlen(name);
  const char* dot = std::strrchr(name, '.');
  std::size_t baseLength = dot != nullptr ? static_cast<std::size_t>(dot - name) : length;
  std::size_t extLength = dot != nullptr ? length - baseLength - 1 : 0;
  baseLength = std::min<std::size_t>(baseLength, baseLimit);
  extLength = std::min<std::size_t>(extLength, extLimit);
  std::memcpy(base, name, baseLength);
  base[baseLength] = 0;
  if (extLength > 0) std::memcpy(ext, dot + 1, extLength);
  ext[extLength] = 0;
}

void build_dir_entry(std::uint8_t* entry, const char* base, const char* ext, const FileInfo& info) {
  std::memset(entry, ' ', 11);
  std::memcpy(entry, base, std::min<std::size_t>(std::strlen(base), BASE_LIMIT));
  std::memcpy(entry + 8, ext, std::min<std::size_t>(std::strlen(ext), EXT_LIMIT));
  if (entry[0] == DELETED_MARK) entry[0] = DELETED_MARK_STANDIN;
  entry[11] = info.attributes;
  std::memset(entry + 12, 0, 10);
  store_le32(entry + 22, info.dateTime);
  store_le16(entry + 26, info.startCluster);
  store_le32(entry + 28, info.size);
}

std::uint32_t write_directory(std::FILE* out, const DirNode* dir, const FileInfo* infos,
                              std::uint8_t* buffer, std::uint32_t blockSize,
                              std::uint32_t sectorSize, std::uint8_t fill, bool withDots) {
  if (blockSize == 0 || blockSize % DIR_ENTRY_SIZE != 0 || sectorSize == 0 ||
      blockSize % sectorSize != 0) {
    return WRITE_FAILED;
  }
  std::uint32_t count = dir->subdirCount + dir->fileCount;
  auto* children = static_cast<Child*>(heap_alloc(sizeof(Child) * count));
  if (children == nullptr) return WRITE_FAILED;
  std::uint32_t n = 0;
  for (std::uint32_t i = 0; dir->subdirs != nullptr && i < dir->subdirCapacity && n < count; ++i) {
    if (dir->subdirs[i].nameId != NO_SLOT) collect(children, n, &dir->subdirs[i], infos);
  }
  for (std::uint32_t i = 0; dir->files != nullptr && i < dir->fileCapacity && n < count; ++i) {
    if (dir->files[i].nameId != NO_SLOT) collect(children, n, &dir->files[i], infos);
  }
  std::sort(children, children + n, child_before);

  std::uint32_t position = 0;
  std::uint32_t sectors = 0;
  auto flush_if_full = [&] {
    if (position < blockSize) return;
    std::fwrite(buffer, 1, blockSize, out);
    sectors += blockSize / sectorSize;
    position = 0;
  };
  if (withDots) {
    const FileInfo& parentInfo = infos[dir->parent != nullptr ? dir->parent->index >> 1 : 0];
    build_dir_entry(buffer + position, ".", "", infos[dir->index >> 1]);
    position += DIR_ENTRY_SIZE;
    flush_if_full();
    build_dir_entry(buffer + position, "..", "", parentInfo);
    position += DIR_ENTRY_SIZE;
    flush_if_full();
  }
  for (std::uint32_t i = 0; i < n; ++i) {
    write_entry(buffer + position, entry_name(children[i].node),
                infos[children[i].node->index >> 1]);
    position += DIR_ENTRY_SIZE;
    flush_if_full();
  }
  std::memset(buffer + position, fill, DIR_ENTRY_SIZE);
  buffer[position] = 0;
  position += DIR_ENTRY_SIZE;
  flush_if_full();
  if (position != 0) {
    std::uint32_t boundary = (position + sectorSize - 1) / sectorSize * sectorSize;
    std::memset(buffer + position, fill, boundary - position);
    for (std::uint32_t slot = position; slot < boundary; slot += DIR_ENTRY_SIZE) buffer[slot] = 0;
    std::fwrite(buffer, 1, boundary, out);
    sectors += boundary / sectorSize;
  }
  heap_free(children);
  return sectors;
}
