// diskquarry through its executable: the round trip of generated disks
// (extract, run the printed diskmason command, get the same bytes), an image
// made by mtools extracted as mcopy extracts it, hostile images, listings.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

fs::path utf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

RunResult quarry(const std::string& folder, const std::vector<std::string>& args) {
  return run_program_in(folder, program_path("diskquarry"), args);
}

RunResult mason(const std::string& folder, const std::vector<std::string>& args) {
  return run_program_in(folder, program_path("diskmason"), args);
}

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

// --- The round trip -----------------------------------------------------------

// A random disk that diskmason may or may not accept: nested folders,
// Japanese names (one whose first byte is E5h), mixed case, names cut to
// 8.3 (one inside a double-byte character), empty files, odd attributes, fixed start clusters, dates cut to their
// bits, three layouts (one at format level 20 with a two-sector boot area).
struct Generated {
  std::string list;
  std::vector<std::pair<std::string, std::string>> hostFiles;
  bool pad;
};

Generated generate(unsigned seed) {
  std::mt19937 random(seed);
  auto pick = [&random](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  static const char* const HEADERS[] = {"0x20 0 30 1024 1 1 2 192 1232 0xFE 2 8 2 0",
                                        "0x30 2 30 512 1 1 2 224 2880 0xF0 9 18 2 0",
                                        "0x10 0 20 512 2 2 2 112 1440 0xF9 3"};
  static const char* const FOLDERS[] = {"docs", "Data", "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF", "LongFolderName",
                                        "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88", "\xE8\x95\x81\xE9\xBA\xBB", "sub"};
  static const char* const NAMES[] = {"readme.txt", "README.TXT", "Tiny.dat", "lname%uxyzw.text",
                                      "\xE8\xAA\xAC\xE6\x98\x8E%u.txt", "\xE3\x82\xBD%u.asm", "\xE8\x95\x81%u.bin",
                                      "x%u", "mixedCase%u.Bin", "F%u.BIN",
                                      // aソフトウェア: the cut to 8 bytes splits ウ
                                      "a\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88\xE3\x82\xA6\xE3\x82\xA7\xE3\x82\xA2%u"};
  static const char* const ATTRIBUTES[] = {"A", "-", "RA", "H", "RHS", "S", "R", "A?"};
  static const char* const DATES[] = {"2024-04-01 09:00:00", "1999-12-31 23:59:58", "2024-13-40 25:61:59",
                                      "1979-1-1 0:0:0", "2107-12-31 23:59:59", "2024-04-01 09:00:00"};
  static const std::size_t SIZES[] = {0, 1, 100, 512, 1024, 1500, 5000};
  std::size_t layout = pick(3);
  Generated g{"boot.bin " + std::string(HEADERS[layout]) + "\n", {}, pick(2) == 0};
  g.hostFiles.push_back({"boot.bin", std::string(layout == 2 ? 1000 : 300, '\x90')});
  int files = 1 + static_cast<int>(pick(24));
  int fixed = 0;
  for (int i = 0; i < files; ++i) {
    std::string path;
    for (std::size_t depth = pick(4); depth > 0; --depth) path += std::string(FOLDERS[pick(7)]) + "/";
    char name[64];
    std::snprintf(name, sizeof name, NAMES[pick(11)], unsigned(i));
    path += name;
    std::string host = std::to_string(i);
    host.insert(0, 1, 'h');
    std::string bytes(SIZES[pick(7)], '\0');
    for (std::size_t b = 0; b < bytes.size(); ++b) bytes[b] = static_cast<char>(random());
    g.hostFiles.push_back({host, bytes});
    g.list += host + " \"" + path + "\" " + DATES[pick(6)] + " " + ATTRIBUTES[pick(8)];
    if (pick(8) == 0 && fixed < 2) g.list.append(" ").append(std::to_string(600 + 40 * fixed++));
    g.list += "\n";
  }
  return g;
}

struct Format {
  const char* name;
  std::vector<std::string> options;  // how diskmason writes it
};

void PrintTo(const Format& format, std::ostream* out) { *out << format.name; }

class RoundTrip : public ::testing::TestWithParam<Format> {};

TEST_P(RoundTrip, ThePrintedCommandRebuildsEveryGeneratedImage) {
  const Format& format = GetParam();
  int rebuilt = 0;
  for (unsigned seed = 1; seed <= 40; ++seed) {
    ScratchDir scratch;
    ASSERT_TRUE(scratch.ok());
    Generated g = generate(seed);
    for (const auto& [name, bytes] : g.hostFiles) write_file(scratch.file(name), bytes);
    write_file(scratch.file("disk.lst"), g.list);
    std::vector<std::string> args = format.options;
    if (g.pad) args.push_back("--pad");
    args.insert(args.end(), {"disk.lst", "disk.img"});
    RunResult packed = mason(scratch.path(), args);
    if (packed.status == 2) GTEST_SKIP() << "diskmason does not write " << format.name << " images yet";
    if (packed.status != 0) continue;
    RunResult extracted = quarry(scratch.path(), {"--extract", "out", "disk.img"});
    ASSERT_EQ(extracted.status, 0) << "seed " << seed << "\n" << extracted.error << g.list;
    // The warnings a disk of diskmason's may bring: dates that are none, and
    // a host name for a name cut inside a character (its lone byte as \xNN).
    for (const std::string& line : lines_of(extracted.error)) {
      bool undated = line.find("no real date") != std::string::npos;
      bool halfCharacter = line.find("\\x") != std::string::npos && line.find("is extracted as") != std::string::npos;
      EXPECT_TRUE(undated || halfCharacter) << "seed " << seed << ": " << line << "\n" << g.list;
    }
    std::vector<std::string> command = words(extracted.output);
    ASSERT_GE(command.size(), 3u) << extracted.output;
    EXPECT_EQ(command[0], "diskmason");
    command.erase(command.begin());
    RunResult again = mason(scratch.file("out"), command);
    ASSERT_EQ(again.status, 0) << "seed " << seed << "\n" << again.output << read_file(scratch.file("out/disk.lst"));
    EXPECT_TRUE(read_file(scratch.file("out/disk.img")) == read_file(scratch.file("disk.img")))
        << "seed " << seed << "\n" << g.list << "---\n" << read_file(scratch.file("out/disk.lst"));
    ++rebuilt;
  }
  EXPECT_GE(rebuilt, 20) << "too few generated disks were accepted by diskmason";
}

// One line per format diskmason writes.
INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip,
                         ::testing::Values(Format{"dcp", {}}, Format{"raw", {"--format", "raw"}},
                                           Format{"d88", {"--format", "d88"}}),
                         [](const ::testing::TestParamInfo<Format>& info) { return std::string(info.param.name); });

