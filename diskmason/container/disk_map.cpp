#include "diskmason/container/disk_map.h"

#include <algorithm>

#include "diskmason/model/attributes.h"
#include "diskmason/volume/allocation.h"

namespace {

constexpr char HEADER_LINE[] =
    "kind\tpath\tshort_name\tattributes\tsize\tstart_cluster\tclusters\tfirst_sector\tcylinder\t"
    "head\tsector\timage_offset\n";

// One row; empty texts and the flags leave columns that do not apply empty.
struct MapRow {
  const char* kind;
  const char* path;
  const char* shortName;
  const char* attributes;
  std::uint64_t size;
  bool inClusters;  // start_cluster and clusters apply
  std::uint32_t startCluster;
  std::uint64_t clusters;
  bool onDisk;  // the row's first sector is on the disk
  std::uint64_t firstSector;
};

// A text column; a tab or line feed inside it would split the row.
void put_text(std::FILE* out, const char* text) {
  for (const char* p = text; *p != 0; ++p) {
    if (*p == '\t' || *p == '\n') {
      std::fputs(*p == '\t' ? "\\t" : "\\n", out);
    } else {
      std::fputc(*p, out);
    }
  }
  std::fputc('\t', out);
}

void put_row(const DiskMap& m, std::FILE* out, const MapRow& r) {
  std::fprintf(out, "%s\t", r.kind);
  put_text(out, r.path);
  put_text(out, r.shortName);
  put_text(out, r.attributes);
  std::fprintf(out, "%llu\t", static_cast<unsigned long long>(r.size));
  if (r.inClusters) {
    std::fprintf(out, "%u\t%llu\t", r.startCluster, static_cast<unsigned long long>(r.clusters));
  } else {
    std::fputs("\t\t", out);
  }
  if (!r.onDisk) {
    std::fputs("\t\t\t\t\n", out);
    return;
  }
  DiskAddress a = disk_address(m.geometry, r.firstSector);
  std::fprintf(out, "%llu\t", static_cast<unsigned long long>(r.firstSector));
  if (a.hasCylinder) {
    std::fprintf(out, "%llu\t%u\t", static_cast<unsigned long long>(a.cylinder), a.head);
  } else {
    std::fputs("\t\t", out);
  }
  std::fprintf(out, "%u\t%llu\n", a.sector,
               static_cast<unsigned long long>(image_offset(m.plan, m.geometry, r.firstSector)));
}

void put_area(const DiskMap& m, std::FILE* out, const char* kind, std::uint32_t first, std::uint32_t sectors) {
  put_row(m, out, MapRow{kind, "", "", "", std::uint64_t{sectors} * m.geometry.sectorSize, false, 0, 0, true, first});
}

void put_free(const DiskMap& m, std::FILE* out, std::uint32_t first, std::uint32_t end) {
  std::uint64_t clusters = end - first;
  put_row(m, out, MapRow{"free", "", "", "", clusters * m.geometry.clusterSize, true, first, clusters, true,
                         cluster_sector(m.geometry, first)});
}

void put_entry(const DiskMap& m, std::FILE* out, std::uint32_t entry) {
  const Entry& e = m.tree.entries[entry];
  char shortName[4 * SHORT_NAME_SIZE + 2];
  show_short_name(m.reverse, e.shortName, shortName, sizeof shortName);
  char letters[sizeof ATTRIBUTE_LETTERS];
  attribute_letters(e.attributes, letters);
  bool onDisk = e.startCluster >= FIRST_DATA_CLUSTER;
  std::string path = m.path != nullptr ? m.path(m.pathContext, entry) : e.imagePath;
  put_row(m, out, MapRow{e.folder ? "dir" : "file", path.c_str(), shortName, letters, e.size, true,
                         e.startCluster, cluster_count(m.tree, entry, m.geometry.clusterSize), onDisk,
                         onDisk ? cluster_sector(m.geometry, e.startCluster) : 0});
}

// The entries in disk order, with the free runs between them up to the last
// cluster within totalSectors.
void put_data_area(const DiskMap& m, std::FILE* out) {
  std::uint32_t last = last_cluster_within(m.geometry, m.totalSectors);
  std::uint64_t next = FIRST_DATA_CLUSTER;  // first cluster no row covers yet
  for (std::uint32_t entry : m.order) {
    std::uint32_t start = m.tree.entries[entry].startCluster;
    if (start > next && next <= last) put_free(m, out, static_cast<std::uint32_t>(next), std::min(start, last + 1));
    put_entry(m, out, entry);
    std::uint64_t end = std::uint64_t{start} + cluster_count(m.tree, entry, m.geometry.clusterSize);
    if (start >= FIRST_DATA_CLUSTER && end > next) next = end;
  }
  if (next <= last) put_free(m, out, static_cast<std::uint32_t>(next), last + 1);
}

}  // namespace

bool write_disk_map(std::FILE* out, const DiskMap& m) {
  const VolumeGeometry& g = m.geometry;
  std::fputs(HEADER_LINE, out);
  put_area(m, out, "boot", 0, g.bootSectors);
  for (std::uint32_t copy = 0; copy < g.fatCount; ++copy) put_area(m, out, "fat", g.fatStart + copy * g.fatSectors, g.fatSectors);
  put_area(m, out, "root", g.rootStart, g.rootSectors);
  put_data_area(m, out);
  return std::fflush(out) == 0 && !std::ferror(out);
}
