#include "diskmason/volume/allocation.h"

#include <algorithm>
#include <new>
#include <vector>

#include "diskmason/volume/disk_format.h"
#include "diskmason/volume/geometry.h"

namespace {

// Highest cursor a search can report.
constexpr std::uint64_t CURSOR_LIMIT = 0xFFFFFFFE;

struct Placement {
  EntryTree& tree;
  std::uint32_t clusterSize;
  std::vector<bool> taken;  // by a fixed run or a placed folder
  std::uint32_t cursor;
};

// Finds count free clusters in a row from the cursor on, moves the cursor
// past them and returns the first.
std::uint64_t search_run(Placement& p, std::uint32_t count) {
  std::uint64_t start = first_free_run(p.taken, p.cursor, count);
  p.cursor = static_cast<std::uint32_t>(std::min(start + count, CURSOR_LIMIT));
  return start;
}

void take_run(Placement& p, std::uint64_t start, std::uint32_t count) {
  std::uint64_t end = std::min<std::uint64_t>(start + count, CLUSTER_MAP_SIZE);
  for (std::uint64_t c = start; c < end; ++c) p.taken[c] = true;
}

// A start beyond 16 bits is kept below START_NOT_FIXED; such a disk is
// refused by its end cluster anyway.
std::uint16_t start_field(std::uint64_t start) {
  return static_cast<std::uint16_t>(std::min<std::uint64_t>(start, START_NOT_FIXED - 1));
}

void place(Placement& p, std::uint32_t entry, bool markTaken) {
  Entry& e = p.tree.entries[entry];
  if (e.fixed) return;
  std::uint32_t count = cluster_count(p.tree, entry, p.clusterSize);
  if (count == 0) {
    e.startCluster = 0;
    return;
  }
  std::uint64_t start = search_run(p, count);
  e.startCluster = start_field(start);
  if (markTaken) take_run(p, start, count);
}

// The order below decides where every entry lies, so images built before
// come out the same byte for byte: depth first from the root, and within a
// folder the entries latest made first.
void place_folders(Placement& p, std::uint32_t folder) {
  if (!is_root(p.tree.entries[folder])) place(p, folder, true);
  const std::vector<std::uint32_t>& subfolders = p.tree.entries[folder].subfolders;
  for (auto sub = subfolders.rbegin(); sub != subfolders.rend(); ++sub) place_folders(p, *sub);
}

void place_files(Placement& p, std::uint32_t folder) {
  const Entry& dir = p.tree.entries[folder];
  for (auto file = dir.files.rbegin(); file != dir.files.rend(); ++file) place(p, *file, false);
  for (auto sub = dir.subfolders.rbegin(); sub != dir.subfolders.rend(); ++sub) place_files(p, *sub);
}

}  // namespace

std::uint64_t first_free_run(const std::vector<bool>& taken, std::uint64_t from, std::uint32_t count) {
  std::uint64_t at = from;
  std::uint64_t run = 0;
  while (run < count && at < CLUSTER_MAP_SIZE) {
    run = taken[at] ? 0 : run + 1;
    ++at;
  }
  return at - run;  // clusters past the map count as free
}

std::uint32_t cluster_count(const EntryTree& tree, std::uint32_t entry, std::uint32_t clusterSize) {
  if (clusterSize == 0) return 1;
  const Entry& e = tree.entries[entry];
  std::uint32_t count = 0;
  if (!e.folder) {
    if (e.size == 0 && !e.fixed) return 0;
    count = ceil_div(e.size, clusterSize);
  } else {
    // Its entries, "." and "..", and the end marker.
    auto children = static_cast<std::uint32_t>(e.files.size() + e.subfolders.size());
    count = ceil_div((children + 3) * DIR_ENTRY_SIZE, clusterSize);
  }
  return count == 0 ? 1 : count;
}

std::uint32_t place_clusters(EntryTree& tree, std::uint32_t clusterSize) {
  try {
    Placement p{tree, clusterSize, std::vector<bool>(CLUSTER_MAP_SIZE, false), FIRST_DATA_CLUSTER};
    for (std::uint32_t i = 1; i < tree.entries.size(); ++i) {
      const Entry& e = tree.entries[i];
      if (e.fixed) take_run(p, e.startCluster, cluster_count(tree, i, clusterSize));
    }
    place_folders(p, 0);
    place_files(p, 0);
    return p.cursor;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}
