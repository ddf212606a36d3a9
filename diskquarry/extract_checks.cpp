// What an extraction infers and what it warns about: the header choices
// that rebuild the image, what the list cannot say, and where a rebuild
// differs.
#include <algorithm>

#include "diskmason/driver/list_reader.h"
#include "diskmason/model/attributes.h"
#include "diskquarry/extract_steps.h"

namespace {

// The header as the boot sector and the container give it.
DiskParams header_of(const QuarryRun& run) {
  DiskParams p = params_of_boot(run.volume.boot);
  p.sectorsPerTrack = run.volume.boot.sectorsPerTrack;
  p.diskType = run.image.format == ImageFormat::Dcp ? run.bytes[0] : 0;
  // A raw image ends with the total sectors whatever the track count; a
  // count of its own could only make diskmason refuse the list.
  std::uint32_t present = run.image.format == ImageFormat::Raw ? 0 : run.image.presentTracks;
  p.headerTracks = static_cast<std::uint8_t>(std::min<std::uint32_t>(present, 255));
  return p;
}

// An image that holds every sector of its present tracks was likely padded.
bool looks_padded(const QuarryRun& run, const DiskParams& p) {
  std::uint64_t whole = std::uint64_t{p.headerTracks} * run.image.sectorsPerTrack * p.bytesPerSector;
  return run.image.format == ImageFormat::Dcp && whole != 0 && run.bytes.size() >= 162 + whole;
}

bool count_if_nonzero(const std::uint8_t* bytes, std::uint32_t from, std::uint32_t to) {
  return std::any_of(bytes + from, bytes + to, [](std::uint8_t b) { return b != 0; });
}

// Free clusters on the disk that hold anything but diskmason's fill byte.
std::uint32_t free_clusters_with_data(const QuarryRun& run) {
  const VolumeGeometry& g = run.volume.geometry;
  std::uint32_t last = last_cluster_within(g, run.volume.boot.totalSectors);
  std::uint32_t found = 0;
  for (std::uint32_t c = FIRST_DATA_CLUSTER; c <= last && c < run.volume.owner.size(); ++c) {
    if (run.volume.owner[c] != NO_ENTRY) continue;
    for (std::uint32_t s = 0; s < g.sectorsPerCluster; ++s) {
      const std::uint8_t* sector = read_sector(run.image, cluster_sector(g, c) + s);
      if (sector != nullptr && std::any_of(sector, sector + g.sectorSize, [](std::uint8_t b) { return b != FILL_BYTE; })) {
        ++found;
        break;
      }
    }
  }
  return found;
}

void warn_about_slots(QuarryRun& run) {
  std::uint32_t longNames = 0, deleted = 0, extraBytes = 0, folderAttributes = 0;
  for (const DirSlot& slot : run.volume.slots) {
    longNames += slot.kind == SlotKind::LongName ? 1 : 0;
    deleted += slot.kind == SlotKind::Deleted ? 1 : 0;
    bool named = slot.kind == SlotKind::Entry || slot.kind == SlotKind::Dot || slot.kind == SlotKind::DotDot;
    extraBytes += named && count_if_nonzero(slot.bytes, ENTRY_RESERVED.offset, end_of(ENTRY_RESERVED)) ? 1 : 0;
    bool folder = slot.entry != NO_ENTRY && run.volume.tree.entries[slot.entry].folder;
    folderAttributes += folder && slot.bytes[ENTRY_ATTRIBUTES.offset] != DIRECTORY_ATTRIBUTE ? 1 : 0;
  }
  if (longNames != 0) warn_image(run, "%u long-name slots: the list gives only the 8.3 names", longNames);
  if (deleted != 0) warn_image(run, "%u deleted entries: the list cannot give them", deleted);
  if (extraBytes != 0) {
    warn_image(run, "%u entries hold bytes 12 to 21 (creation times and the like): the list writes them as zero",
               extraBytes);
  }
  if (folderAttributes != 0) {
    warn_image(run, "%u folders have attributes besides D: the list makes folders with D alone", folderAttributes);
  }
}

void warn_about_chains(QuarryRun& run) {
  std::uint32_t fragmented = 0;
  std::string first;
  for (std::uint32_t i = 1; i < run.volume.chains.size(); ++i) {
    if (run.volume.chains[i].fragments > 1 && fragmented++ == 0) first = entry_path(run, i);
  }
  if (fragmented != 0) {
    warn_image(run, "%u entries (the first %s) are fragmented: diskmason writes each as one run", fragmented,
               first.c_str());
  }
  std::uint32_t data = free_clusters_with_data(run);
  if (data != 0) warn_image(run, "%u free clusters hold data: diskmason fills free clusters with E5h", data);
}

void warn_about_layout(QuarryRun& run) {
  const BootFields& b = run.volume.boot;
  if (run.volume.bootSectors != std::max<std::uint32_t>(1, b.reservedSectors)) {
    warn_image(run, "the boot sector gives %u reserved sectors, but the FAT starts after %u: the boot area is taken "
               "to end there", unsigned{b.reservedSectors}, run.volume.bootSectors);
  }
  std::uint64_t volumeBytes = std::uint64_t{b.totalSectors} * b.bytesPerSector;
  if (run.image.format == ImageFormat::Raw && run.bytes.size() > volumeBytes) {
    warn_image(run, "%llu bytes lie past the %u total sectors: a raw image the list rebuilds ends there",
               static_cast<unsigned long long>(run.bytes.size() - volumeBytes), unsigned{b.totalSectors});
  }
  if (b.sectorsPerTrack == 0) warn_image(run, "the boot sector gives 0 sectors per track");
}

}  // namespace

