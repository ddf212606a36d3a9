// diskquarry --check through its executable: every disk diskmason writes
// without a warning checks clean, in each format; damaged copies of a small
// raw disk each bring the finding of their fault, and where fsck.fat is
// installed it finds a fault in exactly those that bring an error; an image
// of mkfs.fat and mcopy checks clean.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

RunResult quarry(const std::string& folder, const std::vector<std::string>& args) {
  return run_program_in(folder, program_path("diskquarry"), args);
}

RunResult mason(const std::string& folder, const std::vector<std::string>& args) {
  return run_program_in(folder, program_path("diskmason"), args);
}

unsigned field(const std::string& image, std::size_t at, int width) {
  unsigned value = 0;
  for (int i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(image[at + i]);
  return value;
}

void set_field(std::string& image, std::size_t at, int width, unsigned value) {
  for (int i = 0; i < width; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
}

// Writes the disk as IMAGE in the format; false when diskmason refused or
// warned (--strict). A raw image is made from the padded DCP image where
// diskmason does not write raw images itself. Skips when the format is none
// diskmason writes.
bool write_disk(const std::string& folder, const std::string& format, bool pad, const std::string& image) {
  std::vector<std::string> args{"--strict"};
  if (format != "dcp") args.insert(args.end(), {"--format", format});
  if (pad) args.push_back("--pad");
  args.insert(args.end(), {"disk.lst", image});
  RunResult r = mason(folder, args);
  if (r.status != 2 || format != "raw") return r.status == 0;
  if (mason(folder, {"--strict", "--pad", "disk.lst", image}).status != 0) return false;
  std::string raw = read_file(folder + "/" + image).substr(162);
  raw.resize(std::size_t{field(raw, 11, 2)} * field(raw, 19, 2), '\xE5');
  write_file(folder + "/" + image, raw);
  return true;
}

// A disk of diskmason's: one of three layouts (one at format level 20 with
// a two-sector boot area), nested folders, Japanese names (second bytes 5Ch
// and 7Ch among them), empty files, hidden and system entries.
std::string generate(unsigned seed, const std::string& folder) {
  std::mt19937 random(seed);
  auto pick = [&random](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  static const char* const HEADERS[] = {"0x20 0 30 1024 1 1 2 192 1232 0xFE 2 8 2 0",
                                        "0x30 2 30 512 1 1 2 224 2880 0xF0 9 18 2 0",
                                        "0x10 0 20 512 2 2 2 112 1440 0xF9 3"};
  static const char* const FOLDERS[] = {"docs", "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88", "\xE8\xA1\xA8", "sub"};
  static const char* const NAMES[] = {"readme%u.txt", "\xE3\x83\x9D%u.dat", "\xE8\xA1\xA8%u", "F%u.BIN"};
  static const char* const ATTRIBUTES[] = {"A", "RHS", "H", "-"};
  static const std::size_t SIZES[] = {0, 1, 700, 1024, 5000};
  std::size_t layout = pick(3);
  write_file(folder + "/boot.bin", std::string(layout == 2 ? 1000 : 300, '\x90'));
  std::string list = "boot.bin " + std::string(HEADERS[layout]) + "\n";
  for (unsigned i = 0, files = 1 + static_cast<unsigned>(pick(16)); i < files; ++i) {
    std::string path;
    for (std::size_t depth = pick(3); depth > 0; --depth) path += std::string(FOLDERS[pick(4)]) + "/";
    char name[32];
    std::snprintf(name, sizeof name, NAMES[pick(4)], i);
    write_file(folder + "/h" + std::to_string(i), std::string(SIZES[pick(5)], static_cast<char>(i)));
    list.append("h").append(std::to_string(i)) += " \"" + path + name + "\" 2024-04-01 09:00:00 " + ATTRIBUTES[pick(4)] + "\n";
  }
  return list;
}

TEST(Check, EveryDiskOfDiskmasonChecksClean) {
  int checked = 0;
  for (const char* format : {"dcp", "raw", "d88"}) {
    for (unsigned seed = 1; seed <= 8; ++seed) {
      ScratchDir scratch;
      ASSERT_TRUE(scratch.ok());
      write_file(scratch.file("disk.lst"), generate(seed, scratch.path()));
      if (!write_disk(scratch.path(), format, seed % 2 == 0, "disk.img")) continue;
      RunResult r = quarry(scratch.path(), {"--check", "disk.img"});
      EXPECT_EQ(r.status, 0) << format << " seed " << seed << "\n" << r.output << r.error;
      EXPECT_EQ(r.output + r.error, "") << format << " seed " << seed << "\n" << read_file(scratch.file("disk.lst"));
      ++checked;
    }
  }
  EXPECT_GE(checked, 12) << "too few generated disks were written without a warning";
}

// --- Damaged copies of one small raw disk ----------------------------------------

// Where the parts of the raw disk lie, from its boot sector.
struct Layout {
  std::size_t sector, fat, fatBytes, root, data, cluster;
};

Layout layout_of(const std::string& image) {
  Layout l{};
  l.sector = field(image, 11, 2);
  l.fat = l.sector * field(image, 14, 2);
  l.fatBytes = l.sector * field(image, 22, 2);
  l.root = l.fat + l.fatBytes * static_cast<unsigned char>(image[16]);
  l.data = l.root + 32 * field(image, 17, 2);
  l.cluster = l.sector * static_cast<unsigned char>(image[13]);
  return l;
}

// Sets entry n in the given FAT copies (bit 0: the first, bit 1: the second).
void set_fat_entry(std::string& image, unsigned n, unsigned value, unsigned copies = 3) {
  Layout l = layout_of(image);
  for (unsigned copy = 0; copy < 2; ++copy) {
    if ((copies >> copy & 1) == 0) continue;
    std::size_t at = l.fat + copy * l.fatBytes + n / 2 * 3;
    unsigned pair = field(image, at, 3);
    pair = n % 2 == 0 ? (pair & 0xFFF000) | value : (pair & 0xFFF) | value << 12;
    set_field(image, at, 3, pair);
  }
}

// The slot of an 11-byte stored name in the root or in a folder's cluster.
std::size_t slot_of(const std::string& image, const char* name, std::size_t from = 0) {
  return image.find(std::string(name, 11), from == 0 ? layout_of(image).root : from);
}

unsigned start_of(const std::string& image, const char* name) { return field(image, slot_of(image, name) + 26, 2); }

std::size_t cluster_at(const std::string& image, unsigned cluster) {
  Layout l = layout_of(image);
  return l.data + (cluster - 2) * l.cluster;
}

struct Damage {
  const char* what;
  void (*edit)(std::string& image);
  bool error;           // else a warning
  const char* finding;  // part of its text
};

const Damage DAMAGES[] = {
    {"second FAT copy differs", [](std::string& i) { set_fat_entry(i, start_of(i, "B       BIN"), 0, 2); }, true,
     "FAT copy 2 differs from copy 1"},
    {"chain loops",
     [](std::string& i) {
       unsigned start = start_of(i, "B       BIN");
       set_fat_entry(i, start + 2, start);
     },
     true, "the chain loops"},
    {"two files share a cluster",
     [](std::string& i) { set_field(i, slot_of(i, "A       TXT") + 26, 2, start_of(i, "B       BIN") + 1); }, true,
     "shares cluster"},
    {"size longer than the chain", [](std::string& i) { set_field(i, slot_of(i, "B       BIN") + 28, 4, 9000); }, true,
     "9000 bytes take 9 clusters, but its chain has 3"},
    {"chain longer than the size", [](std::string& i) { set_field(i, slot_of(i, "B       BIN") + 28, 4, 100); }, true,
     "100 bytes take 1 cluster, but its chain has 3"},
    {"lost cluster", [](std::string& i) { set_fat_entry(i, 300, 0xFFF); }, true,
     "cluster 300 is marked used, but no entry reaches it"},
    {"wrong media byte in the FAT", [](std::string& i) { set_fat_entry(i, 0, 0xFF0); }, false, "FAT entry 0 is FF0h"},
    {"subfolder without '..'", [](std::string& i) { i[cluster_at(i, start_of(i, "SUB        ")) + 32] = '\xE5'; }, true,
     "SUB/: no '..' entry"},
    {"folder pointing back to an ancestor",
     [](std::string& i) {
       unsigned sub = start_of(i, "SUB        ");
       set_field(i, slot_of(i, "DEEP       ", cluster_at(i, sub)) + 26, 2, sub);
     },
     true, "SUB/DEEP/: its cluster"},
    {"forbidden byte in a name", [](std::string& i) { i[slot_of(i, "A       TXT") + 1] = '*'; }, true,
     "the name holds the byte 2Ah"},
    {"0 sectors per cluster", [](std::string& i) { i[13] = 0; }, true, "0 sectors per cluster"},
    {"truncated image", [](std::string& i) { i.resize(cluster_at(i, start_of(i, "B       BIN")) + 100); }, true,
     "the image holds"},
};

class Damaged : public ::testing::Test {
 protected:
  // A 720 KB disk whose boot area fsck.fat takes as it is.
  void SetUp() override {
    ASSERT_TRUE(scratch_.ok());
    std::string boot(512, '\0');
    boot.replace(0, 11, "\xEB\x3C\x90MASON1.0");
    boot.replace(38, 24, "\x29\x12\x34\x56\x78NO NAME    FAT12   ");
    boot.replace(510, 2, "\x55\xAA");
    write_file(scratch_.file("boot.bin"), boot);
    write_file(scratch_.file("a"), std::string(100, 'a'));
    write_file(scratch_.file("b"), std::string(3000, 'b'));
    write_file(scratch_.file("disk.lst"),
               "boot.bin 0x20 0 30 512 2 1 2 112 1440 0xF9 3 9 2 0\n"
               "a A.TXT 2024-04-01 09:00:00 A\nb B.BIN 2024-04-01 09:00:00 A\n"
               "a SUB/C.TXT 2024-04-01 09:00:00 A\nb SUB/DEEP/D.BIN 2024-04-01 09:00:00 A\n");
    ASSERT_TRUE(write_disk(scratch_.path(), "raw", true, "clean.img"));
    clean_ = read_file(scratch_.file("clean.img"));
  }

  void write_damaged(const Damage& d) {
    std::string image = clean_;
    d.edit(image);
    ASSERT_NE(image, clean_) << d.what;
    write_file(scratch_.file("disk.img"), image);
  }

  ScratchDir scratch_;
  std::string clean_;
};

TEST_F(Damaged, EachFaultBringsItsFinding) {
  RunResult clean = quarry(scratch_.path(), {"--check", "clean.img"});
  EXPECT_EQ(clean.status, 0) << clean.output;
  EXPECT_EQ(clean.output, "");
  for (const Damage& d : DAMAGES) {
    write_damaged(d);
    RunResult r = quarry(scratch_.path(), {"--check", "disk.img"});
    std::string kind = std::string("disk.img: ") + (d.error ? "error: " : "warning: ");
    bool found = false;
    for (std::size_t at = r.output.find(kind); at != std::string::npos; at = r.output.find(kind, at + 1)) {
      found = found || r.output.substr(at, r.output.find('\n', at) - at).find(d.finding) != std::string::npos;
    }
    EXPECT_TRUE(found) << d.what << ": no " << kind << "..." << d.finding << " in\n" << r.output;
    EXPECT_EQ(r.status, d.error ? 1 : 0) << d.what << "\n" << r.output;
    if (!d.error) {
      EXPECT_EQ(quarry(scratch_.path(), {"--strict", "--check", "disk.img"}).status, 1) << d.what;
    }
  }
}

TEST_F(Damaged, FsckFatFindsAFaultExactlyWhereCheckFindsAnError) {
  REQUIRE_TOOL("fsck.fat");
  EXPECT_EQ(run_shell("fsck.fat -n '" + scratch_.file("clean.img") + "' >/dev/null 2>&1").status, 0);
  for (const Damage& d : DAMAGES) {
    write_damaged(d);
    bool fault = run_shell("fsck.fat -n '" + scratch_.file("disk.img") + "' >/dev/null 2>&1").status != 0;
    RunResult r = quarry(scratch_.path(), {"--check", "disk.img"});
    EXPECT_EQ(fault, r.output.find(": error: ") != std::string::npos) << d.what << "\n" << r.output;
  }
}

TEST(Check, ImageOfMkfsFatAndMcopyChecksClean) {
  REQUIRE_TOOL("mkfs.fat");
  REQUIRE_TOOL("mcopy");
  ScratchDir scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_EQ(run_shell("mkdir -p '" + scratch.file("src/DOCS/DEEP") + "'").status, 0);
  write_file(scratch.file("src/README.TXT"), "read me\r\n");
  write_file(scratch.file("src/A long name.text"), std::string(3000, 'l'));
  write_file(scratch.file("src/EMPTY.DAT"), "");
  write_file(scratch.file("src/DOCS/DEEP/DATA.BIN"), std::string(30000, '\x01'));
  ASSERT_EQ(run_shell("cd '" + scratch.path() +
                      "' && mkfs.fat -C disk.img 1440 >/dev/null && "
                      "MTOOLS_SKIP_CHECK=1 mcopy -s -i disk.img src/* ::")
                .status,
            0);
  RunResult r = quarry(scratch.path(), {"--check", "disk.img"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output + r.error, "");
}

}  // namespace
