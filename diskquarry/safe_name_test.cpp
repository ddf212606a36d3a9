#include "diskquarry/safe_name.h"

#include <gtest/gtest.h>

namespace {

TEST(SafeName, NamesNoHostMayTakeBecomeSafe) {
  struct Case {
    const char* name;
    const char* safe;
  } cases[] = {
      {"README.TXT", "README.TXT"}, {"CON", "CON_"},        {"con.txt", "con_.txt"}, {"COM1.DAT", "COM1_.DAT"},
      {"COM10", "COM10"},           {"A/B.TXT", "A_B.TXT"}, {"C:", "C_"},            {"..", "__"},
      {"TRAIL.", "TRAIL_"},         {"\x01X", "_X"},        {"A\\B", "A_B"},         {"", "_"},
  };
  for (const Case& c : cases) {
    bool changed = false;
    EXPECT_EQ(safe_host_name(c.name, &changed), c.safe) << c.name;
    EXPECT_EQ(changed, std::string(c.name) != c.safe) << c.name;
  }
}

TEST(SafeName, ClashesInOneFolderGetANumber) {
  HostFolderNames folder;
  EXPECT_EQ(unique_host_name(folder, "A.TXT"), "A.TXT");
  EXPECT_EQ(unique_host_name(folder, "a.txt"), "a~2.txt");
  EXPECT_EQ(unique_host_name(folder, "A.TXT"), "A~3.TXT");
  EXPECT_EQ(unique_host_name(folder, "B"), "B");
  EXPECT_EQ(unique_host_name(folder, "b"), "b~2");
}

}  // namespace
