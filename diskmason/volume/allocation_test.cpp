#include "diskmason/volume/allocation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diskmason/volume/volume_test_support.h"

namespace {

using volume_test::entry_at;
using volume_test::tree_of;

constexpr std::uint32_t CLUSTER = 512;
constexpr std::uint16_t FREE = START_NOT_FIXED;

// A file of the list (a path ending in "/" names a folder the files made)
// with its size, its fixed start and the start expected after placing.
struct Line {
  std::string path;
  std::uint32_t size;
  std::uint16_t fixed;
  std::uint32_t expected;
};

TEST(PlaceClusters, PlacesFoldersThenFilesLatestFirst) {
  struct Case {
    const char* what;
    std::vector<Line> lines;
    std::uint32_t end;
    std::uint32_t clusterSize = CLUSTER;
  } cases[] = {
      {"no files", {}, 2},
      {"A, B, C", {{"A", 1, FREE, 3}, {"B", CLUSTER, FREE, 2}, {"C", 0, FREE, 0}}, 4},  // an empty file takes none
      {"A, D/X, B", {{"A", 100, FREE, 4}, {"D/X", 100, FREE, 5}, {"B", 100, FREE, 3}, {"D/", 0, FREE, 2}}, 6},
      {"nested",
       {{"P/Q/F1", 1, FREE, 8},
        {"R/F2", 1, FREE, 6},
        {"P/S/F3", 1, FREE, 7},
        {"R/", 0, FREE, 2},
        {"P/", 0, FREE, 3},
        {"P/S/", 0, FREE, 4},
        {"P/Q/", 0, FREE, 5}},
       9},
      {"fixed run", {{"FIXED", 2 * CLUSTER, 2, 2}, {"BIG", 3 * CLUSTER, FREE, 4}}, 7},
      {"gap passed over", {{"FIX", 1, 3, 3}, {"ONE", 1, FREE, 6}, {"TWO", 2 * CLUSTER, FREE, 4}}, 7},
      {"fixed empty file, run beyond the end", {{"EMPTY", 0, 2, 2}, {"FAR", 1, 100, 100}, {"A", 1, FREE, 3}}, 4},
      {"fixed folder", {{"D/X", 1, FREE, 3}, {"A", 1, FREE, 2}, {"D/", 0, 10, 10}}, 4},
      {"two-cluster folder", {{"D/F", 1, FREE, 4}, {"D/", 0, FREE, 2}}, 5, 64},
      {"fixed run past cluster 4095, whose clusters beyond count as free",
       {{"EDGE", 3 * CLUSTER, 4095, 4095}, {"HUGE", 5000 * CLUSTER, FREE, 4096}},
       9096},
      {"clusters 2 to 4095 fixed", {{"FULL", 4094 * CLUSTER, 2, 2}, {"A", 1, FREE, 4096}}, 4097},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<volume_test::FileLine> files;
    for (const Line& line : c.lines) {
      if (line.path.back() != '/') files.push_back({line.path, line.size, line.fixed});
    }
    EntryTree tree = tree_of(files);
    for (const Line& line : c.lines) {
      if (line.path.back() == '/') {
        Entry& folder = tree.entries[entry_at(tree, line.path.substr(0, line.path.size() - 1))];
        folder.startCluster = line.fixed;
        folder.fixed = line.fixed != START_NOT_FIXED;
      }
    }
    EXPECT_EQ(place_clusters(tree, c.clusterSize), c.end);
    for (const Line& line : c.lines) {
      std::string path = line.path.back() == '/' ? line.path.substr(0, line.path.size() - 1) : line.path;
      EXPECT_EQ(tree.entries[entry_at(tree, path)].startCluster, line.expected) << line.path;
    }
  }
}

// An empty file the list does not fix takes no cluster; one it fixes takes one.
TEST(ClusterCount, WholeClustersAndAtLeastOne) {
  std::vector<volume_test::FileLine> files = {{"ONE/F", 1025}, {"ZERO", 0}, {"FIXED", 0, 5}};
  for (int i = 0; i < 14; ++i) files.push_back({"D/F" + std::to_string(i), 0});
  EntryTree tree = tree_of(files);
  struct Case {
    const char* path;
    std::uint32_t clusterSize;
    std::uint32_t clusters;
  } cases[] = {
      {"D", 512, 2},  // 14 entries, ".", ".." and the end marker: 544 bytes
      {"D", 1024, 1},     {"D", 544, 1},   {"ONE", 64, 2}, {"ONE/F", 512, 3},
      {"ONE/F", 1025, 1}, {"ZERO", 512, 0},    {"FIXED", 512, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cluster_count(tree, entry_at(tree, c.path), c.clusterSize), c.clusters)
        << c.path << " in " << c.clusterSize;
  }
}

}  // namespace