// --- Images made elsewhere, hostile images, listings ----------------------------

// The relative path and bytes of every file below a folder, sorted.
std::vector<std::pair<std::string, std::string>> tree_of(const std::string& root) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& item : fs::recursive_directory_iterator(utf8(root))) {
    std::u8string relative = fs::relative(item.path(), utf8(root)).generic_u8string();
    std::string name(relative.begin(), relative.end());
    files.emplace_back(name, item.is_directory() ? std::string("/") : read_file(root + "/" + name));
  }
  std::sort(files.begin(), files.end());
  return files;
}

class Quarry : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(scratch_.ok()); }

  // A 1.2 MB disk of diskmason's from list lines (host files made from
  // their names), as disk.dcp.
  void pack(const std::vector<std::string>& lines) {
    write_file(scratch_.file("boot.bin"), std::string(1024, '\0'));
    std::string list = "boot.bin 0x20 0 30 1024 1 1 2 192 1232 0xFE 2 8 2 0\n";
    int n = 0;
    for (const std::string& line : lines) {
      std::string host = std::to_string(n++);
      host.insert(0, 1, 'h');
      write_file(scratch_.file(host), line + std::string(static_cast<std::size_t>(n) * 700, 'x'));
      list += host + " " + line + "\n";
    }
    write_file(scratch_.file("disk.lst"), list);
    RunResult r = mason(scratch_.path(), {"disk.lst", "disk.dcp"});
    ASSERT_EQ(r.status, 0) << r.output;
  }

  // Writes `bytes` over the image at the slot whose name is `name` (11 bytes).
  void patch_slot(const std::string& name, std::size_t at, const std::string& bytes) {
    std::string image = read_file(scratch_.file("disk.dcp"));
    std::size_t slot = image.find(name);
    ASSERT_NE(slot, std::string::npos) << name;
    image.replace(slot + at, bytes.size(), bytes);
    write_file(scratch_.file("disk.dcp"), image);
  }

  ScratchDir scratch_;
};

