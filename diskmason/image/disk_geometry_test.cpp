#include "diskmason/image/disk_geometry.h"

#include <gtest/gtest.h>

namespace {

DiskParams params_of(std::uint16_t bytesPerSector, std::uint8_t sectorsPerCluster,
                     std::uint8_t fatCount, std::uint16_t sectorsPerFat,
                     std::uint16_t rootEntries) {
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

TEST(DiskGeometry, AreasFollowTheBootFileAndTheHeader) {
  struct Case {
    DiskParams params;
    std::uint32_t bootLength;
    std::uint32_t boot, root, rootSectors, data, clusterSize;
  } cases[] = {
      // Cluster 2 of the first lies at 162 + 11 * 1024 = 11426 in the image.
      {params_of(1024, 1, 2, 2, 192), 1024, 1, 5, 6, 11, 1024},
      {params_of(1024, 1, 2, 2, 192), 0, 1, 5, 6, 11, 1024},
      {params_of(1024, 1, 2, 2, 192), 1500, 2, 6, 6, 12, 1024},
      {params_of(512, 2, 2, 9, 224), 512, 1, 19, 14, 33, 1024},
      {params_of(512, 1, 1, 1, 17), 512, 1, 2, 2, 4, 512},
  };
  for (const Case& c : cases) {
    DiskGeometry g{};
    ASSERT_TRUE(plan_geometry(c.params, c.bootLength, g));
    EXPECT_EQ(g.bootSectors, c.boot);
    EXPECT_EQ(g.fatStart, c.boot);
    EXPECT_EQ(g.rootStart, c.root);
    EXPECT_EQ(g.rootSectors, c.rootSectors);
    EXPECT_EQ(g.dataStart, c.data);
    EXPECT_EQ(g.clusterSize, c.clusterSize);
  }
}

TEST(DiskGeometry, DataDecidesTheTracks) {
  DiskParams params = params_of(1024, 1, 2, 2, 192);
  DiskGeometry g{};
  ASSERT_TRUE(plan_geometry(params, 1024, g));
  // An empty disk: S = 2 * 2 + 6 + 2 + 1 = 13 sectors, two tracks of 8.
  measure_data(g, 2, 0);
  EXPECT_EQ(g.sectorsNeeded, 13u);
  EXPECT_EQ(g.tracksNeeded, 2u);
  EXPECT_EQ(g.trackCount, 2u);
  measure_data(g, 2, 40);
  EXPECT_EQ(g.trackCount, 40u);
  // Track counts never wrap around.
  EXPECT_EQ(ceil_div(0xFFFFFFFF, 8), 0x20000000u);
  EXPECT_EQ(ceil_div(0, 8), 0u);

  g.trackCount = 50;
  mark_present_tracks(params, g, false);
  EXPECT_EQ(params.trackPresent[49], 1);
  EXPECT_EQ(params.trackPresent[50], 0);
  EXPECT_EQ(params.allTracksPresent, 0);
  EXPECT_EQ(g.imageSectors, 0u);
  g.trackCount = 170;
  mark_present_tracks(params, g, true);
  EXPECT_EQ(params.trackPresent[159], 1);
  EXPECT_EQ(params.allTracksPresent, 1);
  EXPECT_EQ(g.imageSectors, 160u * 8);
}

TEST(DiskGeometry, UnusableSizesAreNamedAndPlanNothing) {
  struct Case {
    std::uint16_t bytesPerSector;
    std::uint8_t sectorsPerCluster;
    std::uint16_t sectorsPerTrack;
    SizeProblem problem;
  } cases[] = {
      {0, 0, 0, SizeProblem::NoSectorSize},
      {512, 0, 0, SizeProblem::NoClusterSize},
      {512, 1, 0, SizeProblem::NoTrackSize},
      {48, 1, 8, SizeProblem::SectorNotWholeEntries},
      {32, 1, 8, SizeProblem::None},
  };
  for (const Case& c : cases) {
    DiskParams params = params_of(c.bytesPerSector, c.sectorsPerCluster, 1, 1, 16);
    params.sectorsPerTrack = c.sectorsPerTrack;
    EXPECT_EQ(size_problem(params), c.problem) << c.bytesPerSector;
    DiskGeometry g{};
    g.clusterSize = 99;
    EXPECT_EQ(plan_geometry(params, 0, g), c.problem == SizeProblem::None);
    if (c.problem != SizeProblem::None) {
      EXPECT_EQ(g.clusterSize, 0u);
    }
  }
}

}  // namespace
