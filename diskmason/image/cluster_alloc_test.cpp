#include "diskmason/image/cluster_alloc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "textconv/heap.h"

namespace {

constexpr std::uint32_t CLUSTER = 512;

// A tree whose records are filled the way the driver fills them: files from
// their line, directories when they are created, the root at cluster 0.
struct Layout : ::testing::Test {
  IndexPool pool{};
  DirNode root{};
  std::vector<FileInfo> infos = std::vector<FileInfo>(256);
  // Guard bytes behind the map show any write past its end.
  std::vector<std::uint8_t> map = std::vector<std::uint8_t>(CLUSTER_MAP_SIZE + 64, 0);

  void SetUp() override {
    ASSERT_TRUE(init(pool, 128));
    ASSERT_TRUE(init_directory(&root, 8, 64, pool));
    infos[0] = FileInfo{0x10, 0, 0, 0, 0};
  }
  void TearDown() override {
    heap_fail_at(0);
    remove_node(&root, pool);
    heap_free(pool.links);
    for (std::uint32_t i = CLUSTER_MAP_SIZE; i < map.size(); ++i) ASSERT_EQ(map[i], 0) << i;
  }

  static bool on_dir(void* context, std::uint32_t index) {
    static_cast<Layout*>(context)->infos[index >> 1] = FileInfo{0x10, 0, START_NOT_FIXED, 0, 0};
    return true;
  }
  FileInfo& add(const std::string& path, std::uint32_t size, std::uint16_t start = START_NOT_FIXED) {
    FileNode* node = add_path(&root, path.c_str(), pool, on_dir, this);
    EXPECT_NE(node, nullptr) << path;
    infos[node->index >> 1] = FileInfo{0x20, 0, start, size, 0};
    return infos[node->index >> 1];
  }
  FileInfo& dir(const std::string& path) { return infos[find_path(&root, path.c_str())->index >> 1]; }
  // The three passes as the driver runs them; returns N.
  std::uint32_t place() {
    mark_fixed_clusters(&root, CLUSTER, map.data(), infos.data());
    std::uint32_t c = allocate_clusters(&root, 2, CLUSTER, map.data(), DIRECTORY_PASS, infos.data());
    return allocate_clusters(&root, c, CLUSTER, map.data(), FILE_PASS, infos.data());
  }
};

TEST_F(Layout, EmptyTreePlacesNothing) {
  EXPECT_EQ(place(), 2u);
  EXPECT_EQ(infos[0].startCluster, 0u);
}

TEST_F(Layout, LaterFilesComeFirst) {
  FileInfo& a = add("A", 1);
  FileInfo& b = add("B", CLUSTER);
  FileInfo& c = add("C", 0);  // an empty file takes one cluster too
  EXPECT_EQ(place(), 5u);
  EXPECT_EQ(c.startCluster, 2u);
  EXPECT_EQ(b.startCluster, 3u);
  EXPECT_EQ(a.startCluster, 4u);
  // Files are not flagged; directories are.
  EXPECT_EQ(map[2], 0);
}

TEST_F(Layout, DirectoriesBeforeFiles) {
  FileInfo& a = add("A", 100);
  FileInfo& x = add("D/X", 100);
  FileInfo& b = add("B", 100);
  EXPECT_EQ(place(), 6u);
  EXPECT_EQ(dir("D").startCluster, 2u);
  EXPECT_EQ(map[2], 1);
  EXPECT_EQ(b.startCluster, 3u);
  EXPECT_EQ(a.startCluster, 4u);
  EXPECT_EQ(x.startCluster, 5u);
}

TEST_F(Layout, NestedDirectoriesInDescendingIndexOrder) {
  add("P/Q/F1", 1);
  add("R/F2", 1);
  add("P/S/F3", 1);
  place();
  // Directory pass: R (index 4), P (1) with S (6) before Q (2).
  EXPECT_EQ(dir("R").startCluster, 2u);
  EXPECT_EQ(dir("P").startCluster, 3u);
  EXPECT_EQ(dir("P/S").startCluster, 4u);
  EXPECT_EQ(dir("P/Q").startCluster, 5u);
  EXPECT_EQ(infos[find_path(&root, "R/F2")->index >> 1].startCluster, 6u);
  EXPECT_EQ(infos[find_path(&root, "P/S/F3")->index >> 1].startCluster, 7u);
  EXPECT_EQ(infos[find_path(&root, "P/Q/F1")->index >> 1].startCluster, 8u);
}

TEST_F(Layout, SearchStepsOverFixedRuns) {
  FileInfo& fixed = add("FIXED", 2 * CLUSTER, 2);
  FileInfo& big = add("BIG", 3 * CLUSTER);
  EXPECT_EQ(place(), 7u);
  EXPECT_EQ(map[2], 1);
  EXPECT_EQ(map[3], 1);
  EXPECT_EQ(fixed.startCluster, 2u);
  EXPECT_EQ(big.startCluster, 4u);
}

TEST_F(Layout, GapsPassedOverStayFree) {
  add("FIX", 1, 3);
  FileInfo& one = add("ONE", 1);
  FileInfo& two = add("TWO", 2 * CLUSTER);  // placed first
  EXPECT_EQ(place(), 7u);
  EXPECT_EQ(two.startCluster, 4u);
  EXPECT_EQ(one.startCluster, 6u);
  EXPECT_EQ(map[2], 0);
}

TEST_F(Layout, FixedRunsMarkAtLeastOneClusterAndDoNotRaiseN) {
  add("EMPTY", 0, 2);
  add("FAR", 1, 100);
  FileInfo& a = add("A", 1);
  EXPECT_EQ(place(), 4u);
  EXPECT_EQ(map[2], 1);
  EXPECT_EQ(map[100], 1);
  EXPECT_EQ(a.startCluster, 3u);
}

TEST_F(Layout, FixedDirectoryKeepsItsStart) {
  FileInfo& x = add("D/X", 1);
  FileInfo& a = add("A", 1);
  dir("D").startCluster = 10;
  EXPECT_EQ(place(), 4u);
  EXPECT_EQ(dir("D").startCluster, 10u);
  EXPECT_EQ(map[10], 1);
  EXPECT_EQ(a.startCluster, 2u);
  EXPECT_EQ(x.startCluster, 3u);
}

TEST_F(Layout, DirectorySizeCountsDotsAndEndMarker) {
  for (int i = 0; i < 14; ++i) add("D/F" + std::to_string(i), 1);
  const FileNode* d = find_path(&root, "D");
  EXPECT_EQ(node_cluster_count(d, infos.data(), 512), 2u);  // 17 slots
  EXPECT_EQ(node_cluster_count(d, infos.data(), 1024), 1u);
  place();
  EXPECT_EQ(dir("D").startCluster, 2u);
  EXPECT_EQ(map[3], 1);
  EXPECT_EQ(map[4], 0);
}

TEST_F(Layout, NothingOutsideTheMap) {
  add("EDGE", 3 * CLUSTER, 4095);  // only cluster 4095 lies in the map
  FileInfo& huge = add("HUGE", 5000 * CLUSTER);
  EXPECT_EQ(place(), 4096u + 5000u);
  EXPECT_EQ(map[4095], 1);
  EXPECT_EQ(huge.startCluster, 4096u);
}

TEST_F(Layout, ClustersFromTheMapEndOnCountAsFree) {
  FileInfo& a = add("A", 1);
  for (std::uint32_t c = 2; c < CLUSTER_MAP_SIZE; ++c) map[c] = 1;
  EXPECT_EQ(place(), 4097u);
  EXPECT_EQ(a.startCluster, 4096u);
}

TEST_F(Layout, FailedChildListReportsFailure) {
  add("D/X", 1);
  heap_fail_at(1);
  EXPECT_EQ(allocate_clusters(&root, 2, CLUSTER, map.data(), DIRECTORY_PASS, infos.data()),
            0xFFFFFFFFu);
  heap_fail_at(2);  // the root's file list
  EXPECT_EQ(allocate_clusters(&root, 2, CLUSTER, map.data(), FILE_PASS, infos.data()),
            0xFFFFFFFFu);
}

}  // namespace
