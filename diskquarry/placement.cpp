// Which files the list fixes at their start cluster, and the order of its
// lines. diskmason places every entry it is not told to fix: the folders
// first, then the files, each pass depth first with a folder's entries
// latest made first, every run at the first free place from where the last
// one ended; an empty file it places takes no cluster. Entries are made in
// the order the lines name them, and a folder takes the date of the line
// that makes it. So the lines give each folder's subfolders and files in
// the reverse of their disk order, fix the files that do not lie where that
// puts them (an empty file with a cluster among them), and start each
// folder with a file of the folder's date. Cluster counts and the search
// for a free run are diskmason's own.
#include <algorithm>

#include "diskmason/driver/list_reader.h"
#include "diskmason/volume/allocation.h"
#include "diskquarry/extract_plan.h"

namespace {

struct Planner {
  const QuarryRun& run;
  const EntryTree& tree;  // as read from the image
  ExtractPlan& plan;
  std::uint32_t clusterSize;
  // The tree the list makes: the listed entries with the sizes extracted,
  // each folder's listed subfolders and files in the order the lines make
  // them.
  EntryTree listed;
  std::vector<std::uint32_t> clusters;  // by entry: the clusters the rebuild gives it
  std::vector<std::uint32_t> runs;      // by cluster: the listed runs that hold it
  std::vector<bool> taken;              // by cluster: runs != 0
  std::uint32_t cursor;
};

bool by_start(const Planner& p, std::uint32_t a, std::uint32_t b) {
  return p.tree.entries[a].startCluster < p.tree.entries[b].startCluster;
}

// Room for the start cluster and the quotes around a host path with blanks.
constexpr std::size_t LINE_SPARE = 6 + 2;

// The lengths of a folder's paths in the list: its host path and its image path.
struct PathLengths {
  std::size_t host;
  std::size_t image;
};

PathLengths lengths_below(const Planner& p, const PathLengths& folder, std::uint32_t child) {
  std::size_t image = folder.image == 0 ? 0 : folder.image + 1;
  return PathLengths{folder.host + 1 + p.plan.hostName[child].size(), image + p.plan.spelled[child].size()};
}

// True when an entry's line, or any line below a folder, would be no file
// list line; counted, and the entry is left out.
bool too_deep(Planner& p, std::uint32_t child, const PathLengths& at) {
  const Entry& e = p.tree.entries[child];
  std::size_t line = at.host + 1 + at.image + (e.folder ? 0 : line_tail(e).size()) + LINE_SPARE;
  if (line < LIST_LINE_LIMIT) return false;
  if (p.plan.unsayable.tooDeep++ == 0) p.plan.unsayable.firstTooDeep = entry_path(p.run, child);
  return true;
}

// Files listed where every folder above is; folders with a listed file
// below. Nothing below a folder whose paths leave no room for a line is
// visited, so the depth this walks is a line's.
bool mark_listed(Planner& p, std::uint32_t folder, bool parentListed, const PathLengths& paths) {
  bool any = false;
  for (std::uint32_t child : p.tree.entries[folder].children) {
    bool listed = parentListed && p.plan.listed[child];
    PathLengths below = lengths_below(p, paths, child);
    if (listed && too_deep(p, child, below)) {
      p.plan.listed[child] = false;
      continue;
    }
    if (p.tree.entries[child].folder) {
      listed = listed && mark_listed(p, child, listed, below);
      if (parentListed && p.plan.listed[child] && !listed && p.plan.unsayable.emptyFolders++ == 0) {
        p.plan.unsayable.firstEmptyFolder = p.plan.spelled[child];
      }
    }
    p.plan.listed[child] = listed;
    Entry& dir = p.listed.entries[folder];
    if (listed) (p.tree.entries[child].folder ? dir.subfolders : dir.files).push_back(child);
    any = any || listed;
  }
  return any;
}

// The listed entry as the list makes it: a file of the size extracted, fixed
// when it is empty but has a cluster (placement gives an empty file none).
void make_listed_entry(Planner& p, std::uint32_t entry) {
  const Entry& e = p.tree.entries[entry];
  Entry& made = p.listed.entries[entry];
  made.folder = e.folder;
  made.size = e.folder ? 0 : p.plan.size[entry];
  made.fixed = !e.folder && made.size == 0 && e.startCluster != 0;
}

void mark_run(Planner& p, std::uint32_t entry, int delta) {
  std::uint32_t start = p.tree.entries[entry].startCluster;
  if (start < FIRST_DATA_CLUSTER) return;
  std::uint32_t end = std::min<std::uint32_t>(start + p.clusters[entry], CLUSTER_MAP_SIZE);
  for (std::uint32_t c = start; c < end; ++c) {
    p.runs[c] = static_cast<std::uint32_t>(static_cast<int>(p.runs[c]) + delta);
    p.taken[c] = p.runs[c] != 0;
  }
}

// Where placement puts the entry, the other runs taken; moves the cursor on
// when that is where it lies.
bool placed_there(Planner& p, std::uint32_t entry) {
  mark_run(p, entry, -1);
  std::uint32_t count = p.clusters[entry];
  std::uint64_t start = first_free_run(p.taken, p.cursor, count);
  mark_run(p, entry, +1);
  if (start != p.tree.entries[entry].startCluster) return false;
  p.cursor = static_cast<std::uint32_t>(start + count);
  return true;
}

void sort_by_start(Planner& p, std::vector<std::uint32_t>& entries) {
  std::stable_sort(entries.begin(), entries.end(),
                   [&p](std::uint32_t a, std::uint32_t b) { return by_start(p, a, b); });
}

void place_folders(Planner& p, std::uint32_t folder) {
  std::vector<std::uint32_t>& subs = p.listed.entries[folder].subfolders;
  sort_by_start(p, subs);
  for (std::uint32_t sub : subs) {
    if (!placed_there(p, sub) && p.plan.unsayable.misplacedFolders++ == 0) {
      p.plan.unsayable.firstMisplaced = p.plan.spelled[sub];
    }
    place_folders(p, sub);
  }
}

// Files that lie where placement puts them are placed; the others are fixed.
void place_files(Planner& p, std::uint32_t folder) {
  std::vector<std::uint32_t>& files = p.listed.entries[folder].files;
  sort_by_start(p, files);
  std::vector<std::uint32_t> automatic;
  std::vector<std::uint32_t> fixed;
  for (std::uint32_t file : files) {
    bool placed = p.clusters[file] == 0 ||
                  (p.tree.entries[file].startCluster >= FIRST_DATA_CLUSTER && placed_there(p, file));
    p.plan.fixed[file] = !placed;
    (placed ? automatic : fixed).push_back(file);
  }
  // Made in the reverse of their placement; fixed files anywhere after.
  files.assign(automatic.rbegin(), automatic.rend());
  files.insert(files.end(), fixed.begin(), fixed.end());
  for (std::uint32_t sub : p.listed.entries[folder].subfolders) place_files(p, sub);
}

void reverse_subfolders(Planner& p) {
  for (Entry& e : p.listed.entries) std::reverse(e.subfolders.begin(), e.subfolders.end());
}

bool can_start_with(const Planner& p, std::uint32_t folder, std::uint32_t dateTime);

// The index among the folder's files of one that may come first with the
// date, or -1: the first file made, or any whose place placement does not
// decide (a fixed file, an empty one).
int first_file_with(const Planner& p, std::uint32_t folder, std::uint32_t dateTime) {
  const std::vector<std::uint32_t>& files = p.listed.entries[folder].files;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (i != 0 && !p.plan.fixed[files[i]] && p.clusters[files[i]] != 0) continue;
    if (p.tree.entries[files[i]].dateTime == dateTime) return static_cast<int>(i);
  }
  return -1;
}

