#include "diskmason/tree/dir_tree.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "textconv/heap.h"

namespace {

struct TreeFixture : ::testing::Test {
  IndexPool pool{};
  DirNode root{};

  void SetUp() override {
    ASSERT_TRUE(init(pool, 128));
    ASSERT_TRUE(init_directory(&root, 8, 64, pool));
  }
  void TearDown() override {
    heap_fail_at(0);
    if (root.subdirs != nullptr) remove_node(&root, pool);
    EXPECT_EQ(pool.used, 0u);
    heap_free(pool.links);
  }

  FileNode* add(const std::string& path) { return add_path(&root, path.c_str(), pool); }
};

// "D11/S5/F19.txt" and the like, built without std::string concatenation,
// which GCC 12's optimiser wrongly warns about.
std::string numbered_path(const char* format, int a, int b = 0, int c = 0) {
  char path[64];
  std::snprintf(path, sizeof path, format, a, b, c);
  return path;
}

std::string path_of(const FileNode* node) {
  char buffer[1024];
  EXPECT_TRUE(build_path(node, buffer, sizeof buffer));
  return buffer;
}

// Checks every invariant that readers of the tree rely on: parents, counts,
// and each child found again through its names.
void expect_consistent(const DirNode* dir) {
  std::uint32_t files = 0;
  std::uint32_t subdirs = 0;
  std::uint32_t keys = 0;
  for (std::uint32_t i = 0; i < dir->fileCapacity; ++i) {
    const FileNode& f = dir->files[i];
    ASSERT_EQ(f.parent, dir);
    if (!slot_in_use(f)) continue;
    ++files;
    keys += f.nameId == f.entryNameId ? 1 : 2;
    EXPECT_TRUE(is_file(&f));
    EXPECT_EQ(find_child(dir, sort_name(&f)), &f);
    EXPECT_EQ(find_child(dir, entry_name(&f)), &f);
  }
  for (std::uint32_t i = 0; i < dir->subdirCapacity; ++i) {
    const DirNode& d = dir->subdirs[i];
    ASSERT_EQ(d.parent, dir);
    if (!slot_in_use(d)) continue;
    ++subdirs;
    keys += d.nameId == d.entryNameId ? 1 : 2;
    EXPECT_FALSE(is_file(&d));
    EXPECT_EQ(find_child(dir, sort_name(&d)), &d);
    EXPECT_EQ(find_child(dir, entry_name(&d)), &d);
    expect_consistent(&d);
  }
  EXPECT_EQ(files, dir->fileCount);
  EXPECT_EQ(subdirs, dir->subdirCount);
  EXPECT_EQ(keys, dir->names->count);
}

TEST_F(TreeFixture, IndicesAreDenseInCreationOrder) {
  FileNode* a = add("DIR1/A.TXT");
  FileNode* b = add("DIR1/B.TXT");
  FileNode* c = add("DIR2/C.TXT");
  ASSERT_TRUE(a && b && c);
  ASSERT_EQ(root.subdirCount, 2u);
  DirNode& dir1 = root.subdirs[0];
  DirNode& dir2 = root.subdirs[1];
  EXPECT_STREQ(entry_name(&dir1), "DIR1");
  EXPECT_STREQ(entry_name(&dir2), "DIR2");
  EXPECT_EQ(a->parent, &dir1);
  EXPECT_EQ(c->parent, &dir2);
  std::vector<std::uint32_t> indices{root.index, dir1.index, a->index,
                                     b->index,   dir2.index, c->index};
  EXPECT_EQ(indices, (std::vector<std::uint32_t>{0, 2, 5, 7, 8, 11}));
  expect_consistent(&root);
}

TEST_F(TreeFixture, NameFormsMakeOneOrTwoEntries) {
  FileNode* lower = add("readme.txt");
  ASSERT_NE(lower, nullptr);
  EXPECT_STREQ(sort_name(lower), "readme.txt");
  EXPECT_STREQ(entry_name(lower), "README.TXT");
  EXPECT_EQ(root.names->count, 2u);

  FileNode* upper = add("OTHER.TXT");
  ASSERT_NE(upper, nullptr);
  EXPECT_EQ(upper->nameId, upper->entryNameId);
  EXPECT_EQ(root.names->count, 3u);

  // Only ASCII letters are upper-cased; a backslash becomes 81 5F.
  FileNode* mixed = add("日本ｶﾅ\\ab.txt");
  ASSERT_NE(mixed, nullptr);
  EXPECT_STREQ(sort_name(mixed),
               "\x93\xfa\x96\x7b\xb6\xc5\x81\x5f"
               "ab.txt");
  EXPECT_STREQ(entry_name(mixed),
               "\x93\xfa\x96\x7b\xb6\xc5\x81\x5f"
               "AB.TXT");
  // Longer than 8.3: whole, distinct keys; dot names are ordinary names.
  EXPECT_NE(add("LONGNAME1.TXT"), nullptr);
  EXPECT_NE(add("LONGNAME2.TXT"), nullptr);
  EXPECT_NE(add("../x"), nullptr);
  expect_consistent(&root);
}

TEST_F(TreeFixture, DirectoriesAreFoundByTheirUpperCasedForm) {
  ASSERT_NE(add("docs/a.txt"), nullptr);
  ASSERT_NE(add("DOCS/b.txt"), nullptr);
  ASSERT_NE(add("Docs/c.txt"), nullptr);
  ASSERT_EQ(root.subdirCount, 1u);
  EXPECT_STREQ(entry_name(&root.subdirs[0]), "DOCS");
  EXPECT_STREQ(sort_name(&root.subdirs[0]), "docs");
  EXPECT_EQ(root.subdirs[0].fileCount, 3u);
}

struct Refusal {
  std::vector<std::string> before;
  std::string path;
};

TEST_F(TreeFixture, RefusesPathsThatCannotBePlaced) {
  const Refusal cases[] = {
      {{"A.TXT"}, "A.TXT"},      // the same path twice
      {{"abc.txt"}, "ABC.TXT"},  // plain form equals an earlier upper-cased form
      {{"ABC.TXT"}, "abc.txt"},  // upper-cased form already a child's name
      {{"DIR/F"}, "dir"},        // a file named like a directory (either case)
      {{"X"}, "X/Y.TXT"},        // a file where a directory is needed
      {{"X/Y.TXT"}, "X"},        // a directory where the file would go
      {{}, "/A.TXT"},
      {{}, "A/"},
      {{}, "A//B.TXT"},
      {{}, ""},
      {{}, "\xf0\x80\x80\x80.TXT"},  // converts to a zero byte
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.path);
    IndexPool p{};
    DirNode r{};
    ASSERT_TRUE(init(p, 128));
    ASSERT_TRUE(init_directory(&r, 8, 64, p));
    for (const std::string& path : c.before) ASSERT_NE(add_path(&r, path.c_str(), p), nullptr);
    std::uint32_t used = p.used;
    EXPECT_EQ(add_path(&r, c.path.c_str(), p), nullptr);
    EXPECT_EQ(p.used, used);
    expect_consistent(&r);
    EXPECT_NE(add_path(&r, "LATER.TXT", p), nullptr);
    remove_node(&r, p);
    EXPECT_EQ(p.used, 0u);
    heap_free(p.links);
  }
}

