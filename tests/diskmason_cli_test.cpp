// diskmason through its executable: image layout to the byte, the messages
// and exit statuses, the refusals, and real FAT12 clients reading the disks.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

// 1.2 MB geometry with 1024-byte sectors: R = 6, FAT copies of 2 sectors.
const char* const GEOMETRY_1024 = "0x20 0 30 1024 1 1 2 192 1232 0xFE 2 8 2 0";
// Cluster k of a 1024 disk with a one-sector boot area.
std::size_t cluster_1024(std::uint32_t k) { return 11426 + std::size_t{k - 2} * 1024; }

unsigned byte_at(const std::string& s, std::size_t at) {
  return static_cast<std::uint8_t>(s.at(at));
}

unsigned le16_at(const std::string& s, std::size_t at) {
  return byte_at(s, at) | byte_at(s, at + 1) << 8;
}

// 12-bit FAT entry n of the packed table starting at `fat`.
unsigned fat_entry(const std::string& image, std::size_t fat, std::uint32_t n) {
  std::size_t at = fat + n / 2 * 3;
  unsigned pair = byte_at(image, at) | byte_at(image, at + 1) << 8 | byte_at(image, at + 2) << 16;
  return n % 2 == 0 ? pair & 0xFFF : pair >> 12;
}

// A plausible boot sector: jump, OEM name, a halt loop and the 0x55AA mark.
std::string boot_sector(std::size_t length) {
  std::string boot(length, '\0');
  const char head[] = "\xEB\x3C\x90" "DISKMSON";
  boot.replace(0, 11, head, 11);
  // Extended fields: signature 0x29, serial, label and file system type.
  boot[38] = '\x29';
  boot.replace(39, 4, "\x12\x34\x56\x78");
  boot.replace(43, 19, "NO NAME    FAT12   ");
  boot[62] = '\xEB';
  boot[63] = '\xFE';
  if (length >= 512) {
    boot[510] = '\x55';
    boot[511] = '\xAA';
  }
  return boot;
}

std::string filled(std::size_t length, char byte) { return std::string(length, byte); }

// prefix, n, suffix and a quoted text, built by appending: GCC 12 at -O3
// warns wrongly about "literal" + std::string temporaries.
std::string numbered(const char* prefix, int n, const char* suffix = "") {
  std::string text(prefix);
  text += std::to_string(n);
  text += suffix;
  return text;
}

std::string quoted(const std::string& text) {
  std::string result(1, '"');
  result += text;
  result += '"';
  return result;
}

std::string pattern(std::size_t length, unsigned seed) {
  std::string s(length, '\0');
  for (std::size_t i = 0; i < length; ++i) s[i] = static_cast<char>((i * 7 + seed * 13 + i / 251) & 0xFF);
  return s;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// A folder by UTF-8 path.
bool make_dir(const std::string& path) {
  return std::filesystem::create_directory(std::filesystem::path(std::u8string(path.begin(), path.end())));
}

class Diskmason : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(scratch_.ok()); }

  std::string path(const std::string& name) const { return scratch_.file(name); }
  std::string list_path() const { return path("disk.lst"); }
  std::string image_path() const { return path("disk.dcp"); }

  // Writes a host file and returns its quoted path for a file line.
  std::string host(const std::string& name, const std::string& bytes) {
    write_file(path(name), bytes);
    return quoted(path(name));
  }

  // A file line for host file `name` (created with `bytes`) at `imagePath`.
  std::string line(const std::string& name, const std::string& bytes, const std::string& imagePath,
                   const std::string& extra = "") {
    return host(name, bytes) + " " + imagePath + " 2020-01-15 12:34:56 A" + extra + "\n";
  }

  std::string header(const std::string& geometry, const std::string& boot = boot_sector(1024)) {
    return host("boot.bin", boot) + " " + geometry + "\n";
  }

  RunResult pack(const std::string& list) {
    write_file(list_path(), list);
    unlink(image_path().c_str());
    return run_program(program_path("diskmason"), {list_path(), image_path()});
  }

  std::string image() const { return read_file(image_path()); }

  ScratchDir scratch_;
};

