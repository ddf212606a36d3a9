#include "diskmason/volume/folder_reader.h"

#include <cstring>
#include <new>

#include "diskmason/model/attributes.h"

namespace {

constexpr std::uint8_t LONG_NAME_ATTRIBUTES = 0x0F;
constexpr std::uint8_t LONG_NAME_MASK = 0x3F;
constexpr char DOT_NAME[] = ".          ";
constexpr char DOT_DOT_NAME[] = "..         ";
// Entries made room for before reading; more grow the record as usual.
constexpr std::size_t ENTRIES_AT_ONCE = 1024;
// Clusters a start-cluster field can name.
constexpr std::uint32_t CLUSTER_NUMBERS = 0x10000;

struct FolderReader {
  VolumeRead& v;
  const SectorSource& sectors;
  ChainMemo chains;
  std::vector<bool> readAsFolder;     // by cluster
  std::vector<std::uint32_t> pending; // folders still to read, the next one last
  bool ended;                         // the current folder's end marker was read
};

SlotKind kind_of(const std::uint8_t* slot) {
  if (slot[0] == 0) return SlotKind::EndMarker;
  if (slot[0] == DELETED_MARK) return SlotKind::Deleted;
  if ((slot[ENTRY_ATTRIBUTES.offset] & LONG_NAME_MASK) == LONG_NAME_ATTRIBUTES) return SlotKind::LongName;
  if (std::memcmp(slot, DOT_NAME, SHORT_NAME_SIZE) == 0) return SlotKind::Dot;
  if (std::memcmp(slot, DOT_DOT_NAME, SHORT_NAME_SIZE) == 0) return SlotKind::DotDot;
  return SlotKind::Entry;
}

std::uint32_t add_entry(FolderReader& r, std::uint32_t folder, const std::uint8_t* slot) {
  EntryTree& tree = r.v.tree;
  auto id = static_cast<std::uint32_t>(tree.entries.size());
  Entry& e = tree.entries.emplace_back();
  std::uint8_t attributes = slot[ENTRY_ATTRIBUTES.offset];
  e.parent = folder;
  e.folder = (attributes & DIRECTORY_ATTRIBUTE) != 0 && (attributes & VOLUME_ATTRIBUTE) == 0;
  std::memcpy(e.shortName, slot, SHORT_NAME_SIZE);
  std::uint8_t text[SHORT_NAME_SIZE + 1];
  e.name.assign(reinterpret_cast<const char*>(text), short_name_text(slot, text));
  e.sortName = e.name;
  e.fit = ShortNameFit{false, false, false, 0xFFFF};
  e.attributes = attributes;
  e.dateTime = load_field(slot, ENTRY_DATE_TIME);
  e.startCluster = static_cast<std::uint16_t>(load_field(slot, ENTRY_START_CLUSTER));
  // It lies where the image has it; an empty file at cluster 0 takes none.
  e.fixed = e.startCluster != 0;
  e.size = load_field(slot, ENTRY_FILE_SIZE);
  e.line = 0;
  e.startColumn = 0;
  Entry& parent = tree.entries[folder];
  parent.children.push_back(id);
  (tree.entries[id].folder ? parent.subfolders : parent.files).push_back(id);
  r.v.slotOf.push_back(static_cast<std::uint32_t>(r.v.slots.size()));
  r.v.chains.push_back(ChainRead{});
  r.v.chains[id] = follow_chain(r.v, r.chains, id);
  return id;
}

// Records the slots of bytes[0, length) up to the folder's end marker.
void read_slots(FolderReader& r, std::uint32_t folder, const std::uint8_t* bytes, std::uint32_t length) {
  for (std::uint32_t at = 0; at + DIR_ENTRY_SIZE <= length && !r.ended; at += DIR_ENTRY_SIZE) {
    const std::uint8_t* slot = bytes + at;
    DirSlot record{folder, NO_ENTRY, kind_of(slot), {}};
    std::memcpy(record.bytes, slot, DIR_ENTRY_SIZE);
    if (record.kind == SlotKind::Entry) record.entry = add_entry(r, folder, slot);
    r.v.slots.push_back(record);
    r.ended = record.kind == SlotKind::EndMarker;
  }
}

// Reads `count` sectors from `first`; false at the first one missing.
bool read_sectors(FolderReader& r, std::uint32_t folder, std::uint64_t first, std::uint32_t count) {
  for (std::uint32_t s = 0; s < count && !r.ended; ++s) {
    const std::uint8_t* sector = r.sectors.sector(r.sectors.context, first + s);
    if (sector == nullptr) {
      r.v.problems.push_back({ReadProblem::SectorMissing, folder, 0, 0});
      return false;
    }
    read_slots(r, folder, sector, r.v.geometry.sectorSize);
  }
  return true;
}

// A subfolder's clusters in chain order (its first cluster alone when it
// has no chain), each read as a folder once in the whole volume.
void read_subfolder(FolderReader& r, std::uint32_t folder) {
  const VolumeGeometry& g = r.v.geometry;
  std::uint32_t cluster = r.v.tree.entries[folder].startCluster;
  if (cluster < FIRST_DATA_CLUSTER) return;
  std::uint32_t clusters = r.v.chains[folder].length == 0 ? 1 : r.v.chains[folder].length;
  for (std::uint32_t i = 0; i < clusters && !r.ended; ++i) {
    if (r.readAsFolder[cluster]) {
      r.v.problems.push_back({ReadProblem::FolderLoop, folder, cluster, 0});
      return;
    }
    r.readAsFolder[cluster] = true;
    if (!read_sectors(r, folder, cluster_sector(g, cluster), g.sectorsPerCluster)) return;
    if (i + 1 < clusters) cluster = (*r.v.fat)[cluster];
  }
}

void queue_subfolders(FolderReader& r, std::uint32_t folder) {
  const std::vector<std::uint32_t>& subfolders = r.v.tree.entries[folder].subfolders;
  r.pending.insert(r.pending.end(), subfolders.rbegin(), subfolders.rend());
}

}  // namespace

void read_folders(VolumeRead& v, const SectorSource& sectors) {
  FolderReader r{v, sectors, make_chain_memo(v), std::vector<bool>(CLUSTER_NUMBERS, false),
                 {}, false};
  if (!start_tree(v.tree)) throw std::bad_alloc();
  // Room for the entries of a usual disk at once: the records are large.
  v.tree.entries.reserve(ENTRIES_AT_ONCE);
  v.slotOf.assign(1, NO_ENTRY);
  v.chains.assign(1, ChainRead{0, 0, ChainEnd::NoStart});
  read_sectors(r, 0, v.geometry.rootStart, v.geometry.rootSectors);
  queue_subfolders(r, 0);
  while (!r.pending.empty()) {
    std::uint32_t folder = r.pending.back();
    r.pending.pop_back();
    r.ended = false;
    read_subfolder(r, folder);
    queue_subfolders(r, folder);
  }
}
