#include "diskmason/volume/volume_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "diskmason/volume/layout.h"
#include "diskmason/volume/volume_test_support.h"

namespace {

std::string zeros(std::size_t n) { return std::string(n, '\0'); }
std::string fill(std::size_t n) { return std::string(n, '\xE5'); }
std::string numbered(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 31 + 7);
  return s;
}

struct Written {
  VolumeWritten result;
  volume_test::MemorySink sink;
  std::vector<std::string> missed;
};

Written write(const DiskParams& params, const EntryTree& tree, const std::string& boot,
              const std::map<std::uint32_t, std::string>& contents, std::uint32_t refuseFrom = 0) {
  VolumeGeometry geometry{};
  EXPECT_TRUE(plan_geometry(params, static_cast<std::uint32_t>(boot.size()), geometry));
  std::vector<std::uint32_t> order;
  EXPECT_TRUE(layout_order(tree, order));
  Volume volume{params, geometry, tree, order, reinterpret_cast<const std::uint8_t*>(boot.data()),
                static_cast<std::uint32_t>(boot.size())};
  Written w{};
  w.sink.refuseFrom = refuseFrom;
  volume_test::MemoryFiles files;
  files.contents = contents;
  ByteSink sink = w.sink.sink();
  FileSource source = files.source();
  w.result = write_volume(volume, sink, source);
  w.missed = files.missed;
  return w;
}

TEST(VolumeWriter, WritesEveryAreaAndFillsWhatAFileDidNotGive) {
  // Boot, FAT, two root sectors, then clusters from sector 4: D (2) at 2 and 3, A (1) at 4, B (4) at 5, X (3) at 6.
  DiskParams params = volume_test::small_disk(1, 4, 24);
  params.reservedSectors = 1;
  params.mediaByte = 0xF0;
  EntryTree tree = volume_test::tree_of({{"A", 64, 4}, {"D/X", 10, 6}, {"B", 64, 5}});
  tree.entries[2].startCluster = 2;
  // A gives less than its size, B cannot be opened, X gives more.
  Written w = write(params, tree, "\xEB\x3C\x90", {{1, "short"}, {3, numbered(100)}});
  EXPECT_EQ(w.result.outcome, VOLUME_FILE_FAILED);
  EXPECT_EQ(w.result.sectors, 9u);
  EXPECT_EQ(w.missed, (std::vector<std::string>{"short 1", "open 4"}));
  const std::string& img = w.sink.bytes;
  ASSERT_EQ(img.size(), 9u * 64);
  // The boot file with the parameters over it; the track fields wait for format level 30.
  EXPECT_EQ(img.substr(0, 64), "\xEB\x3C\x90" + zeros(8) +
                                   std::string("\x40\x00\x01\x01\x00\x01\x04\x00\x18\x00\xF0\x01\x00", 13) + zeros(40));
  // Media FF0, FFF; D 2 -> 3; A, B and X one cluster each.
  EXPECT_EQ(img.substr(64, 64), std::string("\xF0\xFF\xFF\x03\xF0\xFF\xFF\xFF\xFF\xFF\x0F\x00", 12) + zeros(52));
  EXPECT_EQ(img.substr(128, 11) + img.substr(128 + 64, 11), "A          D          ");
  EXPECT_EQ(img.substr(128 + 96, 32), zeros(1) + fill(31));
  EXPECT_EQ(img.substr(256, 11) + img.substr(256 + 64, 11), ".          X          ");
  EXPECT_EQ(img.substr(384, 64), "short" + zeros(59));
  EXPECT_EQ(img.substr(448, 64), fill(64));
  EXPECT_EQ(img.substr(512, 64), numbered(10) + zeros(54));
}

// One 10-byte file in clusters of two sectors; the writes: boot, FAT, root,
// the file's sector, its fill sector.
TEST(VolumeWriter, ARefusingSinkFailsTheWrite) {
  EntryTree tree = volume_test::tree_of({{"F", 10, 2}});
  for (std::uint32_t refuseFrom = 1; refuseFrom <= 6; ++refuseFrom) {
    Written w = write(volume_test::small_disk(2, 2, 0), tree, "", {{1, "0123456789"}}, refuseFrom);
    EXPECT_EQ(w.result.outcome, refuseFrom <= 5 ? VOLUME_WRITE_FAILED : 0u) << refuseFrom;
    EXPECT_EQ(w.sink.bytes.size(), std::size_t{std::min(refuseFrom - 1, 5u)} * 64) << refuseFrom;
  }
}

TEST(VolumeWriter, StopsAtTheFirstRefusal) {
  EntryTree tree = volume_test::tree_of({{"F", 10, 2}});
  for (std::uint32_t refuseFrom = 1; refuseFrom <= 5; ++refuseFrom) {
    Written w = write(volume_test::small_disk(2, 2, 0), tree, "", {{1, "0123456789"}}, refuseFrom);
    EXPECT_EQ(w.sink.calls, refuseFrom) << "writes after the refusal: " << w.sink.calls - refuseFrom;
  }
}

}  // namespace