bool choose_header(const QuarryRun& run, ExtractPlan& plan, std::string& listText) {
  DiskParams base = header_of(run);
  bool padFirst = looks_padded(run, base);
  Rebuilt rebuilt{};
  std::string why;
  // Kept when nothing rebuilds the image: the first choice diskmason
  // accepts, else the first choice.
  bool kept = false, keptAccepted = false;
  DiskParams keptParams{};
  bool keptPad = false;
  for (std::uint8_t level : {std::uint8_t{30}, std::uint8_t{0}}) {
    if (level == 30 && base.sectorsPerTrack == 0) continue;
    for (bool pad : {padFirst, !padFirst}) {
      plan.params = base;
      plan.params.formatLevel = level;
      plan.pad = pad;
      std::string text = list_text(run, plan);
      bool accepted = rebuild_image(run, plan, text, rebuilt, &why);
      if (accepted && rebuilt.same) {
        listText = text;
        return true;
      }
      if (!kept || (accepted && !keptAccepted)) {
        kept = true;
        keptAccepted = accepted;
        keptParams = plan.params;
        keptPad = pad;
        listText = text;
      }
    }
  }
  plan.params = keptParams;
  plan.pad = keptPad;
  return false;
}

void warn_unsayable(QuarryRun& run, const ExtractPlan& plan) {
  const Unsayable& u = plan.unsayable;
  if (u.unspelled != 0) {
    warn_image(run, "%u names (the first %s) have no UTF-8 spelling that converts back to them: left out of the list",
               u.unspelled, u.firstUnspelled.c_str());
  }
  if (u.unordered != 0) {
    warn_image(run, "%u entries (the first %s) stand where no spelling of their names sorts them: diskmason orders "
               "a folder's system entries, files and folders each by name", u.unordered, u.firstUnordered.c_str());
  }
  if (u.emptyFolders != 0) {
    warn_image(run, "%u folders (the first %s) hold no file: the list makes folders only for files", u.emptyFolders,
               u.firstEmptyFolder.c_str());
  }
  if (u.folderDates != 0) {
    warn_image(run, "%u folders (the first %s) have a date no file under them has: the list dates a folder by "
               "its first file", u.folderDates, u.firstFolderDate.c_str());
  }
  if (u.tooDeep != 0) {
    warn_image(run, "%u files and folders (the first %s) lie too deep for a file list line of fewer than %u bytes: "
               "left out of the list", u.tooDeep, u.firstTooDeep.c_str(), LIST_LINE_LIMIT);
  }
  if (u.misplacedFolders != 0) {
    warn_image(run, "%u folders (the first %s) do not lie where diskmason places folders", u.misplacedFolders,
               u.firstMisplaced.c_str());
  }
  warn_about_slots(run);
  warn_about_chains(run);
  warn_about_layout(run);
}

void warn_difference(QuarryRun& run, const ExtractPlan& plan, const std::string& listText) {
  Rebuilt rebuilt{};
  std::string why;
  if (!rebuild_image(run, plan, listText, rebuilt, &why)) {
    warn_image(run, "diskmason refuses the file list (%s): the image cannot be rebuilt", why.c_str());
    return;
  }
  auto offset = static_cast<unsigned long long>(rebuilt.firstDifference);
  if (rebuilt.size > run.bytes.size()) {
    warn_image(run, "the file list rebuilds a larger image than this one (%llu bytes), the same up to offset %llu",
               static_cast<unsigned long long>(run.bytes.size()), offset);
    return;
  }
  warn_image(run, "the file list rebuilds an image of %llu bytes that differs from this one (%llu bytes) from offset %llu",
             static_cast<unsigned long long>(rebuilt.size), static_cast<unsigned long long>(run.bytes.size()), offset);
}
