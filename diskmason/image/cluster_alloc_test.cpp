#include "diskmason/image/cluster_alloc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "textconv/heap.h"

namespace {

constexpr std::uint32_t CLUSTER = 512;
constexpr std::uint16_t FREE = START_NOT_FIXED;

// One file line (a path ending in "/" names a directory made by the lines
// before it) with its size, its fixed start and the start expected after.
struct Line {
  std::string path;
  std::uint32_t size;
  std::uint16_t fixed;
  std::uint32_t expected;
};

struct Case {
  const char* what;
  std::vector<Line> lines;
  std::uint32_t n;
  std::uint32_t firstUsed = CLUSTER_MAP_SIZE;  // flags set beforehand from here on
  std::uint32_t clusterSize = CLUSTER;
};

bool fill_directory(void* context, std::uint32_t index) {
  (*static_cast<std::vector<FileInfo>*>(context))[record_of(index)] = FileInfo{0x10, 0, FREE, 0, 0};
  return true;
}

TEST(ClusterAllocation, PlacesDirectoriesThenFilesLatestFirst) {
  const Case cases[] = {
      {"no files", {}, 2},
      {"A, B, C", {{"A", 1, FREE, 4}, {"B", CLUSTER, FREE, 3}, {"C", 0, FREE, 2}}, 5},
      {"A, D/X, B",
       {{"A", 100, FREE, 4}, {"D/X", 100, FREE, 5}, {"B", 100, FREE, 3}, {"D/", 0, FREE, 2}},
       6},
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
      {"gap passed over",
       {{"FIX", 1, 3, 3}, {"ONE", 1, FREE, 6}, {"TWO", 2 * CLUSTER, FREE, 4}},
       7},
      {"fixed empty file, run beyond N",
       {{"EMPTY", 0, 2, 2}, {"FAR", 1, 100, 100}, {"A", 1, FREE, 3}},
       4},
      {"fixed directory", {{"D/X", 1, FREE, 3}, {"A", 1, FREE, 2}, {"D/", 0, 10, 10}}, 4},
      {"two-cluster directory", {{"D/F", 1, FREE, 4}, {"D/", 0, FREE, 2}}, 5, CLUSTER_MAP_SIZE, 64},
      {"run over the map end",
       {{"EDGE", 3 * CLUSTER, 4095, 4095}, {"HUGE", 5000 * CLUSTER, FREE, 4096}},
       9096},
      {"map full", {{"A", 1, FREE, 4096}}, 4097, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    IndexPool pool{};
    DirNode root{};
    std::vector<FileInfo> infos(256);
    // Guard bytes behind the map show any write past its end.
    std::vector<std::uint8_t> map(CLUSTER_MAP_SIZE + 64, 0);
    ASSERT_TRUE(init(pool, 128));
    ASSERT_TRUE(init_directory(&root, 8, 64, pool));
    infos[0] = FileInfo{0x10, 0, 0, 0, 0};
    for (const Line& line : c.lines) {
      if (line.path.back() == '/') continue;
      FileNode* node = add_path(&root, line.path.c_str(), pool, fill_directory, &infos);
      ASSERT_NE(node, nullptr);
      infos[record_of(node)] = FileInfo{0x20, 0, line.fixed, line.size, 0};
    }
    for (const Line& line : c.lines) {
      if (line.path.back() == '/')
        infos[record_of(find_path(&root, line.path.c_str()))].startCluster = line.fixed;
    }
    for (std::uint32_t i = c.firstUsed; i < CLUSTER_MAP_SIZE; ++i) map[i] = 1;

    std::uint32_t size = c.clusterSize;
    mark_fixed_clusters(&root, size, map.data(), infos.data());
    std::uint32_t cursor =
        allocate_clusters(&root, 2, size, map.data(), DIRECTORY_PASS, infos.data());
    EXPECT_EQ(allocate_clusters(&root, cursor, size, map.data(), FILE_PASS, infos.data()), c.n);
    for (const Line& line : c.lines) {
      const FileNode* node = find_path(&root, line.path.c_str());
      EXPECT_EQ(infos[record_of(node)].startCluster, line.expected) << line.path;
      // Fixed runs and directories are flagged, placed files are not.
      bool flagged = line.fixed != FREE || !is_file(node);
      if (line.expected < CLUSTER_MAP_SIZE && c.firstUsed == CLUSTER_MAP_SIZE) {
        EXPECT_EQ(map[line.expected], flagged ? 1 : 0) << line.path;
      }
    }
    for (std::uint32_t i = CLUSTER_MAP_SIZE; i < map.size(); ++i) ASSERT_EQ(map[i], 0) << i;
    remove_node(&root, pool);
    heap_free(pool.links);
  }
}

TEST(ClusterAllocation, CountsClustersOfFilesAndDirectories) {
  IndexPool pool{};
  DirNode root{};
  std::vector<FileInfo> infos(64);
  ASSERT_TRUE(init(pool, 128));
  ASSERT_TRUE(init_directory(&root, 8, 64, pool));
  for (int i = 0; i < 14; ++i) add_path(&root, ("D/F" + std::to_string(i)).c_str(), pool);
  FileNode* file = find_path(&root, "D/F0");
  const FileNode* dir = file->parent;
  EXPECT_EQ(node_cluster_count(dir, infos.data(), 512), 2u);  // 17 slots, 544 bytes
  EXPECT_EQ(node_cluster_count(dir, infos.data(), 1024), 1u);
  infos[record_of(file)].size = 1025;
  EXPECT_EQ(node_cluster_count(file, infos.data(), 512), 3u);
  infos[record_of(file)].size = 0;
  EXPECT_EQ(node_cluster_count(file, infos.data(), 512), 1u);

  // A child list that cannot be had fails the pass.
  std::vector<std::uint8_t> map(CLUSTER_MAP_SIZE, 0);
  heap_fail_at(2);  // the root's file list
  EXPECT_EQ(allocate_clusters(&root, 2, 512, map.data(), FILE_PASS, infos.data()), 0xFFFFFFFFu);
  heap_fail_at(0);
  remove_node(&root, pool);
  heap_free(pool.links);
}

}  // namespace