TEST_F(Quarry, ListsEveryEntryFolderByFolderInDiskOrder) {
  // ソフト/ソース.TXT: the 5Ch of ソ is no separator; a backslash (815Fh) shows as \\.
  pack({"\"\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/\xE3\x82\xBD.TXT\" 2024-04-01 09:00:00 A",
        "\"A\\B.TXT\" 2024-04-02 10:30:02 RHS", "SUB/Z.BIN 1980-00-00 0:0:0 -", "SUB/DEEP/Y.BIN 2024-1-1 0:0:0 A"});
  patch_slot("Z       BIN", 1, "\x80");
  RunResult r = quarry(scratch_.path(), {"disk.dcp"});
  ASSERT_EQ(r.status, 0) << r.error;
  EXPECT_EQ(r.error, "");
  std::vector<std::string> rows = lines_of(r.output);
  ASSERT_EQ(rows.size(), 7u) << r.output;
  EXPECT_EQ(rows[0].substr(0, rows[0].find('\t')), "A\\\\B.TXT");
  EXPECT_NE(rows[0].find("\t2024-04-02\t10:30:02\tRHS\t"), std::string::npos) << rows[0];
  EXPECT_EQ(rows[1].substr(0, rows[1].find('\t')), "SUB/");
  EXPECT_EQ(rows[2].substr(0, rows[2].find('\t')), "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/");
  EXPECT_EQ(rows[3].substr(0, rows[3].find('\t')), "SUB/Z\\x80.BIN");
  EXPECT_EQ(rows[4].substr(0, rows[4].find('\t')), "SUB/DEEP/");
  EXPECT_EQ(rows[5].substr(0, rows[5].find('\t')), "SUB/DEEP/Y.BIN");
  EXPECT_EQ(rows[6].substr(0, rows[6].find('\t')), "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/\xE3\x82\xBD.TXT");
}

TEST_F(Quarry, MapIsDiskmasonsMapOfTheSameDisk) {
  pack({"README.TXT 2024-04-01 09:00:00 A", "DOCS/GUIDE/PART1.TXT 2024-04-01 09:00:00 A", "LOADER.SYS 2024-1-1 0:0:0 RHS 60"});
  // Empty files: one fixed at a cluster (it takes one), one without.
  write_file(scratch_.file("empty"), "");
  write_file(scratch_.file("disk.lst"), read_file(scratch_.file("disk.lst")) +
                                            "empty EMPTY.DAT 2024-1-1 0:0:0 A 70\nempty NONE.DAT 2024-1-1 0:0:0 A\n");
  RunResult made = mason(scratch_.path(), {"--map", "-", "disk.lst", "disk.dcp"});
  ASSERT_EQ(made.status, 0) << made.error;
  RunResult read = quarry(scratch_.path(), {"--map", "-", "disk.dcp"});
  ASSERT_EQ(read.status, 0) << read.error;
  EXPECT_EQ(read.output, made.output);
  // Also beside an extraction, the two in place together or neither.
  write_file(scratch_.file("map.tsv"), "old");
  EXPECT_EQ(quarry(scratch_.path(), {"--map", "nowhere/map.tsv", "--extract", "out", "disk.dcp"}).status, 1);
  EXPECT_FALSE(file_exists(scratch_.file("out")));
  ASSERT_EQ(quarry(scratch_.path(), {"--map", "map.tsv", "--extract", "out", "disk.dcp"}).status, 0);
  EXPECT_EQ(read_file(scratch_.file("map.tsv")), made.output);
  EXPECT_EQ(quarry(scratch_.path(), {"--map", "map.tsv", "--extract", "out", "disk.dcp"}).status, 1);
  EXPECT_EQ(read_file(scratch_.file("map.tsv")), made.output);
  std::vector<std::string> left;
  for (const auto& item : fs::directory_iterator(utf8(scratch_.path()))) left.push_back(item.path().filename().string());
  EXPECT_EQ(left.size(), 9u) << "a temporary or staging folder was left";
}

