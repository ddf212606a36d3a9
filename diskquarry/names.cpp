// Spelling every entry's name for the file list, folder by folder.
#include "diskmason/model/attributes.h"
#include "diskquarry/extract_plan.h"
#include "diskquarry/spelling.h"

namespace {

// The group a folder's entries are sorted in: system entries first, files
// before folders.
std::uint32_t group_of(const Entry& e) {
  return ((e.attributes & SYSTEM_ATTRIBUTE) != 0 ? 0 : 2) + (e.folder ? 1 : 0);
}

// Bytes a list field cannot carry, or that make no image path component.
bool writable(const std::string& utf8) {
  if (utf8.empty()) return false;
  for (char c : utf8) {
    if (c == '"' || c == '/' || c == '\0' || c == '\n' || c == '\r') return false;
  }
  return true;
}

void note_unspelled(ExtractPlan& plan, const QuarryRun& run, std::uint32_t entry) {
  if (plan.unsayable.unspelled++ == 0) plan.unsayable.firstUnspelled = entry_path(run, entry);
}

// Spells the children of one folder in disk order. A name that cannot sort
// where the disk has it is spelled as stored, and the rebuild will differ.
void spell_folder(QuarryRun& run, ExtractPlan& plan, std::uint32_t folder) {
  const EntryTree& tree = run.volume.tree;
  std::string previous[4];
  std::uint32_t lastGroup = 0;
  for (std::uint32_t child : tree.entries[folder].children) {
    const Entry& e = tree.entries[child];
    std::uint32_t group = group_of(e);
    std::string sjis;
    bool sorted = group >= lastGroup && spell_after(run.reverse, e.shortName, previous[group], sjis);
    if (!sorted) {
      spell_after(run.reverse, e.shortName, std::string(), sjis);
      if (plan.unsayable.unordered++ == 0) plan.unsayable.firstUnordered = entry_path(run, child);
    }
    lastGroup = group > lastGroup ? group : lastGroup;
    std::string utf8;
    if (!sjis_spelling_to_utf8(run.reverse, sjis, utf8) || !writable(utf8)) {
      note_unspelled(plan, run, child);
      continue;
    }
    previous[group] = sjis;
    plan.spelled[child] = utf8;
    plan.listed[child] = true;
  }
}

}  // namespace

void spell_names(QuarryRun& run, ExtractPlan& plan) {
  const EntryTree& tree = run.volume.tree;
  plan.spelled.assign(tree.entries.size(), std::string());
  plan.listed.assign(tree.entries.size(), false);
  plan.listed[0] = true;
  for (std::uint32_t i = 0; i < tree.entries.size(); ++i) {
    if (tree.entries[i].folder) spell_folder(run, plan, i);
  }
}
