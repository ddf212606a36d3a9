// The allocation of a volume read back: the FAT copies against each other
// and the media byte, every entry's chain (in range, ended by a marker,
// without loops or clusters shared with another entry), the file sizes
// against the chains, the sectors the data needs against the image, and
// clusters marked used that no chain reaches.
#include <algorithm>

#include "diskquarry/check.h"

namespace {

constexpr std::uint16_t BAD_CLUSTER = 0xFF7;
constexpr std::uint32_t MEDIA_ENTRY_HIGH = 0xF00;

void put(CheckSink& sink, bool error, const std::string& text) { sink.put(sink.context, error, text); }

void check_fat_copies(const VolumeRead& v, CheckSink& sink) {
  for (const VolumeProblem& p : v.problems) {
    if (p.kind == ReadProblem::FatCopyUnreadable) {
      put(sink, true, finding_text("FAT copy %u is not all in the image", p.other + 1));
    }
  }
  if (v.fat == nullptr) return;
  const std::vector<std::uint16_t>& fat = *v.fat;
  auto reference = static_cast<std::uint32_t>(v.fat - v.fatCopies.data());
  for (std::uint32_t copy = reference + 1; copy < v.fatCopies.size(); ++copy) {
    const std::vector<std::uint16_t>& other = v.fatCopies[copy];
    if (other.empty()) continue;
    std::uint32_t differing = 0;
    std::uint32_t first = 0;
    for (std::uint32_t n = 0; n < fat.size(); ++n) {
      if (fat[n] != other[n] && differing++ == 0) first = n;
    }
    if (differing != 0) {
      put(sink, true,
          finding_text("FAT copy %u differs from copy %u in %u entries (the first for cluster %u)", copy + 1,
                       reference + 1, differing, first));
    }
  }
  std::uint32_t expected = MEDIA_ENTRY_HIGH | v.boot.mediaByte;
  if (!fat.empty() && fat[0] != expected) {
    put(sink, false,
        finding_text("FAT entry 0 is %03Xh, where the boot sector's media byte %02Xh makes it %03Xh", unsigned{fat[0]},
                     unsigned{v.boot.mediaByte}, expected));
  }
}

struct ChainCheck {
  const VolumeRead& v;
  const std::vector<std::uint16_t>& fat;
  std::uint32_t highest;           // the last cluster that both the data area and the FAT have
  std::vector<std::uint8_t> held;  // by cluster: how many of its sectors, from the first, the image holds
  const EntryNamer& namer;
  CheckSink& sink;
};

std::vector<std::uint8_t> held_sectors(const VolumeRead& v, const SectorSource& sectors, std::uint32_t highest) {
  const VolumeGeometry& g = v.geometry;
  std::vector<std::uint8_t> held(std::size_t{highest} + 1, 0);
  for (std::uint32_t c = FIRST_DATA_CLUSTER; c <= highest; ++c) {
    std::uint32_t s = 0;
    while (s < g.sectorsPerCluster && sectors.sector(sectors.context, cluster_sector(g, c) + s) != nullptr) ++s;
    held[c] = static_cast<std::uint8_t>(s);
  }
  return held;
}

void entry_error(ChainCheck& cc, std::uint32_t entry, const std::string& text) {
  put_entry_finding(cc.sink, cc.namer, entry, true, text);
}

// How the chain ended, where that is a fault; false when it is.
bool check_chain_end(ChainCheck& cc, std::uint32_t entry, std::uint32_t last) {
  std::uint16_t value = cc.fat[last];
  switch (cc.v.chains[entry].end) {
    case ChainEnd::Marker:
    case ChainEnd::NoStart:
    case ChainEnd::NoFat:
      return true;
    case ChainEnd::Free:
      entry_error(cc, entry, finding_text("cluster %u in its chain is marked free", last));
      break;
    case ChainEnd::Bad:
      entry_error(cc, entry, finding_text("cluster %u in its chain is marked bad", last));
      break;
    case ChainEnd::Reserved:
      entry_error(cc, entry,
                  finding_text("cluster %u in its chain holds the reserved value %03Xh", last, unsigned{value}));
      break;
    case ChainEnd::PastFat:
      entry_error(cc, entry,
                  finding_text("cluster %u points to cluster %u, outside the data area (clusters 2 to %u)", last,
                               unsigned{value}, cc.highest));
      break;
    case ChainEnd::Loop:
      entry_error(cc, entry,
                  finding_text("cluster %u points back to cluster %u: the chain loops", last, unsigned{value}));
      break;
  }
  return false;
}

// Walks the chain as the reader followed it: each link in range, the
// sectors of the file's bytes held, then its end and its length.
void check_chain(ChainCheck& cc, std::uint32_t entry) {
  const Entry& e = cc.v.tree.entries[entry];
  const ChainRead& chain = cc.v.chains[entry];
  const VolumeGeometry& g = cc.v.geometry;
  std::uint32_t cluster = e.startCluster;
  if (cluster == 0) {
    if (e.folder) entry_error(cc, entry, "a folder without a cluster (its start cluster is 0)");
    if (!e.folder && e.size != 0) entry_error(cc, entry, finding_text("%u bytes but no cluster", unsigned{e.size}));
    return;
  }
  if (cluster < FIRST_DATA_CLUSTER || cluster > cc.highest) {
    entry_error(cc, entry,
                finding_text("starts at cluster %u, outside the data area (clusters 2 to %u)", cluster, cc.highest));
    return;
  }
  // A chain that starts in another entry's is that entry's, said once as
  // a cross-link: walking it again for each entry would take the clusters
  // times the entries.
  if (cc.v.owner[cluster] != entry) return;
  std::uint64_t bytesLeft = e.folder ? 0 : e.size;
  std::uint32_t missing = 0;
  for (std::uint32_t i = 0;; ++i) {
    std::uint64_t needed = std::min<std::uint64_t>(g.sectorsPerCluster, (bytesLeft + g.sectorSize - 1) / g.sectorSize);
    if (missing == 0 && cc.held[cluster] < needed) missing = cluster;
    bytesLeft -= std::min<std::uint64_t>(bytesLeft, g.clusterSize);
    if (i + 1 >= chain.length) break;
    std::uint32_t next = cc.fat[cluster];
    if (next > cc.highest) {
      entry_error(cc, entry,
                  finding_text("cluster %u points to cluster %u, outside the data area (clusters 2 to %u)", cluster,
                               next, cc.highest));
      return;
    }
    cluster = next;
  }
  if (!check_chain_end(cc, entry, cluster)) return;
  // An empty file may keep one cluster: diskmason gives every entry one.
  std::uint64_t clusters = (std::uint64_t{e.size} + g.clusterSize - 1) / g.clusterSize;
  if (!e.folder && clusters != chain.length && (e.size != 0 || chain.length != 1)) {
    entry_error(cc, entry,
                finding_text("%u bytes take %llu cluster%s, but its chain has %u", unsigned{e.size},
                             static_cast<unsigned long long>(clusters), clusters == 1 ? "" : "s", chain.length));
  }
  if (missing != 0) entry_error(cc, entry, finding_text("the image does not hold all of its cluster %u", missing));
}

// Runs of clusters marked used (neither free nor bad) that no chain holds.
// Where a folder could not be read whole, the entries it would show are
// not known, and nothing is said.
void check_lost_clusters(const ChainCheck& cc, CheckSink& sink) {
  for (const VolumeProblem& p : cc.v.problems) {
    if (p.kind == ReadProblem::SectorMissing) return;
  }
  auto lost = [&cc](std::uint32_t c) {
    return c <= cc.highest && cc.v.owner[c] == NO_ENTRY && cc.fat[c] != 0 && cc.fat[c] != BAD_CLUSTER;
  };
  for (std::uint32_t c = FIRST_DATA_CLUSTER; c <= cc.highest; ++c) {
    if (!lost(c)) continue;
    std::uint32_t end = c;
    while (lost(end + 1)) ++end;
    if (end == c) {
      put(sink, true, finding_text("cluster %u is marked used, but no entry reaches it", c));
    } else {
      put(sink, true, finding_text("clusters %u to %u are marked used, but no entry reaches them", c, end));
    }
    c = end;
  }
}

}  // namespace

void check_allocation(const VolumeRead& v, const SectorSource& sectors, const CheckedLayout& layout,
                      const EntryNamer& namer, CheckSink& sink) {
  check_fat_copies(v, sink);
  if (v.fat == nullptr || v.fat->size() <= FIRST_DATA_CLUSTER || !layout.readable) return;
  std::uint32_t highest = std::min<std::uint32_t>(layout.lastCluster, static_cast<std::uint32_t>(v.fat->size() - 1));
  ChainCheck cc{v, *v.fat, highest, held_sectors(v, sectors, highest), namer, sink};
  for (std::uint32_t entry = 1; entry < v.tree.entries.size(); ++entry) check_chain(cc, entry);
  for (const VolumeProblem& p : v.problems) {
    if (p.kind == ReadProblem::CrossLink) {
      put_entry_finding(
          sink, namer, p.entry, true,
          finding_text("shares cluster %u with %s", p.cluster, namer.name(namer.context, p.other).c_str()));
    }
  }
  check_lost_clusters(cc, sink);
}
