// diskmason's raw and D88 images: their layouts against the DCP image of the
// same disk, the refusals that name the format, the map's offsets, every
// format read back by the image reader (D88 sectors by their recorded
// numbers, damaged files without harm), and an emulator's own reader
// (floptool) and fsck.fat as outside clients.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "diskmason/container/image_reader.h"
#include "tests/test_support.h"

namespace {

// 320 KB 2D disk: 512-byte sectors, 8 a track, 2 heads, 40 cylinders.
const char* const GEOMETRY_2D = "0 0 30 512 2 1 2 112 640 0xFF 1 8 2 0";
// 1.2 MB 2HD disk of disk type 20h, which the emulator's DCP reader knows.
const char* const GEOMETRY_2HD = "0x20 0 30 1024 1 1 2 192 1232 0xFE 2 8 2 0";
constexpr std::size_t D88_HEADER = 688;
constexpr std::size_t SECTOR_HEADER = 16;

unsigned byte_at(const std::string& s, std::size_t at) { return static_cast<std::uint8_t>(s.at(at)); }

std::size_t le32_at(const std::string& s, std::size_t at) {
  return byte_at(s, at) | byte_at(s, at + 1) << 8 | byte_at(s, at + 2) << 16 | std::size_t{byte_at(s, at + 3)} << 24;
}

// A boot sector that fsck.fat takes: jump, OEM name, extended fields, 55AAh.
std::string boot_sector(std::size_t length) {
  std::string boot(length, '\0');
  boot.replace(0, 11, "\xEB\x3C\x90" "DISKMSON", 11);
  boot.replace(38, 24, "\x29\x12\x34\x56\x78" "NO NAME    FAT12   ", 24);
  boot[510] = '\x55';
  boot[511] = '\xAA';
  return boot;
}

std::string pattern(std::size_t length, unsigned seed) {
  std::string s(length, '\0');
  for (std::size_t i = 0; i < length; ++i) s[i] = static_cast<char>((i * 7 + seed * 13 + i / 251) & 0xFF);
  return s;
}

std::string text(std::initializer_list<unsigned> bytes) {
  std::string s;
  for (unsigned b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

class Formats : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(scratch_.ok()); }

  std::string path(const std::string& name) const { return scratch_.file(name); }

  // disk.lst: the geometry, a boot sector and three files, two in folders.
  void write_disk(const std::string& geometry, std::size_t sectorSize, const std::string& more = "",
                  std::size_t bootLength = 0) {
    std::string boot = boot_sector(sectorSize);
    boot.resize(std::max(bootLength, sectorSize), '\0');
    write_file(path("boot.bin"), boot);
    write_file(path("a"), pattern(1000, 1));
    write_file(path("b"), pattern(3000, 2));
    write_file(path("c"), "c");
    write_file(path("disk.lst"), "boot.bin " + geometry +
                                     "\na README.TXT 2024-1-1 0:0:0 A\nb src/deep/MAIN.ASM 2024-1-1 0:0:0 A\n"
                                     "c data/TINY.BIN 2024-1-1 0:0:0 A\n" + more);
  }

  RunResult pack(const std::vector<std::string>& args) {
    return run_program_in(scratch_.path(), program_path("diskmason"), args);
  }

  // disk.lst packed as `format` into NAME; its bytes.
  std::string image(const std::string& format, bool pad, const std::string& name = "disk.img") {
    std::vector<std::string> args{"--format", format, "disk.lst", name};
    if (pad) args.insert(args.begin(), "--pad");
    RunResult r = pack(args);
    EXPECT_EQ(r.status, 0) << format << ": " << r.output;
    return read_file(path(name));
  }

  ScratchDir scratch_;
};

TEST_F(Formats, RawAndD88LayoutsOfOneSmallDisk) {
  write_disk(GEOMETRY_2D, 512);
  const std::string dcp = image("dcp", true);
  const std::string raw = image("raw", false);
  const std::string d88 = image("d88", true);
  // raw: exactly the total sectors, the padded DCP image less its header.
  ASSERT_EQ(raw.size(), 640u * 512);
  EXPECT_TRUE(raw == dcp.substr(162));
  EXPECT_TRUE(image("raw", true) == raw);

  ASSERT_EQ(d88.size(), D88_HEADER + 80 * 8 * (SECTOR_HEADER + 512));
  EXPECT_EQ(d88.substr(0, 27), std::string(27, '\0'));  // no name, reserved, not write-protected
  EXPECT_EQ(byte_at(d88, 27), 0x00u);                   // 2D
  EXPECT_EQ(le32_at(d88, 28), d88.size());
  for (std::size_t t = 0; t < 164; ++t) {
    EXPECT_EQ(le32_at(d88, 32 + 4 * t), t < 80 ? D88_HEADER + t * 8 * (SECTOR_HEADER + 512) : 0) << t;
  }
  // Sector k: cylinder, head, number, N = 2, 8 sectors, 512 bytes; then its bytes.
  for (unsigned k = 0; k < 640; ++k) {
    std::size_t at = D88_HEADER + k * (SECTOR_HEADER + 512);
    unsigned track = k / 8;
    std::string header = text({track / 2, track % 2, k % 8 + 1, 2, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x02});
    ASSERT_EQ(d88.substr(at, SECTOR_HEADER), header) << k;
    ASSERT_TRUE(d88.compare(at + SECTOR_HEADER, 512, raw, k * 512, 512) == 0) << k;
  }

  // Without --pad: the tracks the DCP image flags, each written whole.
  const std::string plainDcp = image("dcp", false);
  const std::string plainD88 = image("d88", false);
  std::size_t tracks = static_cast<std::size_t>(std::count(plainDcp.begin() + 1, plainDcp.begin() + 161, '\x01'));
  ASSERT_EQ(plainD88.size(), D88_HEADER + tracks * 8 * (SECTOR_HEADER + 512));
  EXPECT_EQ(le32_at(plainD88, 32 + 4 * tracks), 0u);
  EXPECT_TRUE(plainD88.compare(D88_HEADER, std::string::npos, d88, D88_HEADER, plainD88.size() - D88_HEADER) == 0);
}

// The media byte says 2HD for tracks of more than 6,250 bytes, else 2DD for
// a disk of more than 42 cylinders, which the image need not hold.
TEST_F(Formats, D88MediaByte) {
  struct Case {
    const char* geometry;
    std::size_t sectorSize;
    unsigned media;
  } cases[] = {
      {GEOMETRY_2HD, 1024, 0x20},
      {"0 0 30 512 2 1 2 112 1440 0xF9 3 9 2 0", 512, 0x10},
      {GEOMETRY_2D, 512, 0x00},
  };
  for (const Case& c : cases) {
    write_disk(c.geometry, c.sectorSize);
    EXPECT_EQ(byte_at(image("d88", false), 27), c.media) << c.geometry;
  }
}

TEST_F(Formats, RefusalsNameTheFormat) {
  const std::string list512 = "0 0 30 512 2 1 2 112 640 0xFF ";
  struct Case {
    const char* format;
    std::string geometry;
    std::string more;
    std::size_t bootLength;
    std::string message;
  } cases[] = {
      {"raw", list512 + "2 8 2 0", "a FAR.BIN 2024-1-1 0:0:0 A 320\n", 0,
       "DISKMASON in file list disk.lst: a raw image ends with the disk's total sectors, and the data runs past "
       "them (650 sectors needed vs 640 total sectors)\n"},
      {"d88", "0 0 30 96 2 1 2 112 640 0xFF 1 8 2 0", "", 0,
       "DISKMASON in file list disk.lst: the D88 format needs a sector size of 128 << N bytes (128, 256, ... "
       "32768), not 96\n"},
      {"d88", "0 0 30 64 2 1 2 112 640 0xFF 1 8 2 0", "", 0,
       "DISKMASON in file list disk.lst: the D88 format needs a sector size of 128 << N bytes (128, 256, ... "
       "32768), not 64\n"},
      {"d88", list512 + "1 8 0 0", "", 0,
       "DISKMASON in file list disk.lst: the D88 format needs a head count of at least 1 to number the tracks, "
       "not 0\n"},
      {"d88", list512 + "1 256 2 0", "", 0,
       "DISKMASON in file list disk.lst: the D88 format numbers at most 255 sectors a track, not 256\n"},
      {"raw", "0 170 30 512 2 1 2 112 640 0xFF 1 8 2 0", "", 0,
       "File list disk.lst has too much data for the raw format (30 sectors vs 1280 max with 160 tracks).\n"},
      {"d88", list512 + "2 2 2 0", "a FAR.BIN 2024-1-1 0:0:0 A 160\n", 0,
       "DISKMASON in file list disk.lst: FAR.BIN is fixed at cluster 160 and ends past the 160 tracks of the D88 "
       "format (330 sectors needed vs 320 max)\n"},
      // The track rule counts one sector of this 320-sector boot area; D88 must hold them all.
      {"d88", list512 + "2 2 2 0", "", 320 * 512,
       "File list disk.lst has too much data for the D88 format (347 sectors vs 320 max with 160 tracks).\n"},
  };
  for (const Case& c : cases) {
    write_disk(c.geometry, 512, c.more, c.bootLength);
    std::remove(path(c.format).c_str());
    RunResult r = pack({"--format", c.format, "disk.lst", c.format});
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_EQ(r.output, c.message);
    EXPECT_FALSE(file_exists(path(c.format))) << c.message;
  }
  RunResult r = pack({"--format=img", "disk.lst", "disk.img"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.error, "diskmason: --format takes dcp, raw or d88, not 'img'; usage: diskmason [OPTIONS] FILELIST IMAGE\n");
}

// Each file's row gives the offset of its first byte in the image.
TEST_F(Formats, MapOffsetsFollowTheFormat) {
  write_disk(GEOMETRY_2D, 512);
  for (const char* format : {"dcp", "raw", "d88"}) {
    RunResult r = pack({"--format", format, "--map", "-", "disk.lst", "disk.img"});
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string img = read_file(path("disk.img"));
    int files = 0;
    for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"README.TXT", pattern(1000, 1)},
                                      {"src/deep/MAIN.ASM", pattern(3000, 2)},
                                      {"data/TINY.BIN", "c"}}) {
      std::size_t row = r.output.find("file\t" + name + "\t");
      ASSERT_NE(row, std::string::npos) << format << " " << name;
      std::size_t end = r.output.find('\n', row);
      std::size_t offset = std::stoull(r.output.substr(r.output.rfind('\t', end) + 1, end));
      std::size_t first = std::min<std::size_t>(bytes.size(), 512);  // a D88 sector header follows
      EXPECT_TRUE(img.compare(offset, first, bytes, 0, first) == 0) << format << " " << name;
      ++files;
    }
    EXPECT_EQ(files, 3);
  }
}