TEST_F(TreeFixture, LongComponentsAreKeptWhole) {
  std::string longName(300, 'n');
  FileNode* file = add("dir/" + longName);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(std::strlen(entry_name(file)), 300u);
  // Every backslash doubles: 200 bytes become a 400-byte name.
  FileNode* doubled = add(std::string(200, '\\'));
  ASSERT_NE(doubled, nullptr);
  EXPECT_EQ(std::strlen(sort_name(doubled)), 400u);
  EXPECT_EQ(path_of(file), "DIR/" + std::string(300, 'N'));

  // 65535 bytes is the longest key; 40000 backslashes give 80000.
  EXPECT_NE(add(std::string(0xFFFF, 'x')), nullptr);
  EXPECT_EQ(add(std::string(0x10000, 'y')), nullptr);
  EXPECT_EQ(add(std::string(40000, '\\')), nullptr);
  EXPECT_EQ(add(std::string(1000000, 'z')), nullptr);
  expect_consistent(&root);
}

TEST_F(TreeFixture, ParentsSurviveArrayGrowth) {
  // 12 root directories (8 slots), each with 6 directories (4 slots), each
  // with 20 files (16 slots); the root also gets 70 files (64 slots).
  for (int i = 0; i < 12; ++i) {
    for (int j = 0; j < 6; ++j) {
      for (int k = 0; k < 20; ++k) {
        std::string path = numbered_path("D%d/S%d/F%d.txt", i, j, k);
        ASSERT_NE(add(path), nullptr) << path;
      }
    }
  }
  for (int k = 0; k < 70; ++k) ASSERT_NE(add(numbered_path("R%d", k)), nullptr);
  EXPECT_EQ(root.subdirCapacity, 16u);
  EXPECT_EQ(root.fileCapacity, 128u);
  EXPECT_EQ(root.subdirs[0].subdirCapacity, 8u);
  EXPECT_EQ(root.subdirs[0].subdirs[0].fileCapacity, 32u);
  expect_consistent(&root);
  FileNode* deep = find_path(&root, "D11/S5/F19.txt");
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(path_of(deep), "D11/S5/F19.TXT");
  // Dense indices: root 0, D0 1, D0/S0 2, its 20 files 3..22, D0/S1 23...
  EXPECT_EQ(record_of(&root.subdirs[0].subdirs[1]), 23u);
}

