#include "diskmason/image/dir_entries.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "textconv/heap.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct DirWriter : ::testing::Test {
  IndexPool pool{};
  DirNode root{};
  std::vector<FileInfo> infos = std::vector<FileInfo>(256);
  Bytes buffer = Bytes(4096);

  void SetUp() override {
    ASSERT_TRUE(init(pool, 128));
    ASSERT_TRUE(init_directory(&root, 8, 64, pool));
    infos[0] = FileInfo{0x10, 0, 0, 0, 0};
  }
  void TearDown() override {
    heap_fail_at(0);
    remove_node(&root, pool);
    heap_free(pool.links);
  }

  static bool on_dir(void* context, std::uint32_t index) {
    static_cast<DirWriter*>(context)->infos[record_of(index)] = FileInfo{0x10, 0x11112222, 0x30, 0, 0};
    return true;
  }
  FileNode* add(const std::string& path, std::uint8_t attributes = 0x20) {
    FileNode* node = add_path(&root, path.c_str(), pool, on_dir, this);
    EXPECT_NE(node, nullptr) << path;
    infos[record_of(node)] = FileInfo{attributes, 0, 0x40, 7, 0};
    return node;
  }
  DirNode* dir(const char* path) { return static_cast<DirNode*>(find_path(&root, path)); }

  // Writes a directory to a temporary file; returns the bytes and the result.
  Bytes write(const DirNode* d, std::uint32_t blockSize, std::uint32_t& sectors) {
    std::FILE* out = std::tmpfile();
    EXPECT_NE(out, nullptr);
    sectors = write_directory(out, d, infos.data(), buffer.data(), blockSize, 512, FILL_BYTE,
                              d->parent != nullptr);
    Bytes bytes(static_cast<std::size_t>(std::ftell(out)));
    std::rewind(out);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), out), bytes.size());
    std::fclose(out);
    return bytes;
  }
};

std::string name_field(const Bytes& bytes, std::size_t slot) {
  return std::string(reinterpret_cast<const char*>(&bytes[slot * 32]), 11);
}

// "F10", "F11"...: names built without std::string concatenation, which GCC
// 12's optimiser wrongly warns about.
std::string numbered_name(const char* format, int n) {
  char name[32];
  std::snprintf(name, sizeof name, format, n);
  return name;
}

// Slots from `first` on are empty: 0x00, then 31 fill bytes.
void expect_empty_from(const Bytes& bytes, std::size_t first) {
  for (std::size_t slot = first; slot < bytes.size() / 32; ++slot) {
    EXPECT_EQ(bytes[slot * 32], 0) << slot;
    for (std::size_t i = 1; i < 32; ++i) ASSERT_EQ(bytes[slot * 32 + i], 0xE5) << slot;
  }
}

TEST(ShortName, SplitsAtTheLastDot) {
  struct Case {
    const char* name;
    const char* field;
  };
  const Case cases[] = {
      {"README.TXT", "README  TXT"},
      {"LONGFILENAME", "LONGFILE   "},
      {"ARCHIVE.TAR.GZ", "ARCHIVE.GZ "},
      {".PROFILE", "        PRO"},
      {"A.", "A          "},
      {"A.B.", "A.B        "},
      {"ABCDEFG\x82\xa0.TXT", "ABCDEFG\x82TXT"},  // a double-byte character cut in half
      {"", "           "},
      {"\xE5\xE5.\xE5", "\x05\xE5      \xE5  "},  // only a leading deleted mark is replaced
  };
  for (const Case& c : cases) {
    std::uint8_t field[SHORT_NAME_SIZE];
    make_short_name(c.name, field);
    EXPECT_EQ(std::memcmp(field, c.field, SHORT_NAME_SIZE), 0) << c.name;
  }
}

TEST_F(DirWriter, EmptyRootIsOneSectorOfEmptySlots) {
  std::uint32_t sectors = 0;
  Bytes bytes = write(&root, 512, sectors);
  EXPECT_EQ(sectors, 1u);
  ASSERT_EQ(bytes.size(), 512u);
  expect_empty_from(bytes, 0);
}

