// The folders of a volume read back, for volume_reader.cpp: the root's
// sectors, then every subfolder's clusters depth first, each slot recorded
// and each entry made with its chain.
#pragma once

#include <cstdint>
#include <vector>

#include "diskmason/volume/volume_reader.h"

// Reads the root and every folder below it into v (the FAT copies read).
void read_folders(VolumeRead& v, const SectorSource& sectors);

// What follow_chain keeps from one chain to the next, so that each cluster
// is walked once in the whole volume: by cluster, the clusters, the runs of
// consecutive clusters and the end of the chain from it on, as the first
// chain through it found them.
struct ChainMemo {
  std::vector<std::uint32_t> rest;
  std::vector<std::uint32_t> restRuns;
  std::vector<ChainEnd> restEnd;
  std::vector<std::uint32_t> walked;  // the clusters the current chain walks
};

// A memo for v's FAT (read already).
ChainMemo make_chain_memo(const VolumeRead& v);

// Follows the chain of the entry's start cluster in v's FAT, marking the
// clusters no chain held before as the entry's in v.owner. A chain that
// reaches a cluster another chain holds is a cross-link: its rest is taken
// from the memo, not walked again.
ChainRead follow_chain(VolumeRead& v, ChainMemo& memo, std::uint32_t entry);
