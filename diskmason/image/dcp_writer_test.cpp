#include "diskmason/image/dcp_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "diskmason/tree/dir_tree.h"
#include "diskmason/tree/index_pool.h"
#include "tests/test_support.h"
#include "textconv/heap.h"

namespace {

// Everything written to a stream so far.
std::string contents(std::FILE* stream) {
  std::fflush(stream);
  long end = std::ftell(stream);
  std::string bytes(static_cast<std::size_t>(end), '\0');
  std::rewind(stream);
  std::size_t got = std::fread(bytes.data(), 1, bytes.size(), stream);
  bytes.resize(got);
  return bytes;
}

std::string zeros(std::size_t n) { return std::string(n, '\0'); }
std::string fill(std::size_t n) { return std::string(n, '\xE5'); }

std::string numbered(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 31 + 7);
  return s;
}

TEST(WritePaddedSectors, WholePiecesStraightThenAPaddedRest) {
  struct Case {
    std::uint32_t length, piece, sector, sectors;
  } cases[] = {
      {0, 1024, 512, 0},     {1, 1024, 512, 1},    {512, 1024, 512, 1},
      {1024, 1024, 512, 2},  {2500, 1024, 512, 5}, {3000, 2048, 1024, 3},
  };
  for (const Case& c : cases) {
    std::string source = numbered(c.length);
    std::vector<std::uint8_t> scratch(c.piece, 0xAA);
    std::FILE* out = std::tmpfile();
    std::uint32_t sectors = write_padded_sectors(out, reinterpret_cast<const std::uint8_t*>(source.data()),
                                                 c.length, scratch.data(), c.piece, c.sector);
    EXPECT_EQ(sectors, c.sectors) << c.length;
    EXPECT_EQ(contents(out), source + zeros(c.sectors * c.sector - c.length)) << c.length;
    std::fclose(out);
  }
}

TEST(CopyFileSectors, ShortPieceEndsTheCopyPaddedToSectors) {
  struct Case {
    std::uint32_t length, piece, sector, limit, sectors, copied;
  } cases[] = {
      {0, 2048, 1024, 0xFFFFFFFF, 0, 0},
      {1, 2048, 1024, 0xFFFFFFFF, 1, 1},
      {2048, 2048, 1024, 0xFFFFFFFF, 2, 2048},
      {2500, 1024, 512, 0xFFFFFFFF, 5, 2500},
      // A file that grew: only the measured bytes are copied.
      {3000, 1024, 512, 1100, 3, 1100},
      {3000, 1024, 512, 2048, 4, 2048},
      {3000, 1024, 512, 0, 0, 0},
  };
  ScratchDir scratch;
  ASSERT_TRUE(scratch.ok());
  for (const Case& c : cases) {
    std::string source = numbered(c.length);
    write_file(scratch.file("in"), source);
    HostFile in;
    ASSERT_TRUE(open_host_file(scratch.file("in").c_str(), in));
    std::FILE* out = std::tmpfile();
    std::vector<std::uint8_t> buffer(c.piece);
    std::uint32_t copied = 12345;
    std::uint32_t sectors = copy_file_sectors(out, in, buffer.data(), c.piece, c.sector, c.limit, &copied);
    EXPECT_EQ(sectors, c.sectors) << c.length << "/" << c.limit;
    EXPECT_EQ(copied, c.copied);
    EXPECT_EQ(contents(out), source.substr(0, c.copied) + zeros(c.sectors * c.sector - c.copied));
    close_host_file(in);
    std::fclose(out);
  }
}

TEST(PackFat, TwoEntriesInThreeBytes) {
  std::uint16_t entries[FAT_ENTRY_COUNT] = {};
  entries[0] = 0xFFE;
  entries[1] = 0xFFF;
  entries[2] = 0x003;
  entries[3] = 0xFFF;
  entries[4094] = 0xABC;
  entries[4095] = 0x123;
  std::uint8_t packed[PACKED_FAT_SIZE];
  pack_fat(entries, packed);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(packed), 6), "\xFE\xFF\xFF\x03\xF0\xFF");
  EXPECT_EQ(packed[6141], 0xBC);
  EXPECT_EQ(packed[6142], 0x3A);
  EXPECT_EQ(packed[6143], 0x12);
}

