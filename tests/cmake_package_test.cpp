// The installed CMake package used the way a project uses it: install the
// toolkit into a scratch prefix, build a small consumer project with the
// Ninja and the Unix Makefiles generators, and check that the build log
// shows the programs' warnings and that touching one input rebuilds exactly
// what depends on it.
#include <cstdlib>
#include <string>

#include "tests/test_support.h"

namespace {

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// The build tree of the programs under test: the folder above their bin/.
std::string build_dir() {
  const char* dir = std::getenv("TK_BIN_DIR");
  return std::string(dir != nullptr ? dir : "../build/bin") + "/..";
}

const char CONSUMER_PROJECT[] = R"(cmake_minimum_required(VERSION 3.25)
project(consumer LANGUAGES NONE)
find_package(RetroToolkit CONFIG REQUIRED)
bytequill_source(OUTPUT gen/hello.s SOURCE hello.asm)
glyphmint_source(OUTPUT gen/menu.s SOURCE menu.asm)
diskmason_image(disk OUTPUT disk.dcp FILELIST disk/disk.lst MAP disk.map
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/gen/hello.s ${CMAKE_CURRENT_BINARY_DIR}/gen/menu.s)
diskmason_image(raw_disk OUTPUT disk.img FILELIST disk/disk.lst FORMAT raw
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/gen/hello.s ${CMAKE_CURRENT_BINARY_DIR}/gen/menu.s)
# Both disks list the converted sources: with Make each target carries its own
# copy of their rules, so in a parallel build one disk's copy could convert a
# source again after the other disk was written. One disk after the other.
add_dependencies(raw_disk disk)
)";

// Host paths are relative to the list's folder, where diskmason runs.
const char FILE_LIST[] =
    "boot.bin 0x20 0 30 1024 1 1 2 192 1232 0xFE 2 8 2 0\n"
    "data.bin DATA.BIN 2024-04-01 09:00:00 A\n"
    "../../build/gen/hello.s SRC/HELLO.S 2024-04-01 09:00:00 A\n"
    "../../build/gen/menu.s SRC/MENU.S 2024-04-01 09:00:00 A\n";

struct Generator {
  const char* name;
  const char* tool;
};

void PrintTo(const Generator& generator, std::ostream* out) { *out << generator.name; }

class CmakePackage : public ::testing::TestWithParam<Generator> {};

TEST_P(CmakePackage, ConsumerRebuildsWhatChangedAndShowsWarnings) {
  REQUIRE_TOOL("cmake");
  REQUIRE_TOOL(GetParam().tool);
  ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string prefix = dir.file("prefix");
  const std::string src = dir.file("src");
  const std::string bin = dir.file("build");
  ASSERT_EQ(run_shell("cmake --install " + quoted(build_dir()) + " --prefix " + quoted(prefix) +
                      " >/dev/null 2>&1").status, 0);
  ASSERT_EQ(run_shell("mkdir -p " + quoted(src + "/disk")).status, 0);
  write_file(src + "/CMakeLists.txt", CONSUMER_PROJECT);
  // "～" is typed where the table has "〜": bytequill --verbose warns.
  write_file(src + "/hello.asm", "msg: db $SJIS(\"こんにちは～\"), 0\n");
  write_file(src + "/menu.asm", "menu: db $CJIS(\"はじめから\"), 0\n");
  write_file(src + "/disk/disk.lst", FILE_LIST);
  write_file(src + "/disk/boot.bin", std::string(1024, '\0'));
  write_file(src + "/disk/data.bin", "first");

  std::string configure = "cmake -S " + quoted(src) + " -B " + quoted(bin) + " -G " +
                          quoted(GetParam().name) + " -DCMAKE_PREFIX_PATH=" + quoted(prefix) + " 2>&1";
  RunResult configured = run_shell(configure);
  ASSERT_EQ(configured.status, 0) << configured.output;
  auto build = [&]() { return run_shell("cmake --build " + quoted(bin) + " 2>&1"); };

  RunResult first = build();
  ASSERT_EQ(first.status, 0) << first.output;
  EXPECT_NE(first.output.find("warning: U+FF5E"), std::string::npos) << first.output;
  EXPECT_TRUE(file_exists(bin + "/disk.dcp"));
  EXPECT_NE(read_file(bin + "/disk.map").find("SRC/HELLO.S"), std::string::npos);

  RunResult again = build();
  EXPECT_EQ(again.output.find("diskmason "), std::string::npos) << again.output;
  EXPECT_EQ(again.output.find("bytequill "), std::string::npos) << again.output;

  // A data file changes: the disk is rebuilt, the converted sources are not.
  write_file(src + "/disk/data.bin", "second, longer");
  RunResult touched = build();
  EXPECT_NE(touched.output.find("diskmason "), std::string::npos) << touched.output;
  EXPECT_EQ(touched.output.find("bytequill "), std::string::npos) << touched.output;
  EXPECT_NE(read_file(bin + "/disk.dcp").find("second, longer"), std::string::npos);
  const std::string raw = read_file(bin + "/disk.img");  // FORMAT raw: exactly the disk's 1232 sectors
  EXPECT_EQ(raw.size(), 1232u * 1024);
  EXPECT_NE(raw.find("second, longer"), std::string::npos);
  RunResult settled = build();
  EXPECT_EQ(settled.output.find("diskmason "), std::string::npos) << settled.output;

  // A source changes: its conversion and the disk are rebuilt.
  write_file(src + "/hello.asm", "msg: db $SJIS(\"さようなら\"), 0\n");
  RunResult edited = build();
  EXPECT_NE(edited.output.find("bytequill "), std::string::npos) << edited.output;
  EXPECT_EQ(edited.output.find("glyphmint "), std::string::npos) << edited.output;
  EXPECT_NE(edited.output.find("diskmason "), std::string::npos) << edited.output;
}

INSTANTIATE_TEST_SUITE_P(Generators, CmakePackage,
                         ::testing::Values(Generator{"Ninja", "ninja"}, Generator{"Unix Makefiles", "make"}),
                         [](const ::testing::TestParamInfo<Generator>& info) {
                           return std::string(info.param.tool);
                         });

}  // namespace