// --- Reading images back -----------------------------------------------------

struct ReadBack {
  ImageFile image;
  std::vector<ContainerFinding> findings;
  bool indexed;
};

ReadBack read_back(const std::string& bytes, ImageFormat format, std::uint32_t sectorSize = 512,
                   std::uint32_t bootSectorsPerTrack = 8, std::uint32_t bootHeads = 2) {
  ReadBack r{open_image_file(format, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), {}, false};
  r.indexed = index_sectors(r.image, sectorSize, bootSectorsPerTrack, bootHeads, r.findings);
  return r;
}

// Sectors from..to of the image as read back equal the raw image's.
void expect_sectors(const ReadBack& r, const std::string& raw, unsigned from, unsigned to, const char* what) {
  for (unsigned k = from; k < to; ++k) {
    const std::uint8_t* sector = read_sector(r.image, k);
    ASSERT_NE(sector, nullptr) << what << " sector " << k;
    ASSERT_TRUE(raw.compare(k * 512, 512, reinterpret_cast<const char*>(sector), 512) == 0) << what << " " << k;
  }
}

std::string errors(const ReadBack& r) {
  std::string all;
  for (const ContainerFinding& f : r.findings) all += (f.error ? "error: " : "warning: ") + f.text + "\n";
  return all;
}

