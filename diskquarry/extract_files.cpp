// The host tree of an extraction: a folder per folder, a file per file,
// named safely and dated as the disk dates them. Naming comes first and
// touches no host file, so that the file list can be made and checked
// while the files are written.
#include <algorithm>

#include "diskmason/model/attributes.h"
#include "diskmason/volume/long_name.h"
#include "diskquarry/extract_steps.h"
#include "diskquarry/safe_name.h"

namespace {

struct Namer {
  QuarryRun& run;
  ExtractPlan& plan;
  HostTree& tree;
  std::vector<HostFolderNames> names;  // by folder entry
  HostFolderNames labelNames;
  std::uint32_t shortChains, noClusters;
  std::string firstShort, firstNoClusters;
};

void count(std::uint32_t& counter, std::string& first, const QuarryRun& run, std::uint32_t entry) {
  if (counter++ == 0) first = entry_path(run, entry);
}

bool is_label(const Entry& e) { return !e.folder && (e.attributes & VOLUME_ATTRIBUTE) != 0; }

// The bytes a file gets: its clusters up to its size; zero bytes for a
// file the disk gives no clusters (at most the image's size of them).
std::uint64_t file_length(Namer& n, std::uint32_t entry) {
  const Entry& e = n.run.volume.tree.entries[entry];
  if (e.startCluster >= FIRST_DATA_CLUSTER) {
    std::vector<BytePiece> pieces;
    std::uint64_t length = entry_pieces(n.run, entry, e.size, pieces);
    if (length < e.size) count(n.shortChains, n.firstShort, n.run, entry);
    return length;
  }
  if (e.size == 0) return 0;
  count(n.noClusters, n.firstNoClusters, n.run, entry);
  return std::min<std::uint64_t>(e.size, n.run.bytes.size());
}

void name_entry(Namer& n, std::uint32_t entry) {
  const Entry& e = n.run.volume.tree.entries[entry];
  bool label = is_label(e);
  n.tree.labels = n.tree.labels || label;
  bool changed = false;
  // The name other systems give it: its long name where it has one.
  std::string given;
  if (!long_name_of(n.run.volume, entry, given)) given = n.run.shown[entry];
  std::string safe = safe_host_name(given, &changed);
  std::string unique = unique_host_name(label ? n.labelNames : n.names[e.parent], safe);
  if (changed || unique != safe) {
    warn_image(n.run, "'%s' is extracted as '%s'", entry_path(n.run, entry).c_str(), unique.c_str());
  }
  n.plan.hostName[entry] = std::move(unique);
  if (!e.folder) n.plan.size[entry] = static_cast<std::uint32_t>(file_length(n, entry));
}

}  // namespace

std::string host_path(const QuarryRun& run, const ExtractPlan& plan, std::uint32_t entry) {
  const EntryTree& tree = run.volume.tree;
  if (entry != 0 && is_label(tree.entries[entry])) return "labels/" + plan.hostName[entry];
  std::vector<std::uint32_t> line;
  for (std::uint32_t e = entry; e != 0; e = tree.entries[e].parent) line.push_back(e);
  std::string path = "files";
  for (auto e = line.rbegin(); e != line.rend(); ++e) path += "/" + plan.hostName[*e];
  return path;
}

void name_host_tree(QuarryRun& run, ExtractPlan& plan, HostTree& tree) {
  std::size_t n = run.volume.tree.entries.size();
  Namer namer{run, plan, tree, std::vector<HostFolderNames>(n), {}, 0, 0, {}, {}};
  tree.labels = false;
  plan.hostName.assign(n, std::string());
  plan.size.assign(n, 0);
  for (std::uint32_t entry = 1; entry < n; ++entry) name_entry(namer, entry);
  if (namer.shortChains != 0) {
    warn_image(run, "%u files (the first %s) have fewer bytes in their clusters than their size: extracted shorter",
               namer.shortChains, namer.firstShort.c_str());
  }
  if (namer.noClusters != 0) {
    warn_image(run, "%u files (the first %s) have a size but no clusters: extracted as zero bytes",
               namer.noClusters, namer.firstNoClusters.c_str());
  }
}

bool write_host_tree(QuarryRun& run, const ExtractPlan& plan, HostTree& tree) {
  const std::string labels = tree.staging + "/labels";
  const std::string files = tree.staging + "/files";
  if (!make_host_folder(files) || (tree.labels && !make_host_folder(labels))) {
    fail_image(run, "cannot make the folders in %s", tree.staging.c_str());
    return false;
  }
  OpenHostFolder open;  // the folder of the last file written
  std::uint32_t openParent = 0;
  std::string folder = files;  // the host path of openParent
  std::vector<BytePiece> pieces;
  std::vector<std::uint8_t> zeros;
  for (std::uint32_t entry = 1; entry < run.volume.tree.entries.size(); ++entry) {
    const Entry& e = run.volume.tree.entries[entry];
    if (e.folder) {
      std::string path = tree.staging + "/" + host_path(run, plan, entry);
      if (make_host_folder(path)) continue;
      fail_image(run, "cannot make the folder %s", path.c_str());
      return false;
    }
    pieces.clear();
    std::uint32_t size = plan.size[entry];
    if (e.startCluster >= FIRST_DATA_CLUSTER) {
      entry_pieces(run, entry, size, pieces);
    } else if (size != 0) {
      if (zeros.size() < size) zeros.assign(size, 0);
      pieces.push_back(BytePiece{zeros.data(), size});
    }
    // The entries of a folder are numbered together: its path is made once.
    if (!is_label(e) && e.parent != openParent) {
      openParent = e.parent;
      folder = tree.staging + "/" + host_path(run, plan, openParent);
    }
    const std::string& into = is_label(e) ? labels : folder;
    bool dated = false;
    if (!write_host_file_in(open, into, plan.hostName[entry], pieces, e.dateTime, &dated)) {
      fail_image(run, "cannot write the file %s/%s", into.c_str(), plan.hostName[entry].c_str());
      return false;
    }
    if (!dated) count(tree.undated, tree.firstUndated, run, entry);
  }
  return true;
}

void warn_undated(QuarryRun& run, const HostTree& tree) {
  if (tree.undated == 0) return;
  warn_image(run, "%u files (the first %s) have no real date and time: they take the time of extraction",
             tree.undated, tree.firstUndated.c_str());
}