TEST_F(Quarry, UsageErrorsAndACleanCheck) {
  pack({"A.TXT 2024-1-1 0:0:0 A"});
  EXPECT_EQ(quarry(scratch_.path(), {"--bogus", "disk.dcp"}).status, 2);
  // A wrong count of images fails like the other programs' wrong counts.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"disk.dcp", "more"}, {}}) {
    RunResult wrong = quarry(scratch_.path(), args);
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.error.find("diskquarry: error: expected 1 argument, IMAGE"), std::string::npos) << wrong.error;
  }
  EXPECT_EQ(quarry(scratch_.path(), {"--format", "zip", "disk.dcp"}).status, 2);
  EXPECT_EQ(quarry(scratch_.path(), {"--extract", "out", "--map", "-", "disk.dcp"}).status, 2);
  EXPECT_EQ(quarry(scratch_.path(), {"--check", "--map", "-", "disk.dcp"}).status, 2);
  RunResult check = quarry(scratch_.path(), {"--check", "disk.dcp"});
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.output + check.error, "");
}

// Chains that run into another's: each lists the clusters from its start to
// the shared end, however the entries that share them are read.
TEST_F(Quarry, CrossLinkedChainsListTheirWholeLength) {
  pack({"A.BIN 2024-1-1 0:0:0 A", "B.BIN 2024-1-1 0:0:0 A", "C.BIN 2024-1-1 0:0:0 A"});  // 1, 2 and 3 clusters
  std::string image = read_file(scratch_.file("disk.dcp"));
  unsigned c = static_cast<unsigned char>(image[image.find("C       BIN") + 26]);
  patch_slot("A       BIN", 26, std::string(1, static_cast<char>(c + 1)));  // read first: C's last two clusters
  patch_slot("B       BIN", 26, std::string(1, static_cast<char>(c)));      // C's start, then A's
  RunResult r = quarry(scratch_.path(), {"disk.dcp"});
  ASSERT_EQ(r.status, 0) << r.error;
  std::vector<std::string> rows = lines_of(r.output);
  ASSERT_EQ(rows.size(), 3u) << r.output;
  auto columns = [](unsigned start, unsigned clusters) {
    std::string text(1, '\t');
    text += std::to_string(start);
    text += '\t';
    return text += std::to_string(clusters);
  };
  const std::string ends[] = {columns(c + 1, 2), columns(c, 3), columns(c, 3)};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(rows[i].substr(rows[i].size() - ends[i].size()), ends[i]) << rows[i];
  }
}