TEST_F(Formats, EachFormatIsRecognisedAndReadBack) {
  write_disk(GEOMETRY_2D, 512);
  const std::string raw = image("raw", false);
  const struct {
    const char* format;
    bool pad;
    ImageFormat recognised;
    unsigned sectors;  // held by the image
  } cases[] = {
      {"dcp", true, ImageFormat::Dcp, 640},  {"dcp", false, ImageFormat::Dcp, 16}, {"raw", false, ImageFormat::Raw, 640},
      {"d88", true, ImageFormat::D88, 640},  {"d88", false, ImageFormat::D88, 24},
  };
  for (const auto& c : cases) {
    const std::string bytes = image(c.format, c.pad);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    ImageFormat format = recognise_format(data, bytes.size());
    EXPECT_EQ(format, c.recognised) << c.format << c.pad;
    ReadBack r = read_back(bytes, format);
    ASSERT_TRUE(r.indexed);
    EXPECT_EQ(errors(r), "") << c.format << c.pad;
    const std::uint8_t* boot = boot_sector_bytes(r.image, 512);
    ASSERT_NE(boot, nullptr) << c.format;
    EXPECT_EQ(boot[11] | boot[12] << 8, 512) << c.format;
    expect_sectors(r, raw, 0, c.sectors, c.format);
    EXPECT_EQ(read_sector(r.image, 640), nullptr) << c.format;
  }
}

