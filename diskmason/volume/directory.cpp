#include "diskmason/volume/directory.h"

#include <algorithm>
#include <cstring>

#include "diskmason/model/attributes.h"
#include "diskmason/volume/disk_format.h"
#include "diskmason/volume/geometry.h"

namespace {

// The short names of the "." and ".." entries that open a subfolder.
constexpr char DOT_NAME[] = ".          ";
constexpr char DOT_DOT_NAME[] = "..         ";
static_assert(sizeof DOT_NAME == SHORT_NAME_SIZE + 1 && sizeof DOT_DOT_NAME == SHORT_NAME_SIZE + 1);

std::uint8_t* new_slot(std::vector<std::uint8_t>& out) {
  out.resize(out.size() + DIR_ENTRY_SIZE);
  return out.data() + out.size() - DIR_ENTRY_SIZE;
}

}  // namespace

void build_dir_entry(std::uint8_t* slot, const std::uint8_t* shortName, const Entry& facts) {
  std::memcpy(slot, shortName, SHORT_NAME_SIZE);
  store_field(slot, ENTRY_ATTRIBUTES, facts.attributes);
  std::memset(slot + ENTRY_RESERVED.offset, 0, ENTRY_RESERVED.width);
  store_field(slot, ENTRY_DATE_TIME, facts.dateTime);
  store_field(slot, ENTRY_START_CLUSTER, facts.startCluster);
  store_field(slot, ENTRY_FILE_SIZE, facts.size);
}

void clear_dir_slots(std::uint8_t* bytes, std::uint32_t length) {
  std::memset(bytes, FILL_BYTE, length);
  for (std::uint32_t slot = 0; slot < length; slot += DIR_ENTRY_SIZE) bytes[slot] = 0;
}

std::vector<std::uint32_t> folder_entry_order(const EntryTree& tree, std::uint32_t folder) {
  const Entry& dir = tree.entries[folder];
  std::vector<std::uint32_t> order(dir.subfolders);
  order.insert(order.end(), dir.files.begin(), dir.files.end());
  std::sort(order.begin(), order.end(), [&tree](std::uint32_t x, std::uint32_t y) {
    const Entry& a = tree.entries[x];
    const Entry& b = tree.entries[y];
    bool aSystem = (a.attributes & SYSTEM_ATTRIBUTE) != 0;
    bool bSystem = (b.attributes & SYSTEM_ATTRIBUTE) != 0;
    if (aSystem != bSystem) return aSystem;
    if (a.folder != b.folder) return !a.folder;
    return a.sortName < b.sortName;
  });
  return order;
}

void append_folder_sectors(const EntryTree& tree, std::uint32_t folder, bool withDots, std::uint32_t sectorSize,
                           std::vector<std::uint8_t>& out) {
  std::size_t start = out.size();
  const Entry& dir = tree.entries[folder];
  if (withDots) {
    const Entry& parent = tree.entries[is_root(dir) ? 0 : dir.parent];
    build_dir_entry(new_slot(out), reinterpret_cast<const std::uint8_t*>(DOT_NAME), dir);
    build_dir_entry(new_slot(out), reinterpret_cast<const std::uint8_t*>(DOT_DOT_NAME), parent);
  }
  for (std::uint32_t child : folder_entry_order(tree, folder)) {
    build_dir_entry(new_slot(out), tree.entries[child].shortName, tree.entries[child]);
  }
  clear_dir_slots(new_slot(out), DIR_ENTRY_SIZE);  // the end marker
  std::size_t used = out.size() - start;
  std::size_t padded = std::size_t{ceil_div(static_cast<std::uint32_t>(used), sectorSize)} * sectorSize;
  std::size_t at = out.size();
  out.resize(start + padded);
  clear_dir_slots(out.data() + at, static_cast<std::uint32_t>(start + padded - at));
}
