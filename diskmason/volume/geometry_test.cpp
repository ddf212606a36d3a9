#include "diskmason/volume/geometry.h"

#include <gtest/gtest.h>

namespace {

DiskParams params_of(std::uint16_t bytesPerSector, std::uint8_t sectorsPerCluster, std::uint8_t fatCount,
                     std::uint16_t sectorsPerFat, std::uint16_t rootEntries) {
  DiskParams p{};
  p.bytesPerSector = bytesPerSector;
  p.sectorsPerCluster = sectorsPerCluster;
  p.fatCount = fatCount;
  p.sectorsPerFat = sectorsPerFat;
  p.rootEntries = rootEntries;
  p.sectorsPerTrack = 8;
  p.headCount = 2;
  return p;
}

TEST(VolumeGeometry, AreasFollowTheBootFileAndTheHeader) {
  struct Case {
    DiskParams params;
    std::uint32_t bootLength;
    std::uint32_t boot, root, rootSectors, data, clusterSize;
  } cases[] = {
      {params_of(1024, 1, 2, 2, 192), 1024, 1, 5, 6, 11, 1024},
      {params_of(1024, 1, 2, 2, 192), 0, 1, 5, 6, 11, 1024},  // an empty boot file still takes a sector
      {params_of(1024, 1, 2, 2, 192), 1500, 2, 6, 6, 12, 1024},
      {params_of(512, 2, 2, 9, 224), 512, 1, 19, 14, 33, 1024},
      {params_of(512, 1, 1, 1, 17), 512, 1, 2, 2, 4, 512},
  };
  for (const Case& c : cases) {
    VolumeGeometry g{};
    ASSERT_TRUE(plan_geometry(c.params, c.bootLength, g));
    EXPECT_EQ(g.bootSectors, c.boot);
    EXPECT_EQ(g.fatStart, c.boot);
    EXPECT_EQ(g.rootStart, c.root);
    EXPECT_EQ(g.rootSectors, c.rootSectors);
    EXPECT_EQ(g.dataStart, c.data);
    EXPECT_EQ(g.clusterSize, c.clusterSize);
    EXPECT_EQ(cluster_sector(g, 3), c.data + c.params.sectorsPerCluster);
  }
}

}  // namespace
