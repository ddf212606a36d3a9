#include "diskmason/container/container.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "diskmason/container/dcp.h"
#include "diskmason/volume/volume_test_support.h"

namespace {

std::string contents(std::FILE* stream) {
  std::fflush(stream);
  std::string bytes(static_cast<std::size_t>(std::ftell(stream)), '\0');
  std::rewind(stream);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), stream));
  return bytes;
}

TEST(WriteContainer, HeaderThenTheVolumeThenFillToTheImageSectors) {
  // 64-byte sectors: boot, FAT and root one sector each, file F at cluster 2 (sector 3).
  DiskParams params = volume_test::small_disk(1, 2, 24);
  params.diskType = 0x20;
  VolumeGeometry g{};
  ASSERT_TRUE(plan_geometry(params, 0, g));
  EntryTree tree = volume_test::tree_of({{"F", 10, 2}});
  std::vector<std::uint32_t> order{1};
  Volume volume{params, g, tree, order, nullptr, 0};
  for (bool pad : {false, true}) {
    SCOPED_TRACE(pad);
    ContainerPlan plan = plan_container(ImageFormat::Dcp, params, g, 3, 0, pad);
    volume_test::MemoryFiles files;
    files.contents = {{1, "0123456789"}};
    FileSource source = files.source();
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(write_container(out, plan, params, volume, source), 0u);
    std::string image = contents(out);
    std::fclose(out);

    std::size_t sectors = pad ? 24 : 4;  // three tracks of eight, or up to the end of F
    ASSERT_EQ(image.size(), DCP_HEADER_SIZE + sectors * 64);
    EXPECT_EQ(image.substr(0, 5), std::string(pad ? "\x20\1\1\1\0" : "\x20\1\0\0\0", 5));
    EXPECT_EQ(image_offset(plan, g, 3), DCP_HEADER_SIZE + 3u * 64);
    EXPECT_EQ(image.substr(image_offset(plan, g, 2), 11), "F          ");  // the root's entry
    EXPECT_EQ(image.substr(image_offset(plan, g, 3), 64), "0123456789" + std::string(54, '\0'));
    EXPECT_EQ(image.substr(image_offset(plan, g, 4)), std::string((sectors - 4) * 64, '\xE5'));
  }
}

}  // namespace
