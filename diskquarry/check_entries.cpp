// The directory entries of a volume read back: names, two entries of one
// name in a folder, the "." and ".." entries of every subfolder, volume
// labels, folder sizes, and folders that cycle or that the image does not
// hold.
#include <algorithm>
#include <cstring>

#include "diskmason/model/attributes.h"
#include "diskquarry/check.h"

namespace {

bool is_lead_byte(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool is_trail_byte(std::uint8_t b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

bool is_label(const Entry& e) { return !e.folder && (e.attributes & VOLUME_ATTRIBUTE) != 0; }

void scan_name_field(const std::uint8_t* name, std::uint32_t from, std::uint32_t to, NameFaults& f) {
  for (std::uint32_t i = from; i < to; ++i) {
    std::uint8_t b = name[i];
    if (i == 0 && b == DELETED_MARK_STANDIN) continue;
    if (is_lead_byte(b) && i + 1 < to && is_trail_byte(name[i + 1])) {
      ++i;
      continue;
    }
    if (b >= 0x80) continue;
    if (b < 0x20 || b == 0x7F || std::strchr("\"*./:<>?\\|", b) != nullptr) {
      if (f.forbidden < 0) f.forbidden = b;
    } else if (std::strchr("+,;=[]", b) != nullptr) {
      if (f.longNameOnly < 0) f.longNameOnly = b;
    } else if (b >= 'a' && b <= 'z') {
      f.lowerCase = true;
    }
  }
}

void check_name(const VolumeRead& v, std::uint32_t entry, const EntryNamer& namer, CheckSink& sink) {
  NameFaults f = short_name_faults(v.tree.entries[entry].shortName);
  if (f.forbidden >= 0) {
    put_entry_finding(
        sink, namer, entry, true,
        finding_text("the name holds the byte %02Xh, which no short name may hold", unsigned(f.forbidden)));
  }
  if (f.leadingSpace) put_entry_finding(sink, namer, entry, true, "the name starts with a space");
  if (f.longNameOnly >= 0) {
    put_entry_finding(sink, namer, entry, false,
                      finding_text("the name holds '%c', which only long names may hold", f.longNameOnly));
  }
  if (f.lowerCase) put_entry_finding(sink, namer, entry, false, "the name holds lower-case letters");
}

// Entries of one folder stored under the same name: the later ones in the
// folder's order are named.
void check_same_names(const VolumeRead& v, std::uint32_t folder, const EntryNamer& namer, CheckSink& sink) {
  const EntryTree& tree = v.tree;
  std::vector<std::uint32_t> named;
  for (std::uint32_t child : tree.entries[folder].children) {
    if (!is_label(tree.entries[child])) named.push_back(child);
  }
  std::sort(named.begin(), named.end(), [&tree](std::uint32_t a, std::uint32_t b) {
    int c = std::memcmp(tree.entries[a].shortName, tree.entries[b].shortName, SHORT_NAME_SIZE);
    return c != 0 ? c < 0 : a < b;
  });
  for (std::size_t i = 1; i < named.size(); ++i) {
    if (std::memcmp(tree.entries[named[i - 1]].shortName, tree.entries[named[i]].shortName, SHORT_NAME_SIZE) == 0) {
      put_entry_finding(sink, namer, named[i], true, "another entry of its folder has the same name");
    }
  }
}

std::uint32_t slot_cluster(const DirSlot& slot) { return load_field(slot.bytes, ENTRY_START_CLUSTER); }

// One slot of a folder at position `at`: "." first and ".." second in a
// subfolder, pointing at the folder and at its parent; neither elsewhere.
void check_dot_slot(const VolumeRead& v, const DirSlot& slot, std::uint32_t at, const EntryNamer& namer,
                    CheckSink& sink) {
  const EntryTree& tree = v.tree;
  std::uint32_t folder = slot.folder;
  const SlotKind wanted[] = {SlotKind::Dot, SlotKind::DotDot};
  const char* const names[] = {"'.'", "'..'"};
  if (folder == 0 || at >= 2) {
    if (slot.kind == SlotKind::Dot || slot.kind == SlotKind::DotDot) {
      put_entry_finding(sink, namer, folder, true,
                        finding_text("a %s entry in slot %u", names[slot.kind == SlotKind::DotDot ? 1 : 0], at + 1));
    }
    return;
  }
  if (slot.kind != wanted[at]) {
    put_entry_finding(sink, namer, folder, true,
                      finding_text("no %s entry in its %s slot", names[at], at == 0 ? "first" : "second"));
    return;
  }
  std::uint32_t parent = tree.entries[folder].parent;
  std::uint32_t target = at == 0       ? tree.entries[folder].startCluster
                         : parent == 0 ? 0
                                       : tree.entries[parent].startCluster;
  if (slot_cluster(slot) != target) {
    put_entry_finding(sink, namer, folder, true,
                      finding_text("its %s entry points to cluster %u, not %u", names[at], slot_cluster(slot), target));
  }
}

// A subfolder whose slots ended before its second: the dot entries it lacks.
void check_short_folder(const VolumeRead& v, std::uint32_t folder, std::uint32_t slots, const EntryNamer& namer,
                        CheckSink& sink) {
  if (folder == NO_ENTRY || folder == 0) return;
  for (std::uint32_t at = slots; at < 2; ++at) {
    check_dot_slot(v, DirSlot{folder, NO_ENTRY, SlotKind::EndMarker, {}}, at, namer, sink);
  }
}

// Every slot read, folder by folder: the dot entries and the labels.
void check_slots(const VolumeRead& v, const EntryNamer& namer, CheckSink& sink) {
  std::uint32_t folder = NO_ENTRY;
  std::uint32_t at = 0;
  std::uint32_t rootLabels = 0;
  for (const DirSlot& slot : v.slots) {
    if (slot.folder != folder) {
      check_short_folder(v, folder, at, namer, sink);
      folder = slot.folder;
      at = 0;
    }
    check_dot_slot(v, slot, at++, namer, sink);
    if (slot.entry == NO_ENTRY || !is_label(v.tree.entries[slot.entry])) continue;
    if (folder != 0) put_entry_finding(sink, namer, slot.entry, false, "a volume label in a subfolder");
    if (folder == 0 && rootLabels++ != 0) put_entry_finding(sink, namer, slot.entry, false, "a second volume label");
  }
  check_short_folder(v, folder, at, namer, sink);
}

bool is_above(const EntryTree& tree, std::uint32_t ancestor, std::uint32_t entry) {
  for (std::uint32_t e = tree.entries[entry].parent; e != NO_ENTRY; e = tree.entries[e].parent) {
    if (e == ancestor) return true;
  }
  return false;
}

void check_folder_problems(const VolumeRead& v, const EntryNamer& namer, CheckSink& sink) {
  for (const VolumeProblem& p : v.problems) {
    if (p.kind == ReadProblem::SectorMissing) {
      put_entry_finding(sink, namer, p.entry, true, "the image does not hold every sector of this folder");
    } else if (p.kind == ReadProblem::FolderLoop) {
      std::uint32_t owner = p.cluster < v.owner.size() ? v.owner[p.cluster] : NO_ENTRY;
      bool cycle = owner != NO_ENTRY && is_above(v.tree, owner, p.entry);
      put_entry_finding(sink, namer, p.entry, true,
                        cycle ? finding_text("its cluster %u is that of %s above it: the folders cycle", p.cluster,
                                             namer.name(namer.context, owner).c_str())
                              : finding_text("its cluster %u is read as another folder already", p.cluster));
    }
  }
}

}  // namespace

NameFaults short_name_faults(const std::uint8_t* shortName) {
  NameFaults f{-1, -1, shortName[0] == ' ', false};
  scan_name_field(shortName, 0, SHORT_BASE_SIZE, f);
  scan_name_field(shortName, SHORT_BASE_SIZE, SHORT_NAME_SIZE, f);
  return f;
}

void check_entries(const VolumeRead& v, const EntryNamer& namer, CheckSink& sink) {
  const EntryTree& tree = v.tree;
  for (std::uint32_t entry = 1; entry < tree.entries.size(); ++entry) {
    const Entry& e = tree.entries[entry];
    if (!is_label(e)) check_name(v, entry, namer, sink);
    if (e.folder && e.size != 0) {
      put_entry_finding(sink, namer, entry, false,
                        finding_text("a folder whose size field is %u, not 0", unsigned{e.size}));
    }
  }
  for (std::uint32_t entry = 0; entry < tree.entries.size(); ++entry) {
    if (tree.entries[entry].folder || entry == 0) check_same_names(v, entry, namer, sink);
  }
  check_slots(v, namer, sink);
  check_folder_problems(v, namer, sink);
}
