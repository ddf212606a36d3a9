// diskmason's extra outputs through its executable: the dependency file that
// make reads, and the layout map checked against the image it describes.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.push_back("");
  return parts;
}

class Outputs : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(scratch_.ok()); }

  RunResult shell(const std::string& command) { return run_shell("cd '" + scratch_.path() + "' && " + command); }

  // Runs diskmason in the scratch folder, so lists name files relatively.
  RunResult pack(const std::vector<std::string>& args) {
    return run_program_in(scratch_.path(), program_path("diskmason"), args);
  }

  // The list of DepfileNamesEveryInputByItsFullPath: relative and absolute
  // names, with a space, "#" and "$" in them.
  void write_depfile_inputs() {
    write_file(scratch_.file("boot.bin"), std::string(1024, '\0'));
    write_file(scratch_.file("my file.bin"), "space");
    write_file(scratch_.file("a#b.bin"), "hash");
    write_file(scratch_.file("c$d.bin"), "dollar");
    write_file(scratch_.file("disk.lst"),
               "boot.bin 0x20 0 30 1024 1 1 2 192 1232 0xFE 2 8 2 0\n"
               "\"my file.bin\" SPACE.BIN 2024-1-1 0:0:0 A\n"
               "a#b.bin HASH.BIN 2024-1-1 0:0:0 A\n" +
                   scratch_.path() + "/c$d.bin DOLLAR.BIN 2024-1-1 0:0:0 A\n");
  }

  // Quoted for the shell; built by appending, as GCC 12 at -O3 warns wrongly
  // about "literal" + std::string temporaries.
  std::string diskmason() const {
    std::string quoted(1, '\'');
    quoted += program_path("diskmason");
    quoted += '\'';
    return quoted;
  }

  ScratchDir scratch_;
};

// Absolute paths as the host writes them: on Windows with the drive and
// backslashes.
TEST_F(Outputs, DepfileNamesEveryInputByItsFullPath) {
  write_depfile_inputs();
  ASSERT_EQ(pack({"--depfile", "disk.d", "disk.lst", "disk.dcp"}).status, 0);
  std::string dir = scratch_.path();
#if defined(_WIN32)
  std::replace(dir.begin(), dir.end(), '/', '\\');
  const std::string sep = "\\";
#else
  const std::string sep = "/";
#endif
  EXPECT_EQ(read_file(scratch_.file("disk.d")),
            "disk.dcp: \\\n  " + dir + sep + "disk.lst \\\n  " + dir + sep + "boot.bin \\\n  " + dir + sep +
                "my\\ file.bin \\\n  " + dir + sep + "a\\#b.bin \\\n  " + dir + sep + "c$$d.bin\n");

  // A failed run writes none.
  std::filesystem::remove(scratch_.file("disk.d"));
  write_file(scratch_.file("bad.lst"), "boot.bin 1 2 3\n");
  EXPECT_EQ(pack({"--depfile", "disk.d", "bad.lst", "bad.dcp"}).status, 1);
  EXPECT_FALSE(file_exists(scratch_.file("disk.d")));
}

TEST_F(Outputs, MakeRebuildsWhatTheDepfileNames) {
  REQUIRE_TOOL("make");
  write_depfile_inputs();
  write_file(scratch_.file("Makefile"), "disk.dcp: disk.lst\n\t" + diskmason() +
                                            " --depfile disk.d disk.lst disk.dcp\n-include disk.d\n");
  RunResult r = shell("make 2>&1");
  ASSERT_EQ(r.status, 0) << r.output;
  // Everything dated in the past, the image last: up to date. Then a host
  // file touched now makes the image out of date, once.
  ASSERT_EQ(shell("now=$(date +%s) && touch -d @$((now - 100)) * && touch -d @$((now - 50)) disk.dcp").status, 0);
  EXPECT_EQ(shell("make -q").status, 0);
  ASSERT_EQ(shell("touch 'c$d.bin'").status, 0);
  EXPECT_EQ(shell("make -q").status, 1);
  ASSERT_EQ(shell("make 2>&1").status, 0);
  EXPECT_EQ(shell("make -q").status, 0);
}