// Names no host folder should get, a chain that loops and a folder that
// holds itself: safe names with a warning each, nothing outside the target,
// and an end.
TEST_F(Quarry, HostileImagesExtractSafely) {
  pack({"CONAAAAA.TXT 2024-1-1 0:0:0 A", "SLASHAAA.TXT 2024-1-1 0:0:0 A", "DRIVEAAA.TXT 2024-1-1 0:0:0 A",
        "CTRLAAAA.TXT 2024-1-1 0:0:0 A", "TRAILAAA 2024-1-1 0:0:0 A", "LOOPAAAA.BIN 2024-1-1 0:0:0 A",
        "SELF/X.TXT 2024-1-1 0:0:0 A"});
  patch_slot("CONAAAAATXT", 0, "CON     ");
  patch_slot("SLASHAAATXT", 0, "../X    ");
  patch_slot("DRIVEAAATXT", 0, "C:      ");
  patch_slot("CTRLAAAATXT", 0, "\x01\x0A      ");
  patch_slot("TRAILAAA   ", 0, "TRAIL.  ");
  std::string image = read_file(scratch_.file("disk.dcp"));
  // LOOPAAAA.BIN's second cluster points back at its first; SELF starts at
  // the root's first subfolder cluster, its own.
  std::size_t loop = image.find("LOOPAAAABIN");
  unsigned start = static_cast<unsigned char>(image[loop + 26]);
  std::size_t fat = 162 + 1024;
  std::size_t second = fat + (start + 1) * 3 / 2;
  image[second] = static_cast<char>((start + 1) % 2 == 0 ? start : (image[second] & 0x0F) | (start << 4));
  if ((start + 1) % 2 != 0) image[second + 1] = static_cast<char>(start >> 4);
  std::size_t self = image.find("SELF       ");
  std::size_t inside = image.find(".          ", 162 + 11 * 1024);
  image.replace(inside + 32 * 2, 32, image.substr(self, 32));
  write_file(scratch_.file("disk.dcp"), image);

  RunResult r = quarry(scratch_.path(), {"--extract", "out", "disk.dcp"});
  ASSERT_EQ(r.status, 0) << r.error;
  for (const char* safe : {"CON_.TXT", ".._x2FX.TXT", "C_.TXT", "_x01_x0A.TXT", "TRAIL_"}) {
    EXPECT_TRUE(file_exists(scratch_.file(std::string("out/files/") + safe))) << safe << "\n" << r.error;
  }
  EXPECT_NE(r.error.find("is extracted as 'CON_.TXT'"), std::string::npos) << r.error;
  std::vector<std::string> top;
  for (const auto& item : fs::directory_iterator(utf8(scratch_.path()))) top.push_back(item.path().filename().string());
  std::sort(top.begin(), top.end());
  EXPECT_EQ(top, (std::vector<std::string>{"boot.bin", "disk.dcp", "disk.lst", "h0", "h1", "h2", "h3", "h4", "h5", "h6", "out"}));
}

// A file whose line would pass a file list's line length is extracted but
// left out of the list, with a warning: the list holds no line diskmason
// cannot read, and it grows with the files, not with their depth.
TEST_F(Quarry, FilesTooDeepForAListLineAreLeftOutOfIt) {
  std::string deep;
  for (int i = 0; i < 40; ++i) deep += "ABCDE/";
  pack({"TOP.TXT 2024-1-1 0:0:0 A", deep + "DEEP.TXT 2024-1-1 0:0:0 A"});
  RunResult r = quarry(scratch_.path(), {"--extract", "out", "disk.dcp"});
  ASSERT_EQ(r.status, 0) << r.error;
  EXPECT_NE(r.error.find("1 files and folders (the first " + deep + "DEEP.TXT) lie too deep"), std::string::npos)
      << r.error;
  EXPECT_TRUE(file_exists(scratch_.file("out/files/" + deep + "DEEP.TXT")));
  std::string list = read_file(scratch_.file("out/disk.lst"));
  EXPECT_NE(list.find("TOP.TXT"), std::string::npos);
  EXPECT_EQ(list.find("DEEP.TXT"), std::string::npos) << list;
}

