#include "diskmason/model/entry_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Ids = std::vector<std::uint32_t>;

PlaceResult add(EntryTree& tree, const std::string& path, std::uint32_t dateTime = 0, std::uint32_t line = 1) {
  return add_path(tree, reinterpret_cast<const std::uint8_t*>(path.data()), static_cast<std::uint32_t>(path.size()),
                  dateTime, line);
}

std::string repeated(const std::string& piece, std::size_t times) {
  std::string s;
  for (std::size_t i = 0; i < times; ++i) s += piece;
  return s;
}

struct Tree : ::testing::Test {
  EntryTree tree;
  void SetUp() override { ASSERT_TRUE(start_tree(tree)); }
  const Entry& at(std::uint32_t id) { return tree.entries.at(id); }
};

TEST_F(Tree, NumbersEntriesInCreationOrderFoldersOutermostFirst) {
  PlaceResult c = add(tree, "a/b/C.TXT", 0x1111, 3);
  PlaceResult d = add(tree, "A/B/D.TXT", 0x2222, 4);  // folders are found by the upper-cased name
  PlaceResult f = add(tree, "A/e/F.TXT", 0x3333, 5);
  EXPECT_EQ((Ids{c.firstCreated, c.file, d.firstCreated, d.file, f.firstCreated, f.file}), (Ids{1, 3, 4, 4, 5, 6}));
  EXPECT_EQ(at(0).subfolders, Ids{1});
  EXPECT_EQ(at(1).subfolders, (Ids{2, 5}));
  EXPECT_EQ(at(2).files, (Ids{3, 4}));
  EXPECT_EQ(at(6).parent, 5u);
  // A folder keeps the names, line and date of the path that made it; a file is left for the caller to fill.
  const Entry& b = at(2);
  EXPECT_EQ(b.sortName + " " + b.name + " " + b.imagePath, "b B a/b");
  EXPECT_EQ(b.line, 3u);
  EXPECT_EQ(b.dateTime, 0x1111u);
  EXPECT_EQ(b.attributes, 0x10);
  EXPECT_EQ(at(4).imagePath, "A/B/D.TXT");
  EXPECT_EQ(at(4).line, 4u);
  EXPECT_EQ(at(4).dateTime, 0u);
  EXPECT_EQ(at(4).startCluster, START_NOT_FIXED);
}

TEST_F(Tree, KeepsTheNameAsWrittenAndUpperCased) {
  const std::string sjis = "\x93\xfa\x96\x7b\xb6\xc5\x81\x5f";  // 日本ｶﾅ and a backslash as 81 5F
  struct Case {
    std::string path;
    std::string sortName;
    std::string name;
    std::string shortName;
  } cases[] = {
      {"readme.txt", "readme.txt", "README.TXT", "README  TXT"},
      {"OTHER.TXT", "OTHER.TXT", "OTHER.TXT", "OTHER   TXT"},
      {"longname1.text", "longname1.text", "LONGNAME1.TEXT", "LONGNAMETEX"},
      {"longname2.text", "longname2.text", "LONGNAME2.TEXT", "LONGNAMETEX"},  // the same 8.3 form is no clash
      {"日本ｶﾅ\\ab.txt", sjis + "ab.txt", sjis + "AB.TXT", sjis + "TXT"},   // only ASCII letters change
      {"../x", "x", "X", "X          "},                                      // ".." is an ordinary folder name
      {"dir/" + std::string(300, 'n'), std::string(300, 'n'), std::string(300, 'N'), "NNNNNNNN   "},
      {std::string(200, '\\'), repeated("\x81\x5f", 200), repeated("\x81\x5f", 200), repeated("\x81\x5f", 4) + "   "},
      {std::string(MAX_NAME_LENGTH, 'x'), std::string(MAX_NAME_LENGTH, 'x'), std::string(MAX_NAME_LENGTH, 'X'),
       "XXXXXXXX   "},
  };
  for (const Case& c : cases) {
    PlaceResult r = add(tree, c.path);
    ASSERT_EQ(r.outcome, PlaceOutcome::Placed) << c.path.substr(0, 20);
    const Entry& e = at(r.file);
    EXPECT_EQ(e.sortName, c.sortName) << c.path.substr(0, 20);
    EXPECT_EQ(e.name, c.name) << c.path.substr(0, 20);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.shortName), SHORT_NAME_SIZE), c.shortName);
  }
}