// The sectors of a D88 track may be stored in any order (interleaved disks
// are): each is found by the number its header records. Damaged files give
// findings, never a read outside the file.
TEST_F(Formats, D88SectorsByRecordedNumberAndDamagedFiles) {
  write_disk(GEOMETRY_2D, 512);
  const std::string raw = image("raw", false);
  const std::string d88 = image("d88", true);
  constexpr std::size_t RECORD = SECTOR_HEADER + 512;
  auto record_at = [](unsigned k) { return D88_HEADER + k * RECORD; };

  std::string shuffled = d88;
  for (unsigned track : {0u, 5u}) {
    for (unsigned i = 0; i < 8; ++i) {
      shuffled.replace(record_at(track * 8 + i), RECORD, d88, record_at(track * 8 + 7 - i), RECORD);
    }
  }
  ReadBack r = read_back(shuffled, ImageFormat::D88);
  EXPECT_EQ(errors(r), "");
  expect_sectors(r, raw, 0, 640, "shuffled");
  EXPECT_NE(boot_sector_bytes(r.image, 512), nullptr);

  struct Damage {
    const char* what;
    std::string bytes;
    std::string finding;
  };
  std::string pastEnd = d88;
  pastEnd.replace(32 + 4 * 3, 4, "\xFF\xFF\xFF\x00", 4);
  std::string twice = d88;
  twice[record_at(9) + 2] = 1;  // cylinder 0, head 1: sector 2 recorded as sector 1
  std::string cut = d88.substr(0, d88.size() - 700);
  const Damage damages[] = {
      {"offset past the end", pastEnd, "error: track 3 starts at offset 16777215, outside the file's 688 to"},
      {"duplicate", twice, "error: sector 0/1/1 is recorded more than once"},
      {"cut short", cut, "error: track 79 is cut short by the end of the file after 6 of its 8 sectors"},
  };
  for (const Damage& d : damages) {
    ReadBack damaged = read_back(d.bytes, ImageFormat::D88);
    EXPECT_NE(errors(damaged).find(d.finding), std::string::npos) << d.what << "\n" << errors(damaged);
  }
  EXPECT_EQ(recognise_format(reinterpret_cast<const std::uint8_t*>(cut.data()), cut.size()), ImageFormat::Raw);
  ReadBack wrongSize = read_back(d88, ImageFormat::D88, 256);
  EXPECT_NE(errors(wrongSize).find("error: sector 0/0/1 holds 512 bytes; the boot sector gives 256"),
            std::string::npos);
  EXPECT_EQ(read_sector(wrongSize.image, 0), nullptr);
}