TEST_F(DirWriter, EmptySubdirectoryHasDotEntries) {
  add("D/X");
  DirNode* e = add_subdirectory(dir("D"), "E", "E", pool);
  ASSERT_NE(e, nullptr);
  on_dir(this, e->index);
  infos[record_of(dir("D"))].startCluster = 0x55;
  std::uint32_t sectors = 0;
  Bytes bytes = write(e, 1024, sectors);
  EXPECT_EQ(sectors, 1u);
  ASSERT_EQ(bytes.size(), 512u);
  EXPECT_EQ(name_field(bytes, 0), ".          ");
  EXPECT_EQ(name_field(bytes, 1), "..         ");
  EXPECT_EQ(bytes[11], 0x10);
  EXPECT_EQ(bytes[26], 0x30);       // "." from the directory's own record
  EXPECT_EQ(bytes[32 + 26], 0x55);  // ".." from its parent's
  expect_empty_from(bytes, 2);

  // ".." of a first-level directory is the root's record: cluster 0.
  bytes = write(dir("D"), 512, sectors);
  EXPECT_EQ(bytes[32 + 26], 0);
  EXPECT_EQ(bytes[32 + 27], 0);
  EXPECT_EQ(bytes[32 + 22], 0);
}

TEST_F(DirWriter, FourteenChildrenTakeTwoSectors) {
  for (int i = 0; i < 14; ++i) add(numbered_name("D/F%d", 10 + i));
  for (std::uint32_t block : {512u, 1024u}) {
    std::uint32_t sectors = 0;
    Bytes bytes = write(dir("D"), block, sectors);
    EXPECT_EQ(sectors, 2u);
    ASSERT_EQ(bytes.size(), 1024u);
    EXPECT_EQ(name_field(bytes, 2), "F10        ");
    EXPECT_EQ(name_field(bytes, 15), "F23        ");
    expect_empty_from(bytes, 16);  // the end marker and 15 empty slots
  }
}

TEST_F(DirWriter, FullBlockIsWrittenBeforeTheEndMarker) {
  for (int i = 0; i < 16; ++i) add(numbered_name("F%d", 10 + i));
  std::uint32_t sectors = 0;
  Bytes bytes = write(&root, 512, sectors);
  EXPECT_EQ(sectors, 2u);
  ASSERT_EQ(bytes.size(), 1024u);
  EXPECT_EQ(name_field(bytes, 15), "F25        ");
  expect_empty_from(bytes, 16);
}

TEST_F(DirWriter, SystemThenFilesThenNames) {
  add("B.TXT");
  add("C/X");
  add("SYS.COM", 0x04);
  add("A.TXT");
  add("S/Y");
  infos[record_of(find_path(&root, "S"))].attributes = 0x14;
  std::uint32_t sectors = 0;
  Bytes bytes = write(&root, 512, sectors);
  const char* expected[] = {"SYS     COM", "S          ", "A       TXT", "B       TXT",
                            "C          "};
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(name_field(bytes, i), expected[i]);
  EXPECT_EQ(bytes[5 * 32], 0);
}

TEST_F(DirWriter, OrderFollowsThePlainForms) {
  add("a.txt");
  add("B.TXT");
  add("\xe3\x81\x82");  // あ, 82 A0: after every ASCII name
  add("c.txt");
  std::uint32_t sectors = 0;
  Bytes bytes = write(&root, 512, sectors);
  EXPECT_EQ(name_field(bytes, 0), "B       TXT");
  EXPECT_EQ(name_field(bytes, 1), "A       TXT");
  EXPECT_EQ(name_field(bytes, 2), "C       TXT");
  EXPECT_EQ(name_field(bytes, 3), "\x82\xa0         ");
}

TEST_F(DirWriter, EntryCarriesTheRecordAndA05ForE5) {
  FileNode* node = add("\xe8\x9c\x83.TXT");  // 蜃 = E5 87
  infos[record_of(node)] = FileInfo{0x21, 0x502F645C, 0x123, 4660, 0};
  std::uint32_t sectors = 0;
  Bytes bytes = write(&root, 512, sectors);
  EXPECT_EQ(name_field(bytes, 0), "\x05\x87      TXT");
  const std::uint8_t tail[] = {0x21, 0,    0,    0,    0,    0,    0,    0,    0, 0, 0,
                               0x5C, 0x64, 0x2F, 0x50, 0x23, 0x01, 0x34, 0x12, 0, 0};
  EXPECT_EQ(std::memcmp(&bytes[11], tail, sizeof tail), 0);
}

TEST_F(DirWriter, RefusesWithoutWritingWhenItCannot) {
  add("A");
  std::uint32_t sectors = 0;
  heap_fail_at(1);
  EXPECT_EQ(write(&root, 512, sectors).size(), 0u);
  EXPECT_EQ(sectors, DIRECTORY_NOT_WRITTEN);
  heap_fail_at(0);
  for (std::uint32_t block : {0u, 100u, 256u}) {  // not whole entries, or not whole sectors
    EXPECT_EQ(write(&root, block, sectors).size(), 0u);
    EXPECT_EQ(sectors, DIRECTORY_NOT_WRITTEN);
  }
}

}  // namespace