TEST_F(Quarry, TargetMustBeNewOrEmptyAndStrictLeavesNone) {
  pack({"A.TXT 2024-13-1 0:0:0 A"});
  write_file(scratch_.file("full/keep"), "");
  fs::create_directory(utf8(scratch_.file("full")));
  write_file(scratch_.file("full/keep"), "keep");
  EXPECT_EQ(quarry(scratch_.path(), {"--extract", "full", "disk.dcp"}).status, 1);
  EXPECT_EQ(read_file(scratch_.file("full/keep")), "keep");
  RunResult strict = quarry(scratch_.path(), {"--strict", "--extract", "new", "disk.dcp"});
  EXPECT_EQ(strict.status, 1);
  EXPECT_FALSE(file_exists(scratch_.file("new")));
  RunResult quiet = quarry(scratch_.path(), {"-q", "--extract", "new", "disk.dcp"});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.error, "");
  EXPECT_EQ(quiet.output, "diskmason disk.lst disk.dcp\n");
  // Of --quiet and --verbose the later one counts; --verbose adds notes.
  EXPECT_EQ(quarry(scratch_.path(), {"-v", "-q", "--extract", "q2", "disk.dcp"}).error, "");
  RunResult loud = quarry(scratch_.path(), {"-q", "-v", "--extract", "v2", "disk.dcp"});
  EXPECT_NE(loud.error.find("disk.dcp: warning: 1 files (the first A.TXT) have no real date"), std::string::npos)
      << loud.error;
  EXPECT_NE(loud.error.find("disk.dcp: note: "), std::string::npos) << loud.error;
  fs::create_directory(utf8(scratch_.file("empty")));
  EXPECT_EQ(quarry(scratch_.path(), {"-q", "--extract", "empty", "disk.dcp"}).status, 0);
  EXPECT_EQ(tree_of(scratch_.file("empty/files")), tree_of(scratch_.file("new/files")));
#if !defined(_WIN32)
  fs::create_directory(utf8(scratch_.file("elsewhere")));
  fs::create_directory_symlink(utf8(scratch_.file("elsewhere")), utf8(scratch_.file("link")));
  EXPECT_EQ(quarry(scratch_.path(), {"--extract", "link", "disk.dcp"}).status, 1);
  EXPECT_TRUE(fs::is_empty(utf8(scratch_.file("elsewhere"))));
#endif
}

// An image of mformat and mcopy: the same tree and bytes as mcopy -s gives.
TEST_F(Quarry, ImageMadeByMtoolsExtractsAsMcopyDoes) {
  REQUIRE_TOOL("mformat");
  REQUIRE_TOOL("mcopy");
  std::string src = scratch_.file("src");
  fs::create_directories(utf8(src + "/DOCS/DEEP"));
  write_file(src + "/README.TXT", "read me\r\n");
  write_file(src + "/EMPTY.DAT", "");
  write_file(src + "/DOCS/GUIDE.TXT", std::string(5000, 'g'));
  write_file(src + "/DOCS/DEEP/DATA.BIN", std::string(30000, '\x01'));
  write_file(src + "/DOCS/A Long Name.text", "long");  // kept in long-name slots
  std::string env = "cd '" + scratch_.path() + "' && MTOOLS_SKIP_CHECK=1 ";
  ASSERT_EQ(run_shell(env + "mformat -C -i disk.img -f 1440 :: && mcopy -s -i disk.img src/* :: && "
                            "mkdir ref && mcopy -s -n -i disk.img '::*' ref/").status, 0);
  RunResult r = quarry(scratch_.path(), {"--extract", "out", "disk.img"});
  ASSERT_EQ(r.status, 0) << r.error;
  EXPECT_EQ(tree_of(scratch_.file("out/files")), tree_of(scratch_.file("ref")));
  // What the list cannot say is named; the bytes differ, and that is said.
  EXPECT_NE(r.error.find("long-name slots"), std::string::npos) << r.error;
  EXPECT_NE(r.error.find("differs from this one"), std::string::npos) << r.error;
  EXPECT_EQ(r.output.rfind("diskmason --format raw disk.lst disk.img", 0), 0u) << r.output;
}

}  // namespace
