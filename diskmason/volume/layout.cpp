#include "diskmason/volume/layout.h"

#include <algorithm>
#include <new>

bool layout_order(const EntryTree& tree, std::vector<std::uint32_t>& order) {
  try {
    order.clear();
    order.reserve(tree.entries.size());
    auto collect = [&](const Entry& folder) {
      order.insert(order.end(), folder.subfolders.begin(), folder.subfolders.end());
      order.insert(order.end(), folder.files.begin(), folder.files.end());
    };
    collect(tree.entries[0]);
    for (std::size_t i = 0; i < order.size(); ++i) {
      if (tree.entries[order[i]].folder) collect(tree.entries[order[i]]);
    }
    std::stable_sort(order.begin(), order.end(), [&tree](std::uint32_t a, std::uint32_t b) {
      return tree.entries[a].startCluster < tree.entries[b].startCluster;
    });
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}