// A D88 image is read by the tracks its records show, whatever the boot
// sector's track fields say; fields a floppy could have that would locate
// the sectors elsewhere are warned about, a boot file's bytes (no floppy's)
// are not.
TEST_F(Formats, D88TracksAreTheRecordsOwn) {
  write_disk(GEOMETRY_2D, 512);
  const std::string raw = image("raw", false);
  const std::string d88 = image("d88", true);
  const struct {
    std::uint32_t sectorsPerTrack, heads;
    const char* finding;
  } cases[] = {
      {8, 2, ""},
      {0x9090, 0x9090, ""},
      {0, 0, ""},
      {9, 2, "warning: the boot sector gives 9 sectors a track and 2 heads, the image's tracks hold 8 and 2"},
      {8, 1, "warning: the boot sector gives 8 sectors a track and 1 heads"},
  };
  for (const auto& c : cases) {
    ReadBack r = read_back(d88, ImageFormat::D88, 512, c.sectorsPerTrack, c.heads);
    ASSERT_TRUE(r.indexed);
    std::string found = errors(r);
    EXPECT_EQ(found.substr(0, std::strlen(c.finding)), c.finding) << c.sectorsPerTrack << "/" << c.heads;
    EXPECT_EQ(found.empty(), *c.finding == '\0') << found;
    expect_sectors(r, raw, 0, 640, "by records");
  }
}

// A file fixed past the tracks of the track rule still lies on a track of
// the D88 image.
TEST_F(Formats, D88HoldsEveryTrackTheDataReaches) {
  write_disk(GEOMETRY_2D, 512, "c FAR.BIN 2024-1-1 0:0:0 A 300\n");
  const std::string raw = image("raw", false);
  const std::string d88 = image("d88", false);
  ASSERT_EQ(d88.size(), D88_HEADER + 76 * 8 * (SECTOR_HEADER + 512));  // FAR.BIN: sectors 606 and 607
  ReadBack r = read_back(d88, ImageFormat::D88);
  EXPECT_EQ(errors(r), "");
  expect_sectors(r, raw, 0, 608, "fixed");
}

// --- Outside clients ---------------------------------------------------------

// The emulator's reader turns our D88 and DCP images written with --pad into
// plain sectors: they are our raw image.
TEST_F(Formats, FloptoolReadsOurD88AndPaddedDcpAsOurRawImage) {
  REQUIRE_TOOL("floptool");
  write_disk(GEOMETRY_2HD, 1024);
  const std::string raw = image("raw", false, "disk.raw");
  image("d88", true, "disk.d88");
  image("dcp", true, "disk.dcp");
  for (const char* input : {"d88 pc98 disk.d88", "dcx pc98 disk.dcp"}) {
    RunResult r = run_shell("cd '" + scratch_.path() + "' && rm -f out.img && floptool flopconvert " + input +
                            " out.img 2>&1");
    ASSERT_EQ(r.status, 0) << input << r.output;
    EXPECT_TRUE(read_file(path("out.img")) == raw) << input;
  }
}

TEST_F(Formats, FsckFatFindsTheRawImageClean) {
  REQUIRE_TOOL("fsck.fat");
  write_disk(GEOMETRY_2D, 512);
  image("raw", false, "disk.raw");
  RunResult r = run_shell("fsck.fat -n '" + path("disk.raw") + "' 2>&1");
  EXPECT_EQ(r.status, 0) << r.output;
}

}  // namespace