TEST(EntryTreeRefusal, TellsWhyAndWhatIsInTheWay) {
  struct Case {
    std::vector<std::string> before;
    std::string path;
    PlaceOutcome outcome;
    const char* clash;  // image path of the entry in the way; nullptr for none
    std::uint32_t folderEnd;
  } cases[] = {
      {{"A.TXT"}, "A.TXT", PlaceOutcome::PlacedAlready, "A.TXT", 0},
      {{"D/a.txt"}, "D/a.txt", PlaceOutcome::PlacedAlready, "D/a.txt", 0},
      {{"abc.txt"}, "ABC.TXT", PlaceOutcome::CaseOnly, "abc.txt", 0},
      {{"ABC.TXT"}, "abc.txt", PlaceOutcome::CaseOnly, "ABC.TXT", 0},
      {{"DIR/F"}, "dir", PlaceOutcome::FileWhereFolder, "DIR", 0},
      {{"DIR/F"}, "DIR", PlaceOutcome::FileWhereFolder, "DIR", 0},
      {{"X"}, "X/Y.TXT", PlaceOutcome::FolderWhereFile, "X", 1},
      {{"D/x"}, "D/X/Y.TXT", PlaceOutcome::FolderWhereFile, "D/x", 3},
      {{}, "/A.TXT", PlaceOutcome::EmptyComponent, nullptr, 0},
      {{}, "A/", PlaceOutcome::EmptyComponent, nullptr, 0},
      {{}, "A//B.TXT", PlaceOutcome::EmptyComponent, nullptr, 0},
      {{}, "", PlaceOutcome::EmptyComponent, nullptr, 0},
      {{}, "\xf0\x80\x80\x80.TXT", PlaceOutcome::ZeroByte, nullptr, 0},
      {{}, std::string(MAX_NAME_LENGTH + 1, 'y'), PlaceOutcome::NameTooLong, nullptr, 0},
      {{}, std::string(40000, '\\'), PlaceOutcome::NameTooLong, nullptr, 0},  // each backslash takes 2 bytes
      {{}, std::string(1000000, 'z'), PlaceOutcome::NameTooLong, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.substr(0, 20));
    EntryTree tree;
    ASSERT_TRUE(start_tree(tree));
    for (const std::string& path : c.before) ASSERT_EQ(add(tree, path).outcome, PlaceOutcome::Placed);
    std::size_t entries = tree.entries.size();
    PlaceResult r = add(tree, c.path);
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(r.file, NO_ENTRY);
    EXPECT_EQ(tree.entries.size(), entries);
    EXPECT_EQ(r.clash == NO_ENTRY ? "none" : tree.entries.at(r.clash).imagePath, c.clash ? c.clash : "none");
    if (c.outcome == PlaceOutcome::FolderWhereFile) {
      EXPECT_EQ(r.folderEnd, c.folderEnd);
    }
    EXPECT_EQ(add(tree, "LATER.TXT").outcome, PlaceOutcome::Placed);
  }
}

TEST_F(Tree, RefusesAFileOrFolderPastTheFolderLimit) {
  for (std::uint32_t i = 0; i < FOLDER_KIND_LIMIT; ++i) {
    std::string number = std::to_string(i);
    std::string file = "F";
    std::string folder = "D";
    ASSERT_EQ(add(tree, file.append(number)).outcome, PlaceOutcome::Placed);
    ASSERT_EQ(add(tree, folder.append(number).append("/F")).outcome, PlaceOutcome::Placed);
  }
  EXPECT_EQ(add(tree, "ONE.MORE").outcome, PlaceOutcome::FolderFull);
  EXPECT_EQ(add(tree, "MORE/F").outcome, PlaceOutcome::FolderFull);
  EXPECT_EQ(add(tree, "D0/G").outcome, PlaceOutcome::Placed);
}

}  // namespace