TEST_F(TreeFixture, ReportsCreatedDirectoriesOutermostFirst) {
  std::vector<std::uint32_t> created;
  auto record = [](void* context, std::uint32_t index) {
    static_cast<std::vector<std::uint32_t>*>(context)->push_back(index);
    return true;
  };
  ASSERT_NE(add_path(&root, "A/B/C.TXT", pool, record, &created), nullptr);
  EXPECT_EQ(created, (std::vector<std::uint32_t>{2, 4}));
  created.clear();
  ASSERT_NE(add_path(&root, "a/b/D.TXT", pool, record, &created), nullptr);
  EXPECT_TRUE(created.empty());
  ASSERT_NE(add_path(&root, "A/E/F.TXT", pool, record, &created), nullptr);
  EXPECT_EQ(created, (std::vector<std::uint32_t>{(find_path(&root, "A/E")->index)}));

  auto refuse = [](void*, std::uint32_t) { return false; };
  EXPECT_EQ(add_path(&root, "G/H.TXT", pool, refuse, nullptr), nullptr);
}

TEST_F(TreeFixture, FindsAndBuildsPaths) {
  FileNode* file = add("a/B/c.txt");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(find_path(&root, "/A//B/c.txt"), file);
  EXPECT_EQ(find_path(&root, "A/b/c.txt"), nullptr);  // exact bytes only
  EXPECT_EQ(find_path(&root, "A/B/c.txt/"), nullptr);
  EXPECT_EQ(find_path(&root, ""), &root);
  EXPECT_EQ(path_of(file), "A/B/C.TXT");
  EXPECT_EQ(path_of(find_path(&root, "A/B")), "A/B/");
  EXPECT_EQ(path_of(&root), "");
  char small[9];
  EXPECT_FALSE(build_path(file, small, sizeof small));
  EXPECT_STREQ(small, "");

  std::uint32_t index = remove_node(file, pool);
  EXPECT_FALSE(is_used(pool, record_of(index)));
  EXPECT_EQ(find_path(&root, "A/B/c.txt"), nullptr);
  expect_consistent(&root);
}

TEST_F(TreeFixture, EveryFailedAllocationLeavesAConsistentTree) {
  // Nearly full arrays, so the add also grows the root's file array.
  for (int k = 0; k < 63; ++k) ASSERT_NE(add(numbered_path("R%d", k)), nullptr);
  bool succeeded = false;
  for (int n = 1; !succeeded && n < 64; ++n) {
    heap_fail_at(static_cast<std::uint64_t>(n));
    FileNode* node = add(numbered_path("N%d/M/F.TXT", n));
    FileNode* file = add(numbered_path("file%d", n));
    heap_fail_at(0);
    succeeded = node != nullptr && file != nullptr;
    expect_consistent(&root);
  }
  EXPECT_TRUE(succeeded);
}

TEST_F(TreeFixture, FullIndexPoolRefusesTheAdd) {
  IndexPool small{};
  DirNode r{};
  ASSERT_TRUE(init(small, 2));
  ASSERT_TRUE(init_directory(&r, 8, 64, small));
  heap_fail_at(1);  // taking index 1 fills the pool; its growth fails
  ASSERT_NE(add_path(&r, "A.TXT", small), nullptr);
  heap_fail_at(1);  // the next allocation retries the growth: fails again
  EXPECT_EQ(add_path(&r, "B.TXT", small), nullptr);
  EXPECT_EQ(find_child(&r, "B.TXT"), nullptr);

  // A directory: init_directory's own allocations succeed, the index does not.
  DirNode scratch{};
  IndexPool roomy{};
  ASSERT_TRUE(init(roomy, 8));
  heap_fail_at(0);
  ASSERT_TRUE(init_directory(&scratch, DIR_SUBDIR_SLOTS, DIR_FILE_SLOTS, roomy));
  std::uint64_t directoryAllocations = heap_allocations_seen();
  release_subtree(&scratch, roomy);
  heap_free(roomy.links);
  heap_fail_at(directoryAllocations + 1);
  EXPECT_EQ(add_path(&r, "D/X.TXT", small), nullptr);
  heap_fail_at(0);
  EXPECT_EQ(r.subdirCount, 0u);
  EXPECT_EQ(find_child(&r, "D"), nullptr);
  expect_consistent(&r);

  FileNode* c = add_path(&r, "C.TXT", small);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(record_of(c), 2u);
  remove_node(&r, small);
  EXPECT_EQ(small.used, 0u);
  heap_free(small.links);
}

}  // namespace