bool can_start_with(const Planner& p, std::uint32_t folder, std::uint32_t dateTime) {
  if (first_file_with(p, folder, dateTime) >= 0) return true;
  const std::vector<std::uint32_t>& subs = p.listed.entries[folder].subfolders;
  return !subs.empty() && p.tree.entries[subs[0]].dateTime == dateTime && can_start_with(p, subs[0], dateTime);
}

// The lines of a folder: the one that makes it first (a file of its date,
// or the block of its first subfolder), then its files, then its subfolders.
void emit(Planner& p, std::uint32_t folder) {
  std::vector<std::uint32_t>& files = p.listed.entries[folder].files;
  const std::vector<std::uint32_t>& subs = p.listed.entries[folder].subfolders;
  std::size_t firstSub = 0;
  if (folder != 0) {
    std::uint32_t want = p.tree.entries[folder].dateTime;
    int file = first_file_with(p, folder, want);
    if (file > 0) std::rotate(files.begin(), files.begin() + file, files.begin() + file + 1);
    if (file < 0 && !subs.empty() && can_start_with(p, subs[0], want)) {
      emit(p, subs[0]);
      firstSub = 1;
    } else if (file < 0 && p.plan.unsayable.folderDates++ == 0) {
      p.plan.unsayable.firstFolderDate = p.plan.spelled[folder];
    }
  }
  p.plan.lines.insert(p.plan.lines.end(), files.begin(), files.end());
  for (std::size_t i = firstSub; i < subs.size(); ++i) emit(p, subs[i]);
}

}  // namespace

void plan_lines(const QuarryRun& run, ExtractPlan& plan) {
  const EntryTree& tree = run.volume.tree;
  std::size_t n = tree.entries.size();
  Planner p{run, tree, plan, run.volume.geometry.clusterSize, EntryTree{}, std::vector<std::uint32_t>(n, 0),
            std::vector<std::uint32_t>(CLUSTER_MAP_SIZE, 0), std::vector<bool>(CLUSTER_MAP_SIZE, false),
            FIRST_DATA_CLUSTER};
  p.listed.entries.resize(n);
  p.listed.entries[0].folder = true;
  plan.fixed.assign(n, false);
  plan.lines.clear();
  mark_listed(p, 0, true, PathLengths{5, 0});  // "files"
  // Below a folder left out nothing is listed (entries follow their folders).
  for (std::uint32_t i = 1; i < n; ++i) {
    if (!plan.listed[tree.entries[i].parent]) plan.listed[i] = false;
  }
  for (std::uint32_t i = 1; i < n; ++i) {
    if (plan.listed[i]) make_listed_entry(p, i);
  }
  for (std::uint32_t i = 1; i < n; ++i) {
    if (plan.listed[i]) p.clusters[i] = cluster_count(p.listed, i, p.clusterSize);
  }
  for (std::uint32_t i = 1; i < n; ++i) {
    if (plan.listed[i]) mark_run(p, i, +1);
  }
  place_folders(p, 0);
  place_files(p, 0);
  reverse_subfolders(p);
  emit(p, 0);
}
