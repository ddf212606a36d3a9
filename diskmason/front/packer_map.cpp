// The layout map of --map: one tab-separated row per area of the disk and
// per file and directory, in disk order, with the runs of free clusters
// between them up to the last cluster within totalSectors.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "diskmason/front/packer_run.h"
#include "diskmason/image/cluster_alloc.h"
#include "diskmason/image/dcp_writer.h"
#include "diskmason/image/dir_entries.h"
#include "textconv/heap.h"

namespace {

constexpr char HEADER_LINE[] =
    "kind\tpath\tshort_name\tattributes\tsize\tstart_cluster\tclusters\tfirst_sector\tcylinder\t"
    "head\tsector\timage_offset\n";
constexpr char ATTRIBUTE_LETTERS[] = "RHSVDAI?";

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

void put_row(const PackerRun& run, std::FILE* out, const MapRow& r) {
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
  DiskAddress a = disk_address(run.geometry, r.firstSector);
  std::fprintf(out, "%llu\t", static_cast<unsigned long long>(r.firstSector));
  if (a.hasCylinder) {
    std::fprintf(out, "%llu\t%u\t", static_cast<unsigned long long>(a.cylinder), a.head);
  } else {
    std::fputs("\t\t", out);
  }
  std::fprintf(out, "%u\t%llu\n", a.sector,
               static_cast<unsigned long long>(image_offset(run.geometry, r.firstSector)));
}

void put_area(const PackerRun& run, std::FILE* out, const char* kind, std::uint32_t first,
              std::uint32_t sectors) {
  put_row(run, out,
          MapRow{kind, "", "", "", std::uint64_t{sectors} * run.geometry.sectorSize, false, 0, 0, true, first});
}

void put_free(const PackerRun& run, std::FILE* out, std::uint32_t first, std::uint32_t end) {
  std::uint64_t clusters = end - first;
  put_row(run, out, MapRow{"free", "", "", "", clusters * run.geometry.clusterSize, true, first, clusters,
                           true, cluster_sector(run.geometry, first)});
}

void put_node(PackerRun& run, std::FILE* out, const FileNode* node) {
  const FileInfo& info = run.infos[record_of(node)];
  char path[LIST_LINE_LIMIT + 1];
  image_name_of(run, node, path, sizeof path);
  std::uint8_t stored[SHORT_NAME_SIZE];
  make_short_name(entry_name(node), stored);
  char shortName[4 * SHORT_NAME_SIZE + 2];
  show_short_name(run, stored, shortName, sizeof shortName);
  char letters[sizeof ATTRIBUTE_LETTERS] = "-";
  for (std::uint32_t bit = 0, n = 0; bit < 8; ++bit) {
    if ((info.attributes >> bit & 1) != 0) letters[n++] = ATTRIBUTE_LETTERS[bit];
    letters[n] = n == 0 ? '-' : 0;
  }
  std::uint32_t clusters = node_cluster_count(node, run.infos, run.geometry.clusterSize);
  bool onDisk = info.startCluster >= FIRST_DATA_CLUSTER;
  put_row(run, out, MapRow{is_file(node) ? "file" : "dir", path, shortName, letters, info.size, true,
                           info.startCluster, clusters, onDisk,
                           onDisk ? cluster_sector(run.geometry, info.startCluster) : 0});
}

// The nodes in disk order, with the free runs between them.
void put_data_area(PackerRun& run, std::FILE* out, const LayoutList& list, const std::uint32_t* order) {
  std::uint32_t last = last_cluster_within(run.geometry, run.params.totalSectors);
  std::uint64_t next = FIRST_DATA_CLUSTER;  // first cluster no row covers yet
  for (std::uint32_t i = 0; i < list.count; ++i) {
    const FileNode* node = list.nodes[order[i]];
    std::uint32_t start = run.infos[record_of(node)].startCluster;
    if (start > next && next <= last) put_free(run, out, static_cast<std::uint32_t>(next), std::min(start, last + 1));
    put_node(run, out, node);
    std::uint64_t end = std::uint64_t{start} + node_cluster_count(node, run.infos, run.geometry.clusterSize);
    if (start >= FIRST_DATA_CLUSTER && end > next) next = end;
  }
  if (next <= last) put_free(run, out, static_cast<std::uint32_t>(next), last + 1);
}

// The tree's nodes sorted by start cluster, as the image writer lays them
// out; false when memory ran out (what was allocated is the caller's to free).
bool order_nodes(const PackerRun& run, LayoutList& list, std::uint32_t*& order) {
  if (!collect_layout_nodes(&run.root, list)) return false;
  for (std::uint32_t i = 0; i < list.count; ++i) {
    const FileNode* node = list.nodes[i];
    if (!is_file(node) && !collect_layout_nodes(static_cast<const DirNode*>(node), list)) return false;
  }
  std::size_t bytes = (std::size_t{list.count} + 1) * sizeof(std::uint32_t);
  order = static_cast<std::uint32_t*>(heap_alloc(bytes));
  auto* scratch = static_cast<std::uint32_t*>(heap_alloc(bytes));
  bool ok = order != nullptr && scratch != nullptr;
  if (ok) {
    for (std::uint32_t i = 0; i < list.count; ++i) order[i] = i;
    sort_layout_order(list.nodes, order, scratch, list.count, run.infos);
  }
  heap_free(scratch);
  return ok;
}

void put_map(PackerRun& run, std::FILE* out, const LayoutList& list, const std::uint32_t* order) {
  const DiskGeometry& g = run.geometry;
  std::fputs(HEADER_LINE, out);
  put_area(run, out, "boot", 0, g.bootSectors);
  for (std::uint32_t copy = 0; copy < g.fatCount; ++copy) {
    put_area(run, out, "fat", g.fatStart + copy * g.fatSectors, g.fatSectors);
  }
  put_area(run, out, "root", g.rootStart, g.rootSectors);
  put_data_area(run, out, list, order);
}

}  // namespace

bool write_map(PackerRun& run) {
  if (run.mapPath == nullptr) return true;
  LayoutList list{nullptr, 0, 0};
  std::uint32_t* order = nullptr;
  bool ok = order_nodes(run, list, order);
  if (!ok) explain_no_memory(run, "for the map");
  bool toStdout = std::strcmp(run.mapPath, "-") == 0;
  std::FILE* out = !ok ? nullptr : toStdout ? stdout : std::fopen(run.mapPath, "wb");
  ok = out != nullptr;
  if (ok) {
    put_map(run, out, list, order);
    ok = std::fflush(out) == 0 && !std::ferror(out);
    if (!toStdout && std::fclose(out) != 0) ok = false;
  }
  heap_free(order);
  heap_free(list.nodes);
  if (!ok) report_problem(run, "map %s could not be written\n", run.mapPath);
  return ok;
}
