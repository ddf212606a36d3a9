#include "diskmason/container/dcp.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// 1024-byte sectors, 8 a track: two FATs of 2 sectors and 6 root sectors.
DiskParams floppy(std::uint8_t headerTracks, std::uint16_t totalSectors) {
  DiskParams p{};
  p.diskType = 0x30;
  p.headerTracks = headerTracks;
  p.bytesPerSector = 1024;
  p.sectorsPerCluster = 1;
  p.fatCount = 2;
  p.sectorsPerFat = 2;
  p.rootEntries = 192;
  p.totalSectors = totalSectors;
  p.sectorsPerTrack = 8;
  p.headCount = 2;
  return p;
}

TEST(DcpPlan, TracksCoverTheHeaderTheDataAndWithPadTheDisk) {
  struct Case {
    const char* what;
    std::uint8_t headerTracks;
    std::uint16_t totalSectors;
    std::uint32_t bootLength;
    std::uint32_t endCluster;
    bool pad;
    std::uint32_t sectorsNeeded, trackCount, presentTracks;
    std::uint64_t imageSectors;
  } cases[] = {
      // 2 * 2 FAT + 6 root + clusters 0 to N - 1 + 1 boot sector.
      {"empty disk", 0, 1232, 1024, 2, false, 13, 2, 2, 0},
      {"the boot file's length does not count", 0, 1232, 5000, 2, false, 13, 2, 2, 0},
      {"the header asks for more", 40, 1232, 1024, 2, false, 13, 40, 40, 0},
      {"the data asks for more", 2, 1232, 1024, 100, false, 111, 14, 14, 0},
      {"padded to the disk's sectors", 0, 1232, 1024, 2, true, 13, 154, 154, 1232},
      {"padded, the data asks for more", 0, 80, 1024, 100, true, 111, 14, 14, 112},
      {"padding stops at 160 tracks", 0, 2000, 1024, 2, true, 13, 160, 160, 1280},
      {"data past 160 tracks", 0, 1232, 1024, 1400, true, 1411, 177, 160, 1280},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DiskParams params = floppy(c.headerTracks, c.totalSectors);
    VolumeGeometry g{};
    ASSERT_TRUE(plan_geometry(params, c.bootLength, g));
    ContainerPlan plan = plan_container(ImageFormat::Dcp, params, g, c.endCluster, 0, c.pad);
    EXPECT_EQ(plan.sectorsNeeded, c.sectorsNeeded);
    EXPECT_EQ(plan.trackCount, c.trackCount);
    EXPECT_EQ(plan.presentTracks, c.presentTracks);
    EXPECT_EQ(plan.imageSectors, c.imageSectors);
    EXPECT_EQ(fits_tracks(plan), c.trackCount <= 160);

    std::uint8_t header[DCP_HEADER_SIZE];
    dcp_header(plan, params.diskType, header);
    EXPECT_EQ(header[0], 0x30);
    std::string flags(reinterpret_cast<const char*>(header) + 1, 160);
    EXPECT_EQ(flags, std::string(c.presentTracks, '\1') + std::string(160 - c.presentTracks, '\0'));
    EXPECT_EQ(header[161], c.presentTracks == 160 ? 1 : 0);
  }
}

}  // namespace