TEST_F(Diskmason, AreasLieAtTheirOffsetsWith1024ByteSectors) {
  RunResult r = pack(header(GEOMETRY_1024) + line("a", "alpha", "A.TXT") + line("b", "bravo", "B.TXT"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "");
  std::string img = image();
  ASSERT_EQ(img.size(), cluster_1024(3) + 1024);
  EXPECT_EQ(img.substr(162, 3), "\xEB\x3C\x90");
  for (std::size_t fat : {1186u, 3234u}) {
    EXPECT_EQ(img.substr(fat, 3), "\xFE\xFF\xFF") << fat;
    EXPECT_EQ(fat_entry(img, fat, 2), 0xFFFu);
    EXPECT_EQ(fat_entry(img, fat, 3), 0xFFFu);
  }
  EXPECT_EQ(img.substr(1186, 2048), img.substr(3234, 2048));
  // Entries sorted by name; B was placed first (descending index).
  EXPECT_EQ(img.substr(5282, 11), "A       TXT");
  EXPECT_EQ(le16_at(img, 5282 + 26), 3u);
  EXPECT_EQ(img.substr(5282 + 32, 11), "B       TXT");
  EXPECT_EQ(le16_at(img, 5282 + 32 + 26), 2u);
  EXPECT_EQ(img.substr(5282 + 22, 4), "\x5C\x64\x2F\x50");
  EXPECT_EQ(img.substr(11426, 1024), "bravo" + filled(1019, '\0'));
  EXPECT_EQ(img.substr(12450, 1024), "alpha" + filled(1019, '\0'));
}

TEST_F(Diskmason, EmptyDiskHasBootFatAndRootOnly) {
  RunResult r = pack(header(GEOMETRY_1024));
  ASSERT_EQ(r.status, 0) << r.output;
  std::string img = image();
  ASSERT_EQ(img.size(), 11426u);
  // S = 2 * 2 + 6 + 2 + 1 = 13 sectors: two tracks of 8.
  EXPECT_EQ(byte_at(img, 0), 0x20u);
  EXPECT_EQ(byte_at(img, 1), 1u);
  EXPECT_EQ(byte_at(img, 2), 1u);
  EXPECT_EQ(img.substr(3, 159), filled(159, '\0'));
  EXPECT_EQ(img.substr(1186, 3), "\xFE\xFF\xFF");
  EXPECT_EQ(img.substr(1189, 2045), filled(2045, '\0'));
  for (std::size_t at = 5282; at < 11426; at += 32) {
    ASSERT_EQ(img.substr(at, 32), '\0' + filled(31, '\xE5')) << at;
  }
}

TEST_F(Diskmason, ClusterContentAndChains) {
  std::string two = pattern(2048, 1);
  RunResult r = pack(header(GEOMETRY_1024) + line("two", two, "TWO.BIN") + line("e", "", "EMPTY.TXT"));
  ASSERT_EQ(r.status, 0) << r.output;
  std::string img = image();
  // EMPTY takes no cluster (start 0, as FAT stores an empty file); TWO takes 2 and 3.
  EXPECT_EQ(img.substr(5282, 11), "EMPTY   TXT");
  EXPECT_EQ(le16_at(img, 5282 + 26), 0u);
  EXPECT_EQ(fat_entry(img, 1186, 2), 3u);
  EXPECT_EQ(fat_entry(img, 1186, 3), 0xFFFu);
  EXPECT_EQ(fat_entry(img, 1186, 4), 0u);
  EXPECT_EQ(img.substr(cluster_1024(2)), two);

  // An empty file the list fixes keeps its cluster of fill, with a warning.
  r = pack(header(GEOMETRY_1024) + line("e", "", "EMPTY.TXT", " 2"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.error.find("the file is empty but fixed at cluster 2"), std::string::npos) << r.error;
  EXPECT_EQ(fat_entry(image(), 1186, 2), 0xFFFu);
  EXPECT_EQ(image().substr(cluster_1024(2)), filled(1024, '\xE5'));

  // A two-cluster file at cluster 2 packs as 03 F0 FF.
  ASSERT_EQ(pack(header(GEOMETRY_1024) + line("two", two, "TWO.BIN")).status, 0);
  EXPECT_EQ(image().substr(1186, 6), "\xFE\xFF\xFF\x03\xF0\xFF");
}

TEST_F(Diskmason, LastClusterIsZeroPaddedToTheSectorThenFilled) {
  const char* twoSectorClusters = "0 0 30 1024 2 1 2 192 1232 0xFE 2 8 2 0";
  std::string exact = pattern(2048, 2);
  RunResult r = pack(header(twoSectorClusters) + line("one", "x", "ONE.BIN") +
                     line("exact", exact, "EXACT.BIN"));
  ASSERT_EQ(r.status, 0) << r.output;
  std::string img = image();
  ASSERT_EQ(img.size(), 11426u + 2 * 2048);
  EXPECT_EQ(img.substr(11426, 2048), exact);
  EXPECT_EQ(img.substr(13474), "x" + filled(1023, '\0') + filled(1024, '\xE5'));
}

TEST_F(Diskmason, BootAreaFollowsTheBootFile) {
  // An empty boot file: one zero sector carrying the parameter fields.
  ASSERT_EQ(pack(header(GEOMETRY_1024, "")).status, 0);
  std::string img = image();
  ASSERT_EQ(img.size(), 11426u);
  std::string boot = img.substr(162, 1024);
  EXPECT_EQ(boot.substr(0, 11), filled(11, '\0'));
  EXPECT_EQ(boot.substr(11, 19),
            std::string("\x00\x04\x01\x01\x00\x02\xC0\x00\xD0\x04\xFE\x02\x00\x08\x00\x02\x00\x00\x00",
                        19));
  EXPECT_EQ(boot.substr(30), filled(994, '\0'));

  // A boot file longer than a cluster is written whole, zero-padded.
  std::string longBoot = pattern(1500, 3);
  ASSERT_EQ(pack(header(GEOMETRY_1024, longBoot)).status, 0);
  img = image();
  ASSERT_EQ(img.size(), 11426u + 1024);
  EXPECT_EQ(img.substr(162, 11), longBoot.substr(0, 11));
  EXPECT_EQ(img.substr(162 + 30, 1470), longBoot.substr(30));
  EXPECT_EQ(img.substr(162 + 1500, 548), filled(548, '\0'));
  EXPECT_EQ(img.substr(2210, 3), "\xFE\xFF\xFF");
}

TEST_F(Diskmason, FormatLevelDecidesTheTrackFields) {
  std::string boot = boot_sector(1024);
  boot.replace(24, 6, "\x11\x12\x13\x14\x15\x16");
  const std::string kept = "\x11\x12\x13\x14\x15\x16";
  const std::string defaults("\x08\x00\x02\x00\x00\x00", 6);
  struct Case {
    const char* geometry;
    std::string bytes24to29;
  } cases[] = {
      {"0 0 29 1024 1 1 2 192 1232 0xFE 2 9 1 7", kept},
      {"0 0 20 1024 1 1 2 192 1232 0xFE 2 9 1 7", kept},
      {"0 0 30 1024 1 1 2 192 1232 0xFE 2", defaults},
      {"0 0 33 1024 1 1 2 192 1232 0xFE 2 9 1", defaults},
      {"0 0 30 1024 1 1 2 192 1232 0xFE 2 9 1 7", std::string("\x09\x00\x01\x00\x07\x00", 6)},
      {"0 0 30 1024 1 1 2 192 1232 0xFE 2 9 1 7 99 98 junk", std::string("\x09\x00\x01\x00\x07\x00", 6)},
  };
  for (const Case& c : cases) {
    RunResult r = pack(header(c.geometry, boot));
    ASSERT_EQ(r.status, 0) << c.geometry << r.output;
    EXPECT_EQ(image().substr(162 + 24, 6), c.bytes24to29) << c.geometry;
  }
}

TEST_F(Diskmason, FixedStartClusters) {
  // Fixed at 0 and 1: neither a chain nor data.
  RunResult r = pack(header(GEOMETRY_1024) + line("z", "zero", "ZERO.TXT", " 0") +
                     line("o", "one", "ONE.TXT", " 1"));
  ASSERT_EQ(r.status, 0) << r.output;
  std::string img = image();
  EXPECT_EQ(img.size(), 11426u);
  EXPECT_EQ(img.substr(1186, 6), std::string("\xFE\xFF\xFF\x00\x00\x00", 6));

  // Two runs fixed at 5: the first collected is written, the second only chained.
  r = pack(header(GEOMETRY_1024) + line("a", "first", "A.TXT", " 5") +
           line("b", pattern(1500, 4), "B.TXT", " 5"));
  ASSERT_EQ(r.status, 0) << r.output;
  img = image();
  ASSERT_EQ(img.size(), cluster_1024(6));
  EXPECT_EQ(img.substr(cluster_1024(2), 3 * 1024), filled(3 * 1024, '\xE5'));
  EXPECT_EQ(img.substr(cluster_1024(5), 5), "first");
  EXPECT_EQ(fat_entry(img, 1186, 5), 6u);
  EXPECT_EQ(fat_entry(img, 1186, 6), 0xFFFu);

  // Fixed beyond the last placed cluster: fill up to it, then its data.
  r = pack(header(GEOMETRY_1024) + line("p", "placed", "P.TXT") + line("f", "far", "F.TXT", " 0Ah 7th-field"));
  ASSERT_EQ(r.status, 0) << r.output;
  img = image();
  ASSERT_EQ(img.size(), cluster_1024(11));
  EXPECT_EQ(img.substr(cluster_1024(2), 6), "placed");
  EXPECT_EQ(img.substr(cluster_1024(3), 7 * 1024), filled(7 * 1024, '\xE5'));
  EXPECT_EQ(img.substr(cluster_1024(10), 3), "far");
  // Only the placed data counts for the tracks: S = 4 + 6 + 3 + 1 = 14.
  EXPECT_EQ(img.substr(1, 3), std::string("\x01\x01\x00", 3));
}

// The run reads on and reports every file missing, then fails without an image.
TEST_F(Diskmason, MissingHostFilesFailTheRun) {
  std::string list = header(GEOMETRY_1024) + "\"" + path("nothere") + "\" GONE.TXT 2020-1-1 0:0:0 A\n" +
                     line("k", "kept", "KEPT.TXT") + "\"" + path("gone2") + "\" GONE2.TXT 2020-1-1 0:0:0 A\n";
  RunResult r = pack(list);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "DISKMASON in file list " + list_path() + ": file " + path("nothere") +
                          " could not be opened\nDISKMASON in file list " + list_path() + ": file " +
                          path("gone2") + " could not be opened\n");
  EXPECT_NE(r.error.find(list_path() + ":2:2: error: cannot open host file '" + path("nothere") +
                         "': No such file or directory"),
            std::string::npos)
      << r.error;
  EXPECT_FALSE(exists(image_path()));
}

TEST_F(Diskmason, HostPathsThatAreNoRegularFilesAreLeftOut) {
  ASSERT_TRUE(make_dir(path("folder")));
  std::vector<std::string> paths = {path("folder")};
#if !defined(_WIN32)
  // A FIFO without a writer must not hold the run up.
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0644), 0);
  paths.push_back(path("fifo"));
  if (exists("/dev/null")) paths.push_back("/dev/null");