// A small tree: the root holds directory D (with X) and files A and B.
class Layout : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(init(pool_, 16));
    ASSERT_TRUE(init_directory(&root_, 8, 64, pool_));
    a_ = add_path(&root_, "A", pool_);
    x_ = add_path(&root_, "D/X", pool_);
    b_ = add_path(&root_, "B", pool_);
    ASSERT_TRUE(a_ && x_ && b_);
    d_ = x_->parent;
    infos_.assign(8, FileInfo{0x20, 0, START_NOT_FIXED, 100, 0});
    infos_[0] = FileInfo{0x10, 0, 0, 0, 0};
    info(d_).attributes = 0x10;
    info(d_).size = 0;
  }
  void TearDown() override {
    remove_node(&root_, pool_);
    heap_free(pool_.links);
  }

  FileInfo& info(const FileNode* node) { return infos_[record_of(node)]; }

  std::vector<const FileNode*> collect() {
    LayoutList list{nullptr, 0, 0};
    EXPECT_TRUE(collect_layout_nodes(&root_, list));
    for (std::uint32_t i = 0; i < list.count; ++i) {
      if (!is_file(list.nodes[i])) {
        EXPECT_TRUE(collect_layout_nodes(static_cast<const DirNode*>(list.nodes[i]), list));
      }
    }
    std::vector<const FileNode*> nodes(list.nodes, list.nodes + list.count);
    heap_free(list.nodes);
    return nodes;
  }

  std::vector<const FileNode*> sorted(const std::vector<const FileNode*>& nodes) {
    std::vector<std::uint32_t> order(nodes.size()), scratch(nodes.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    sort_layout_order(nodes.data(), order.data(), scratch.data(),
                      static_cast<std::uint32_t>(nodes.size()), infos_.data());
    std::vector<const FileNode*> result;
    for (std::uint32_t i : order) result.push_back(nodes[i]);
    return result;
  }

  IndexPool pool_{};
  DirNode root_{};
  FileNode* a_ = nullptr;
  FileNode* x_ = nullptr;
  FileNode* b_ = nullptr;
  const DirNode* d_ = nullptr;
  std::vector<FileInfo> infos_;
};

TEST_F(Layout, CollectsSubdirectoriesThenFilesLevelByLevel) {
  std::vector<const FileNode*> expected = {d_, a_, b_, x_};
  EXPECT_EQ(collect(), expected);
}

TEST_F(Layout, CollectionGrowsTheListByDoubling) {
  LayoutList list{nullptr, 0, 1};
  list.nodes = static_cast<const FileNode**>(heap_alloc(sizeof(FileNode*)));
  ASSERT_TRUE(collect_layout_nodes(&root_, list));
  EXPECT_EQ(list.count, 3u);
  EXPECT_EQ(list.capacity, 4u);
  heap_fail_at(1);
  EXPECT_FALSE(collect_layout_nodes(&root_, list));
  heap_fail_at(0);
  EXPECT_EQ(list.count, 3u);
  heap_free(list.nodes);
}

TEST_F(Layout, SortByStartClusterKeepsCollectionOrderOnTies) {
  info(d_).startCluster = 7;
  info(a_).startCluster = 5;
  info(b_).startCluster = 7;
  info(x_).startCluster = 5;
  std::vector<const FileNode*> expected = {a_, x_, d_, b_};
  EXPECT_EQ(sorted(collect()), expected);
}

TEST_F(Layout, FatChainsSkipLowStartsAndRunsPastTheLimit) {
  info(d_).startCluster = 0;           // no chain
  info(a_).startCluster = 0xFEE;       // 2 clusters of 64 bytes: ends at 0xFEF, chained
  info(a_).size = 128;
  info(b_).startCluster = 0xFEF;       // 2 clusters would pass 0xFEF: no chain
  info(b_).size = 65;
  info(x_).startCluster = 1;
  std::vector<const FileNode*> nodes = collect();
  std::vector<std::uint32_t> order = {0, 1, 2, 3};
  std::uint16_t entries[FAT_ENTRY_COUNT];
  build_fat(entries, 0xF0, nodes.data(), order.data(), 4, infos_.data(), 64);
  EXPECT_EQ(entries[0], 0xFF0);
  EXPECT_EQ(entries[1], 0xFFF);
  EXPECT_EQ(entries[0xFEE], 0xFEF);
  EXPECT_EQ(entries[0xFEF], 0xFFF);
  EXPECT_EQ(entries[0xFF0], 0);
  EXPECT_EQ(entries[2], 0);
}

