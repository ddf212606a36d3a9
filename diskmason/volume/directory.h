// The 32-byte entries of a folder as the volume stores them.
#pragma once

#include <cstdint>
#include <vector>

#include "diskmason/model/entry_tree.h"

// Fills DIR_ENTRY_SIZE bytes from a short name and an entry's facts.
void build_dir_entry(std::uint8_t* slot, const std::uint8_t* shortName, const Entry& facts);

// Makes the slots of bytes[0, length) empty: byte 0 of each 0x00, the rest fill.
void clear_dir_slots(std::uint8_t* bytes, std::uint32_t length);

// The entries of a folder in the order the disk holds them: system entries
// first, then files before folders, each group by the name as written.
std::vector<std::uint32_t> folder_entry_order(const EntryTree& tree, std::uint32_t folder);

// Appends the folder's sectors to out: "." and ".." first when withDots
// (".." from the parent's facts, the root's for a folder in the root), its
// entries, the end marker and empty slots to the end of that sector.
void append_folder_sectors(const EntryTree& tree, std::uint32_t folder, bool withDots, std::uint32_t sectorSize,
                           std::vector<std::uint8_t>& out);
