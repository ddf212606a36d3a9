// The host tree of an extraction: a folder per folder, a file per file,
// named safely and dated as the disk dates them.
#include <algorithm>

#include "diskmason/model/attributes.h"
#include "diskquarry/extract_steps.h"
#include "diskquarry/host_tree.h"
#include "diskquarry/safe_name.h"

namespace {

struct HostWriter {
  QuarryRun& run;
  ExtractPlan& plan;
  const std::string& staging;
  std::vector<std::string> folderPath;         // by folder entry: relative to the staging folder
  std::vector<std::string> hostFolder;         // by folder entry: the staging folder's path joined to it
  std::string labelsPath;
  std::string labelsHost;
  std::vector<HostFolderNames> names;          // by folder entry
  HostFolderNames labelNames;
  bool labelsMade;
  std::uint32_t undated, shortChains, noClusters;
  std::string firstUndated, firstShort, firstNoClusters;
  std::vector<BytePiece> pieces;   // the file being written
  std::vector<std::uint8_t> zeros;
  OpenHostFolder open;  // the folder of the last file written
};

void count(std::uint32_t& counter, std::string& first, const std::string& path) {
  if (counter++ == 0) first = path;
}

// The file's bytes: its clusters up to its size; zero bytes for a file the
// disk gives no clusters (at most the image's size of them).
void read_file_bytes(HostWriter& w, std::uint32_t entry) {
  const Entry& e = w.run.volume.tree.entries[entry];
  w.pieces.clear();
  std::uint64_t length = 0;
  if (e.startCluster >= FIRST_DATA_CLUSTER) {
    length = entry_pieces(w.run, entry, e.size, w.pieces);
    if (length < e.size) count(w.shortChains, w.firstShort, w.run.paths[entry]);
  } else if (e.size != 0) {
    count(w.noClusters, w.firstNoClusters, w.run.paths[entry]);
    length = std::min<std::size_t>(e.size, w.run.bytes.size());
    if (w.zeros.size() < length) w.zeros.assign(length, 0);
    w.pieces.push_back(BytePiece{w.zeros.data(), static_cast<std::size_t>(length)});
  }
  w.plan.size[entry] = static_cast<std::uint32_t>(length);
}

bool write_entry(HostWriter& w, std::uint32_t entry) {
  const Entry& e = w.run.volume.tree.entries[entry];
  bool label = !e.folder && (e.attributes & VOLUME_ATTRIBUTE) != 0;
  if (label && !w.labelsMade) w.labelsMade = make_host_folder(w.staging + "/labels");
  bool changed = false;
  std::string safe = safe_host_name(shown_name(w.run, e.name), &changed);
  std::string unique = unique_host_name(label ? w.labelNames : w.names[e.parent], safe);
  if (changed || unique != safe) warn_image(w.run, "'%s' is extracted as '%s'", w.run.paths[entry].c_str(), unique.c_str());
  const std::string& folder = label ? w.labelsPath : w.folderPath[e.parent];
  std::string relative = folder + "/" + unique;
  if (e.folder) {
    w.folderPath[entry] = relative;
    w.hostFolder[entry] = w.staging + "/" + relative;
    if (make_host_folder(w.hostFolder[entry])) return true;
    fail_image(w.run, "cannot make the folder %s", w.hostFolder[entry].c_str());
    return false;
  }
  read_file_bytes(w, entry);
  bool dated = false;
  const std::string& hostFolder = label ? w.labelsHost : w.hostFolder[e.parent];
  if (!write_host_file_in(w.open, hostFolder, unique, w.pieces, e.dateTime, &dated)) {
    fail_image(w.run, "cannot write the file %s/%s", hostFolder.c_str(), unique.c_str());
    return false;
  }
  w.plan.hostPath[entry] = std::move(relative);
  if (!dated) count(w.undated, w.firstUndated, w.run.paths[entry]);
  return true;
}

void warn_about_files(HostWriter& w) {
  if (w.undated != 0) {
    warn_image(w.run, "%u files (the first %s) have no real date and time: they take the time of extraction",
               w.undated, w.firstUndated.c_str());
  }
  if (w.shortChains != 0) {
    warn_image(w.run, "%u files (the first %s) have fewer bytes in their clusters than their size: extracted shorter",
               w.shortChains, w.firstShort.c_str());
  }
  if (w.noClusters != 0) {
    warn_image(w.run, "%u files (the first %s) have a size but no clusters: extracted as zero bytes",
               w.noClusters, w.firstNoClusters.c_str());
  }
}

}  // namespace

bool write_host_tree(QuarryRun& run, ExtractPlan& plan, const std::string& staging) {
  std::size_t n = run.volume.tree.entries.size();
  HostWriter w{run, plan, staging, std::vector<std::string>(n), std::vector<std::string>(n), "labels",
               staging + "/labels", std::vector<HostFolderNames>(n), {}, false, 0, 0, 0, {}, {}, {}, {}, {}, {}};
  plan.hostPath.assign(n, std::string());
  plan.size.assign(n, 0);
  w.folderPath[0] = "files";
  w.hostFolder[0] = staging + "/files";
  if (!make_host_folder(w.hostFolder[0])) {
    fail_image(run, "cannot make the folder %s/files", staging.c_str());
    return false;
  }
  // Entries are numbered after their folders, so each folder is made first.
  for (std::uint32_t entry = 1; entry < n; ++entry) {
    if (!write_entry(w, entry)) return false;
  }
  warn_about_files(w);
  return true;
}
