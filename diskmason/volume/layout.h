// The order in which the data area holds the entries, computed once per
// disk and read by the FAT, the data writer and the map.
#pragma once

#include <cstdint>
#include <vector>

#include "diskmason/model/entry_tree.h"

// Every entry but the root, collected folder by folder from the root (each
// folder's subfolders, then its files, in the order they were made) and
// sorted by start cluster; entries with equal start clusters keep the order
// of collection. False when memory ran out.
bool layout_order(const EntryTree& tree, std::vector<std::uint32_t>& order);