// The writer on the small tree, with host files that misbehave.
class Image : public Layout {
 protected:
  void SetUp() override {
    Layout::SetUp();
    params_ = DiskParams{};
    params_.bytesPerSector = 64;
    params_.sectorsPerCluster = 1;
    params_.fatCount = 1;
    params_.sectorsPerFat = 1;
    params_.rootEntries = 4;
    params_.mediaByte = 0xF0;
    params_.sectorsPerTrack = 8;
    ASSERT_TRUE(plan_geometry(params_, 0, geometry_));
    ASSERT_TRUE(string_pool_init(paths_, 256, 4));
    ASSERT_TRUE(scratch_.ok());
    // D takes clusters 2 and 3, A 4, B 5, X 6.
    info(d_).startCluster = 2;
    info(a_).startCluster = 4;
    info(b_).startCluster = 5;
    info(x_).startCluster = 6;
    host(a_, "a", "short");        // measured 64, holds 5: shrunk
    host(b_, "missing", "");       // never written: cannot open
    host(x_, "x", numbered(100));  // measured 10, holds 100: grown
    info(a_).size = 64;
    info(b_).size = 64;
    info(x_).size = 10;
  }
  void TearDown() override {
    string_pool_release(paths_);
    Layout::TearDown();
  }

  void host(const FileNode* node, const std::string& name, const std::string& bytes) {
    std::string path = scratch_.file(name);
    if (!bytes.empty()) write_file(path, bytes);
    info(node).hostPathIndex = paths_.count;
    string_pool_append(paths_, reinterpret_cast<const std::uint8_t*>(path.c_str()),
                       static_cast<std::uint32_t>(path.size() + 1));
  }

  std::uint32_t write(std::FILE* out, HostFileHandler handler = nullptr, void* context = nullptr) {
    return write_dcp_image(out, params_, geometry_, &root_, paths_, nullptr, 0, infos_.data(),
                           handler, context);
  }

  static void record(void* context, const char* path, HostFileProblem problem) {
    auto* seen = static_cast<std::vector<std::string>*>(context);
    seen->push_back(std::string(problem == HostFileProblem::CannotOpen ? "open " : "short ") + path);
  }

  DiskParams params_{};
  DiskGeometry geometry_{};
  StringPool paths_{};
  ScratchDir scratch_;
};

TEST_F(Image, HostFileProblemsAreReportedAndTheirClustersFilled) {
  std::FILE* out = std::tmpfile();
  std::vector<std::string> seen;
  EXPECT_EQ(write(out, record, &seen), DCP_HOST_FILE_FAILED);
  std::vector<std::string> expected = {"short " + scratch_.file("a"),
                                       "open " + scratch_.file("missing")};
  EXPECT_EQ(seen, expected);
  std::string img = contents(out);
  // Header, boot sector, FAT, 2 root sectors, then clusters 2 to 6.
  std::size_t data = DCP_HEADER_SIZE + 64 + 64 + 128;
  ASSERT_EQ(img.size(), data + 5 * 64);
  EXPECT_EQ(img.substr(data, 11), ".          ");
  EXPECT_EQ(img.substr(data + 128, 64), "short" + zeros(59));
  EXPECT_EQ(img.substr(data + 192, 64), fill(64));
  EXPECT_EQ(img.substr(data + 256, 64), numbered(10) + zeros(54));
  std::fclose(out);
}

TEST_F(Image, MemoryAndOutputFailuresAreReported) {
  // The cluster buffer: nothing is written.
  std::FILE* out = std::tmpfile();
  heap_fail_at(1);
  EXPECT_EQ(write(out), DCP_NO_MEMORY);
  heap_fail_at(0);
  EXPECT_EQ(contents(out), "");
  // Every later allocation fails before anything is written too.
  for (std::uint64_t n = 2; n <= 4; ++n) {
    heap_fail_at(n);
    EXPECT_EQ(write(out) & DCP_NO_MEMORY, DCP_NO_MEMORY) << n;
  }
  heap_fail_at(0);
  EXPECT_EQ(contents(out), "");
  std::fclose(out);

  std::FILE* full = std::fopen("/dev/full", "wb");
  if (full != nullptr) {
    EXPECT_NE(write(full) & DCP_WRITE_FAILED, 0u);
    std::fclose(full);
  }

  // A geometry that was never planned.
  geometry_ = DiskGeometry{};
  EXPECT_EQ(write(nullptr), DCP_BAD_GEOMETRY);
}

}  // namespace
