#include "diskmason/volume/directory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diskmason/volume/volume_test_support.h"

namespace {

using volume_test::entry_at;
using volume_test::FileLine;
using volume_test::tree_of;
using Bytes = std::vector<std::uint8_t>;

Bytes sectors_of(const EntryTree& tree, const std::string& folder, bool withDots, std::uint32_t sectorSize) {
  Bytes out = {0xAB};  // what is there already stays
  append_folder_sectors(tree, entry_at(tree, folder), withDots, sectorSize, out);
  EXPECT_EQ(out[0], 0xAB);
  return Bytes(out.begin() + 1, out.end());
}

std::string slot(const Bytes& bytes, std::size_t n, std::size_t length = 11) {
  return std::string(reinterpret_cast<const char*>(&bytes.at(n * 32)), length);
}

std::vector<FileLine> numbered(const std::string& prefix, int count) {
  std::vector<FileLine> files;
  for (int i = 0; i < count; ++i) files.push_back({prefix + std::to_string(10 + i)});
  return files;
}

TEST(FolderSectors, EntriesThenTheEndMarkerThenEmptySlotsToTheSectorEnd) {
  struct Case {
    const char* what;
    std::vector<FileLine> files;
    const char* folder;
    bool withDots;
    std::uint32_t sectorSize;
    std::size_t bytes;
    std::size_t firstEmpty;  // the end marker's slot
  } cases[] = {
      {"empty root", {}, "", false, 512, 512, 0},
      {"16 in the root fill a sector", numbered("F", 16), "", false, 512, 1024, 16},
      {"14 and the dots", numbered("D/F", 14), "D", true, 512, 1024, 16},
      {"14 and the dots in one big sector", numbered("D/F", 14), "D", true, 1024, 1024, 16},
      {"one slot a sector", {{"D/X"}}, "D", true, 32, 128, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = sectors_of(tree_of(c.files), c.folder, c.withDots, c.sectorSize);
    ASSERT_EQ(bytes.size(), c.bytes);
    for (std::size_t n = 0; n < c.firstEmpty; ++n) EXPECT_NE(bytes[n * 32], 0) << n;
    for (std::size_t n = c.firstEmpty; n < bytes.size() / 32; ++n) {
      EXPECT_EQ(slot(bytes, n, 32), std::string(1, '\0') + std::string(31, '\xE5')) << n;
    }
  }
}

TEST(FolderSectors, DotsCarryTheFolderAndItsParent) {
  EntryTree tree = tree_of({{"D/E/X"}});
  Entry& d = tree.entries[entry_at(tree, "D")];
  d.startCluster = 0x55;
  d.dateTime = 0x11112222;
  tree.entries[entry_at(tree, "D/E")].startCluster = 0x30;
  Bytes e = sectors_of(tree, "D/E", true, 512);
  EXPECT_EQ(slot(e, 0), ".          ");
  EXPECT_EQ(slot(e, 1), "..         ");
  EXPECT_EQ(e[11], 0x10);
  EXPECT_EQ(e[26], 0x30);  // "." holds the folder's own start
  EXPECT_EQ(slot(e, 1, 32).substr(22, 6), std::string("\x22\x22\x11\x11\x55\x00", 6));  // ".." the parent's
  // ".." of a folder in the root holds the root's facts: cluster 0, no date.
  Bytes inRoot = sectors_of(tree, "D", true, 512);
  EXPECT_EQ(slot(inRoot, 1, 32).substr(22, 6), std::string(6, '\0'));
}

TEST(FolderSectors, SystemEntriesThenFilesThenFoldersEachByTheNameAsWritten) {
  struct Case {
    std::vector<FileLine> files;
    const char* systemFolder;  // nullptr for none
    std::vector<std::string> names;
  } cases[] = {
      {{{"B.TXT"}, {"C/X"}, {"SYS.COM", 0, START_NOT_FIXED, 0x04}, {"A.TXT"}, {"S/Y"}},
       "S",
       {"SYS     COM", "S          ", "A       TXT", "B       TXT", "C          "}},
      // "a.txt" sorts after "B.TXT"; あ (82 A0) after every ASCII name.
      {{{"a.txt"}, {"B.TXT"}, {"\xe3\x81\x82"}, {"c.txt"}},
       nullptr,
       {"B       TXT", "A       TXT", "C       TXT", "\x82\xa0         "}},
  };
  for (const Case& c : cases) {
    EntryTree tree = tree_of(c.files);
    if (c.systemFolder != nullptr) tree.entries[entry_at(tree, c.systemFolder)].attributes = 0x14;
    Bytes bytes = sectors_of(tree, "", false, 512);
    std::vector<std::string> names;
    for (std::size_t n = 0; bytes[n * 32] != 0; ++n) names.push_back(slot(bytes, n));
    EXPECT_EQ(names, c.names);
  }
}

TEST(FolderSectors, EntryHoldsTheFactsAndA05ForE5) {
  // 蜃 is E5 87 in Shift-JIS.
  EntryTree tree = tree_of({{"\xe8\x9c\x83.TXT", 4660, 0x123, 0x21}});
  tree.entries[1].dateTime = 0x502F645C;
  Bytes bytes = sectors_of(tree, "", false, 512);
  EXPECT_EQ(slot(bytes, 0, 32), std::string("\x05\x87      TXT\x21", 12) + std::string(10, '\0') +
                                    std::string("\x5C\x64\x2F\x50\x23\x01\x34\x12\x00\x00", 10));
}

}  // namespace