#endif
  for (const std::string& hostPath : paths) {
    RunResult r = pack(header(GEOMETRY_1024) + quoted(hostPath) + " X.BIN 2020-1-1 0:0:0 A\n");
    EXPECT_EQ(r.status, 1) << hostPath;
    EXPECT_EQ(r.output, "DISKMASON in file list " + list_path() + ": file " + hostPath +
                            " could not be opened\n");
    EXPECT_FALSE(exists(image_path())) << hostPath;
  }
}

TEST_F(Diskmason, AnOlderImageIsReplacedWhole) {
  std::string list = header(GEOMETRY_1024) + line("a", pattern(3000, 1), "A.BIN");
  ASSERT_EQ(pack(list).status, 0);
  const std::string fresh = image();
  for (std::size_t older : {std::size_t{0}, fresh.size() / 2, fresh.size() * 3}) {
    write_file(image_path(), filled(older, 'o'));
    RunResult r = run_program(program_path("diskmason"), {list_path(), image_path()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(image(), fresh) << older;
  }
}

TEST_F(Diskmason, ShortLinesAreSkippedAndDuplicatePathsFail) {
  RunResult r = pack(header(GEOMETRY_1024) + "\n  \t\na b c d\n" + line("a", "a", "A.TXT"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "");

  r = pack(header(GEOMETRY_1024) + line("a", "a", "DIR/A.TXT") + line("b", "b", "DIR/A.TXT"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "");
  EXPECT_FALSE(exists(image_path()));
}

TEST_F(Diskmason, MoreThan160TracksIsRefused) {
  const char* geometry512 = "0 0 30 512 1 1 2 224 2880 0xF0 9 8 2 0";
  // R = 14, N = 2 + 1300: S = 18 + 14 + 1302 + 1.
  RunResult r = pack(header(geometry512, boot_sector(512)) + line("big", filled(1300 * 512, 'b'), "BIG.BIN"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "File list " + list_path() +
                          " has too much data for the DCP format (1335 sectors vs 1280 max with 160 "
                          "tracks).\n");
  EXPECT_FALSE(exists(image_path()));

  r = pack(header("0 170 30 512 1 1 2 224 2880 0xF0 9 8 2 0", boot_sector(512)));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "File list " + list_path() +
                          " has too much data for the DCP format (35 sectors vs 1280 max with 160 "
                          "tracks).\n");

  // Field 2 of 40 and data for 50 tracks: 50 tracks are present.
  r = pack(header("0 40 30 512 1 1 2 224 2880 0xF0 9 8 2 0", boot_sector(512)) +
           line("mid", filled(365 * 512, 'm'), "MID.BIN"));
  ASSERT_EQ(r.status, 0) << r.output;
  std::string img = image();
  EXPECT_EQ(img.substr(1, 50), filled(50, '\x01'));
  EXPECT_EQ(img.substr(51, 111), filled(111, '\0'));
}

TEST_F(Diskmason, SectorsPerFatKeepsItsLowByte) {
  RunResult r = pack(header("0 0 30 1024 1 1 2 192 1232 0xFE 300 8 2 0"));
  ASSERT_EQ(r.status, 0) << r.output;
  std::string img = image();
  EXPECT_EQ(le16_at(img, 162 + 22), 44u);
  ASSERT_EQ(img.size(), 162u + 1024 + 88 * 1024 + 6 * 1024);
  EXPECT_EQ(img.substr(1186 + 44 * 1024, 3), "\xFE\xFF\xFF");
}

// Every number that does not decode is reported; the run then fails without an image.
TEST_F(Diskmason, BadNumbersFailTheRun) {
  RunResult r = pack(header("0 0 30 1024 1 1 2 192 1232 FE 2 8 2 0") + line("a", "a", "A.TXT", " 1F"));
  EXPECT_EQ(r.output, "Bad number to decode FE\nBad number to decode 1F\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.error.find(list_path() + ":2:"), std::string::npos) << r.error;
  EXPECT_FALSE(exists(image_path()));
}

TEST_F(Diskmason, ByteOrderMarkIsSkippedWithAWarning) {
  host("boot.bin", boot_sector(1024));
  std::string list = "\xEF\xBB\xBF" + quoted(path("boot.bin")) + " " + GEOMETRY_1024 + "\n";
  RunResult r = pack(list);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "");
  EXPECT_NE(r.error.find(list_path() + ":1:1: warning: the file list starts with a UTF-8 byte-order mark"),
            std::string::npos)
      << r.error;
  EXPECT_TRUE(exists(image_path()));
}

TEST_F(Diskmason, CommandLineAndHeaderFailuresAreSilent) {
  RunResult r = run_program(program_path("diskmason"), {list_path()});
  EXPECT_EQ(r.status, 1);
  r = run_program(program_path("diskmason"), {path("no.lst"), image_path()});
  EXPECT_EQ(r.status, 1);
  for (const std::string& list : {std::string(""), header("0 0 30 1024 1 1 2 192 1232 0xFE")}) {
    r = pack(list);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "");
  }
  r = pack("\"" + path("noboot") + "\" " + GEOMETRY_1024 + "\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "");
  EXPECT_FALSE(exists(image_path()));
}

// --- Refusals of unusable input ---------------------------------------------

TEST_F(Diskmason, UnusableSizesAreRefusedBeforeAnyDivision) {
  struct Case {
    const char* geometry;
    const char* message;
  } cases[] = {
      {"0 0 30 0 1 1 2 192 1232 0xFE 2 8 2 0", "the header gives 0 bytes per sector"},
      {"0 0 30 65536 1 1 2 192 1232 0xFE 2 8 2 0", "the header gives 0 bytes per sector"},
      {"0 0 30 1024 256 1 2 192 1232 0xFE 2 8 2 0", "the header gives 0 sectors per cluster"},
      {"0 0 30 1024 1 1 2 192 1232 0xFE 2 0 2 0", "the header gives 0 sectors per track"},
      {"0 0 30 1000 1 1 2 192 1232 0xFE 2 8 2 0", "1000 bytes per sector is not a multiple of 32"},
  };
  for (const Case& c : cases) {
    RunResult r = pack(header(c.geometry) + line("a", "a", "A.TXT"));
    EXPECT_EQ(r.status, 1) << c.geometry;
    EXPECT_EQ(r.output, "DISKMASON in file list " + list_path() + ": " + c.message + "\n");
    EXPECT_FALSE(exists(image_path()));
  }
}

TEST_F(Diskmason, PlacedDataPastTheFatLimitIsRefused) {
  // 255 sectors per track: 4100 clusters fit 160 tracks but not the FAT.
  const char* wide = "0 0 30 512 1 1 2 224 4200 0xF0 12 255 2 0";
  RunResult r = pack(header(wide, boot_sector(512)) + line("big", filled(4100 * 512, 'b'), "BIG.BIN"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "DISKMASON in file list " + list_path() +
                          ": too much data for the FAT (clusters up to 4101 needed vs 4079 max)\n");
  EXPECT_FALSE(exists(image_path()));

  // A run fixed by the list keeps its data without a chain.
  r = pack(header(wide, boot_sector(512)) + line("far", filled(200 * 512, 'f'), "FAR.BIN", " 4000"));
  ASSERT_EQ(r.status, 0) << r.output;
  std::string img = image();
  std::size_t data = 162 + 512 + 24 * 512 + 14 * 512;
  EXPECT_EQ(img.size(), data + (4000 - 2 + 200) * 512u);
  EXPECT_EQ(fat_entry(img, 162 + 512, 4000), 0u);
}

TEST_F(Diskmason, RootDirectoryMustFitItsSectors) {
  const char* smallRoot = "0 0 30 512 1 1 2 16 2880 0xF0 9 8 2 0";
  std::string list = header(smallRoot, boot_sector(512));
  for (int i = 0; i < 15; ++i) list += line(numbered("f", i), "x", numbered("F", i, ".TXT"));
  RunResult r = pack(list);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(image().substr(162 + 512 + 18 * 512 + 15 * 32, 2), std::string("\0\xE5", 2));

  r = pack(list + line("last", "x", "LAST.TXT"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "DISKMASON in file list " + list_path() +
                          ": too many entries in the root directory (16 vs 15 max)\n");
  EXPECT_FALSE(exists(image_path()));

  // No root entries at all: not even the end marker has room.
  r = pack(header("0 0 30 512 1 1 2 0 2880 0xF0 9 8 2 0", boot_sector(512)));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "DISKMASON in file list " + list_path() +
                          ": the header gives 0 root directory entries\n");
  EXPECT_FALSE(exists(image_path()));
}

TEST_F(Diskmason, EqualShortNamesAreRefused) {
  RunResult r = pack(header(GEOMETRY_1024) + line("one", "1", "Docs/LongName1.txt") +
                     line("two", "2", "Docs/LongName2.txt"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "DISKMASON in file list " + list_path() +
                          ": Docs/LongName1.txt and Docs/LongName2.txt have the same short name on "
                          "the disk\n");
  EXPECT_FALSE(exists(image_path()));

  r = pack(header(GEOMETRY_1024) + line("one", "1", "LONGDIRECTORY1/A.TXT") +
           line("two", "2", "LONGDIRECTORY2/B/C.TXT"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "DISKMASON in file list " + list_path() +
                          ": LONGDIRECTORY1 and LONGDIRECTORY2 have the same short name on the disk\n");
}

// Inputs are told by the file, whatever the spelling of the image's name.
TEST_F(Diskmason, ImageMustNotOverwriteItsInputs) {
  std::string list = header(GEOMETRY_1024) + line("a", "keep me", "A.TXT");
  write_file(list_path(), list);
  ASSERT_TRUE(make_dir(path("sub")));
  struct Case {
    std::string image;
    std::string named;
  };
  std::vector<Case> cases = {
      {list_path(), list_path()},
      {path("boot.bin"), path("boot.bin")},
      {path("./a"), path("a")},
      {path("sub/../disk.lst"), list_path()},
  };
#if defined(_WIN32)
  // Names that differ in letter case or in their separators name one file.
  std::string upper = path("BOOT.BIN");
  for (std::size_t i = 0; i < scratch_.path().size(); ++i) upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[i])));
  cases.push_back({upper, path("boot.bin")});
  cases.push_back({path("sub\\..\\a"), path("a")});
#endif
  for (const Case& c : cases) {
    std::string before = read_file(c.image);
    RunResult r = run_program(program_path("diskmason"), {list_path(), c.image});
    EXPECT_EQ(r.status, 1) << c.image;
    EXPECT_EQ(r.output, "DISKMASON in file list " + list_path() + ": image " + c.image +
                            " would overwrite " + c.named + "\n");
    EXPECT_EQ(read_file(c.image), before);
  }
}

// Names beyond ASCII: the host file データ/ゲーム.bin (opened by its UTF-16
// name on Windows), and a file list, boot file and image whose names are
// opened as they are.
TEST_F(Diskmason, NamesBeyondAsciiOpen) {
  const std::string data = "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF";
  const std::string game = data + "/\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.bin";
  const std::string missing = path("\xE3\x81\xAA\xE3\x81\x84.bin");                // ない.bin
  const std::string list = path("\xE3\x83\xAA\xE3\x82\xB9\xE3\x83\x88.lst");        // リスト.lst
  const std::string boot = path("\xE3\x83\x96\xE3\x83\xBC\xE3\x83\x88.bin");        // ブート.bin
  const std::string image = path("\xE7\x94\xBB\xE5\x83\x8F.dcp");                    // 画像.dcp
  ASSERT_TRUE(make_dir(path(data)));
  const std::string bytes = pattern(1500, 3);
  write_file(path(game), bytes);
  write_file(boot, boot_sector(1024));
  write_file(list, quoted(boot) + " " + GEOMETRY_1024 + "\n" + quoted(path(game)) + " " + quoted(game) +
                       " 2020-1-1 0:0:0 A\n" + quoted(missing) + " GONE.BIN 2020-1-1 0:0:0 A\n");
  RunResult r = run_program(program_path("diskmason"), {list, image});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "DISKMASON in file list " + list + ": file " + missing + " could not be opened\n");
  EXPECT_FALSE(exists(image));
  write_file(list, quoted(boot) + " " + GEOMETRY_1024 + "\n" + quoted(path(game)) + " " + quoted(game) +
                       " 2020-1-1 0:0:0 A\n");
  r = run_program(program_path("diskmason"), {list, image});
  EXPECT_EQ(r.status, 0) << r.output;
  std::string img = read_file(image);
  ASSERT_EQ(img.size(), cluster_1024(5));
  EXPECT_EQ(img.substr(162, 11), boot_sector(1024).substr(0, 11));
  // The directory データ takes cluster 2, ゲーム.bin clusters 3 and 4.
  EXPECT_EQ(img.substr(cluster_1024(3), bytes.size()), bytes);
}

TEST_F(Diskmason, HostFileThatShrankIsReported) {
  // sysfs files claim 4096 bytes and read fewer.
  const std::string sys = "/sys/kernel/mm/transparent_hugepage/enabled";
  struct stat info;
  if (stat(sys.c_str(), &info) != 0 || info.st_size != 4096) GTEST_SKIP() << "no sysfs file to read";
  RunResult r = pack(header(GEOMETRY_1024) + "\"" + sys + "\" SYS.TXT 2020-1-1 0:0:0 A\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "DISKMASON in file list " + list_path() + ": file " + sys +
                          " became shorter after it was measured\n");
  EXPECT_FALSE(exists(image_path()));
}

// A process allowed few descriptors keeps fewer host files open between
// measuring and copying; the image is the same.
TEST_F(Diskmason, FewDescriptorsGiveTheSameImage) {
  if (!have_posix_shell()) GTEST_SKIP() << "needs a POSIX shell to lower the descriptor limit";
  std::string list = header(GEOMETRY_1024);
  for (int i = 0; i < 60; ++i) list += line(numbered("f", i), pattern(700 + 37 * i, i), numbered("D/F", i, ".BIN"));
  ASSERT_EQ(pack(list).status, 0);
  const std::string expected = image();
  unlink(image_path().c_str());
  RunResult r = run_shell("ulimit -n 16 && '" + program_path("diskmason") + "' '" + list_path() + "' '" +
                          image_path() + "'");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(image() == expected);
}

TEST_F(Diskmason, FailingImageWriteIsReported) {
  if (!exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  write_file(list_path(), header(GEOMETRY_1024) + line("a", "a", "A.TXT"));
  RunResult r = run_program(program_path("diskmason"), {list_path(), "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "DISKMASON in file list " + list_path() + ": image /dev/full could not be written\n");
}

// --- Real FAT12 clients ------------------------------------------------------

struct HostFile {
  std::string imagePath;  // as in the file list (UTF-8)
  std::string shortPath;  // the 8.3 path mtools shows
  std::string bytes;
};

// Nested directories, lower-case names, a Japanese directory and many files.
// None is empty: an empty file keeps one cluster, which fsck.fat would free.
std::vector<HostFile> sample_files() {
  std::vector<HostFile> files = {
      {"README.TXT", "README.TXT", "Read me first.\r\n"},
      {"Tiny.dat", "TINY.DAT", "t"},
      {"docs/guide/chapter1.txt", "DOCS/GUIDE/CHAPTER1.TXT", pattern(1024, 5)},
      {"docs/guide/chapter2.txt", "DOCS/GUIDE/CHAPTER2.TXT", pattern(1025, 6)},
      {"docs/index.htm", "DOCS/INDEX.HTM", pattern(5000, 7)},
      {"data/levels/deep/er/level.bin", "DATA/LEVELS/DEEP/ER/LEVEL.BIN", pattern(30000, 8)},
      // データ/save.dat and データ/説明.txt: Shift-JIS names on the disk.
      {"\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF/save.dat",
       "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF/SAVE.DAT", pattern(777, 9)},
      {"\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF/\xE8\xAA\xAC\xE6\x98\x8E.txt",
       "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF/\xE8\xAA\xAC\xE6\x98\x8E.TXT", pattern(4321, 10)},
  };
  for (int i = 0; i < 150; ++i) {
    std::string name = numbered("f", i, ".bin");
    std::string upper = numbered("F", i, ".BIN");
    files.push_back({"many/" + name, "MANY/" + upper, pattern(static_cast<std::size_t>(1 + i * 37 % 3000), i)});
  }
  for (int i = 0; i < 40; ++i) {
    std::string name = numbered("R", i, ".TXT");
    files.push_back({name, name, pattern(static_cast<std::size_t>(1 + i * 101), 300 + i)});
  }
  return files;
}

class RealClients : public Diskmason {
 protected:
  // Packs the sample with a boot sector whose reservedSectors is its length,
  // then strips the DCP header and pads the volume to totalSectors.
  void build_volume(const std::string& geometry, std::size_t sectorSize, std::size_t totalSectors) {
    std::string list = header(geometry, boot_sector(sectorSize));
    int n = 0;
    for (const HostFile& f : files_) {
      list += line(numbered("h", n++), f.bytes, quoted(f.imagePath));
    }
    RunResult r = pack(list);
    ASSERT_EQ(r.status, 0) << r.output;
    std::string img = image();
    ASSERT_GT(img.size(), 162u);
    std::string volume = img.substr(162);
    ASSERT_LE(volume.size(), sectorSize * totalSectors);
    volume.resize(sectorSize * totalSectors, '\0');
    write_file(volume_path(), volume);
  }

  std::string volume_path() const { return path("volume.img"); }

  void check_with_clients() {
    RunResult fsck = run_shell("fsck.fat -n '" + volume_path() + "' 2>&1");
    EXPECT_EQ(fsck.status, 0) << fsck.output;
    EXPECT_EQ(fsck.output.find("differ"), std::string::npos) << fsck.output;

    // mtools reads the Shift-JIS names with code page 932.
    write_file(path("mtoolsrc"), "DEFAULT_CODEPAGE=932\n");
    std::string env = "LC_ALL=C.UTF-8 MTOOLSRC='" + path("mtoolsrc") + "' MTOOLS_SKIP_CHECK=1 ";
    RunResult listing = run_shell(env + "mdir -/ -b -i '" + volume_path() + "' :: 2>&1");
    ASSERT_EQ(listing.status, 0) << listing.output;
    std::vector<std::string> listed;
    for (std::size_t at = 0, end; (end = listing.output.find('\n', at)) != std::string::npos; at = end + 1) {
      std::string entry = listing.output.substr(at, end - at);
      if (!entry.empty() && entry.back() != '/') listed.push_back(entry);
    }
    std::vector<std::string> expected;
    for (const HostFile& f : files_) expected.push_back("::/" + f.shortPath);
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);

    std::string out = path("out.bin");
    for (const HostFile& f : files_) {
      RunResult copy = run_shell(env + "mcopy -n -o -i '" + volume_path() + "' '::" + f.shortPath +
                                 "' '" + out + "' 2>&1");
      ASSERT_EQ(copy.status, 0) << f.shortPath << copy.output;
      EXPECT_EQ(read_file(out), f.bytes) << f.shortPath;
    }
  }

  std::vector<HostFile> files_ = sample_files();
};

TEST_F(RealClients, HighDensityDiskWith1024ByteSectors) {
  REQUIRE_TOOL("fsck.fat");
  REQUIRE_TOOL("mcopy");
  build_volume("0x20 0 30 1024 1 1 2 192 1232 0xFE 2 8 2 0", 1024, 1232);
  check_with_clients();
}

TEST_F(RealClients, DiskWith512ByteSectorsAndTwoSectorClusters) {
  REQUIRE_TOOL("fsck.fat");
  REQUIRE_TOOL("mcopy");
  build_volume("0 0 30 512 2 1 2 224 2880 0xF0 9 18 2 0", 512, 2880);
  check_with_clients();
}

}  // namespace
