// The folders of a volume read back, for volume_reader.cpp: the root's
// sectors, then every subfolder's clusters depth first, each slot recorded
// and each entry made with its chain.
#pragma once

#include <cstdint>
#include <vector>

#include "diskmason/volume/volume_reader.h"

// Reads the root and every folder below it into v (the FAT copies read).
void read_folders(VolumeRead& v, const SectorSource& sectors);

// Follows the chain of the entry's start cluster in v's FAT, marking its
// clusters in v.owner; visits is one stamp per FAT entry, shared by all
// chains (each chain stamps with its entry number + 1).
ChainRead follow_chain(VolumeRead& v, std::vector<std::uint32_t>& visits, std::uint32_t entry);