// A disk with nested folders, Japanese names and a fixed file, its map read
// back against the image.
TEST_F(Outputs, MapDescribesTheImage) {
  struct Host {
    std::string name;
    std::string imagePath;
    std::string bytes;
    std::string shortName;
  } hosts[] = {
      {"a", "README.TXT", "readme", "README.TXT"},
      {"b", "src/deep/er/main.asm", std::string(3000, 'm'), "MAIN.ASM"},
      {"c", "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF/\xE8\xAA\xAC\xE6\x98\x8E.txt", "japanese",
       "\xE8\xAA\xAC\xE6\x98\x8E.TXT"},  // データ/説明.txt
      {"d", "LOADER.SYS", "loader", "LOADER.SYS"},
  };
  write_file(scratch_.file("boot.bin"), std::string(1024, '\0'));
  std::string list = "boot.bin 0x20 0 30 1024 1 1 2 192 1232 0xFE 2 8 2 0\n";
  for (const Host& h : hosts) {
    write_file(scratch_.file(h.name), h.bytes);
    list += h.name + " \"" + h.imagePath + "\" 2024-1-1 0:0:0 A" + (h.name == "d" ? " 40\n" : "\n");
  }
  write_file(scratch_.file("disk.lst"), list);
  RunResult r = pack({"--map", "-", "disk.lst", "disk.dcp"});
  ASSERT_EQ(r.status, 0) << r.output;
  std::string image = read_file(scratch_.file("disk.dcp"));
  std::vector<std::string> lines = split(r.output, '\n');
  ASSERT_GT(lines.size(), 5u);
  EXPECT_EQ(lines[0], "kind\tpath\tshort_name\tattributes\tsize\tstart_cluster\tclusters\tfirst_sector\t"
                      "cylinder\thead\tsector\timage_offset");
  std::vector<std::pair<std::uint64_t, std::uint64_t>> runs;  // start cluster, clusters
  std::vector<std::string> kinds;
  int filesSeen = 0;
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
    std::vector<std::string> f = split(lines[i], '\t');
    ASSERT_EQ(f.size(), 12u) << lines[i];
    kinds.push_back(f[0]);
    std::uint64_t sector = std::stoull(f[7]);
    std::uint64_t offset = std::stoull(f[11]);
    EXPECT_EQ(offset, 162 + sector * 1024) << lines[i];
    EXPECT_EQ((std::stoull(f[8]) * 2 + std::stoull(f[9])) * 8 + std::stoull(f[10]) - 1, sector) << lines[i];
    if (f[0] == "boot" || f[0] == "fat" || f[0] == "root") {
      EXPECT_EQ(f[1] + f[2] + f[3] + f[5] + f[6], "") << lines[i];
      continue;
    }
    runs.emplace_back(std::stoull(f[5]), std::stoull(f[6]));
    EXPECT_EQ(sector, 11 + (runs.back().first - 2)) << lines[i];
    if (f[0] != "file") continue;
    for (const Host& h : hosts) {
      if (h.imagePath != f[1]) continue;
      ++filesSeen;
      EXPECT_EQ(f[2], h.shortName);
      EXPECT_EQ(f[4], std::to_string(h.bytes.size()));
      EXPECT_EQ(image.substr(offset, h.bytes.size()), h.bytes) << f[1];
    }
  }
  EXPECT_EQ(filesSeen, 4);
  EXPECT_EQ(std::vector<std::string>(kinds.begin(), kinds.begin() + 4),
            (std::vector<std::string>{"boot", "fat", "fat", "root"}));
  // Used and free runs tile the data area, cluster 2 to the last within 1232 sectors.
  std::uint64_t next = 2;
  for (const auto& run : runs) {
    EXPECT_EQ(run.first, next);
    next = run.first + run.second;
  }
  EXPECT_EQ(next, 1223u);
}

}  // namespace
