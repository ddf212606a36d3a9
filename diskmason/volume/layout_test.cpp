#include "diskmason/volume/layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diskmason/volume/volume_test_support.h"

namespace {

using Ids = std::vector<std::uint32_t>;

TEST(LayoutOrder, LevelByLevelSubfoldersThenFilesSortedByStartCluster) {
  // A 1, D 2, D/X 3, B 4, D/E 5, D/E/Y 6, F 7, F/Z 8.
  const std::vector<volume_test::FileLine> files = {{"A"}, {"D/X"}, {"B"}, {"D/E/Y"}, {"F/Z"}};
  struct Case {
    const char* what;
    std::vector<std::uint16_t> starts;  // of entries 1 to 8
    Ids order;
  } cases[] = {
      {"equal starts keep the collection order", {}, {2, 7, 1, 4, 5, 3, 8, 6}},
      {"by start", {9, 2, 8, 7, 3, 6, 5, 4}, {2, 5, 8, 7, 6, 4, 3, 1}},
      {"ties in collection order", {5, 7, 5, 7, 5, 7, 5, 7}, {7, 1, 5, 3, 2, 4, 8, 6}},
  };
  for (const Case& c : cases) {
    EntryTree tree = volume_test::tree_of(files);
    ASSERT_EQ(tree.entries.size(), 9u);
    for (std::uint32_t i = 0; i < c.starts.size(); ++i) tree.entries[i + 1].startCluster = c.starts[i];
    Ids order;
    ASSERT_TRUE(layout_order(tree, order));
    EXPECT_EQ(order, c.order) << c.what;
  }
}

TEST(LayoutOrder, TiesKeepTheCollectionOrderInLongFolders) {
  std::vector<volume_test::FileLine> files;
  for (int i = 0; i < 40; ++i) files.push_back({std::string("F").append(std::to_string(i)), 0, static_cast<std::uint16_t>(7 - i % 3)});
  EntryTree tree = volume_test::tree_of(files);
  Ids expected;
  for (std::uint32_t start : {5, 6, 7}) {
    for (std::uint32_t i = 1; i <= 40; ++i) {
      if (tree.entries[i].startCluster == start) expected.push_back(i);
    }
  }
  Ids order;
  ASSERT_TRUE(layout_order(tree, order));
  EXPECT_EQ(order, expected);
}

}  // namespace
