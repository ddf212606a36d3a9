// Fuzzes the whole packer run (file list, tree, allocation, image writer)
// with the fuzzed bytes as the file list. Host files are small generated
// files in a temporary folder, which is the working folder of the run, so
// lists name them by relative paths.
//
// When the run reports success, the image is checked against the layout the
// list implies: its length is the header, the boot area, the FAT copies, the
// root directory and whole clusters; the FAT copies are identical; and when
// no start cluster is fixed, the FAT chains cover exactly the clusters of
// the data area and the present tracks are the ones the data needs.
//
// A first byte below 16 picks options for further runs of the same list:
// --verbose, --map and --depfile must change neither status nor image,
// --strict may only refuse (leaving an older image alone), and --pad must
// give the plain image's data followed by fill up to the end of its present
// tracks.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

#include "diskmason/container/dcp.h"
#include "diskmason/driver/list_reader.h"
#include "diskmason/driver/packer.h"
#include "diskmason/volume/disk_format.h"
#include "fuzz/fuzz_input.h"

namespace {

// Images beyond this size end in a failed write (status 1), which keeps
// headers that ask for huge sectors or far-away clusters quick.
constexpr rlim_t IMAGE_LIMIT = 8u << 20;

std::string folder;

// The DCP header as this harness reads it: the disk type, one flag per
// track, and the all-tracks flag.
constexpr std::uint32_t DISK_TYPE_AT = 0;
constexpr std::uint32_t TRACK_FLAGS_AT = 1;
constexpr std::uint32_t ALL_TRACKS_AT = 161;

void write_host_file(const std::string& name, std::size_t size) {
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (f == nullptr) std::abort();
  for (std::size_t i = 0; i < size; ++i) std::fputc(static_cast<int>((i * 7 + 1) & 0xFF), f);
  std::fclose(f);
}

void remove_folder() {
  if (folder.empty()) return;
  std::string command = "rm -rf '" + folder + "'";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", folder.c_str());
}

// The fields of one list line, as the driver sees them.
struct Line {
  std::uint8_t text[LIST_LINE_LIMIT + 1];
  FieldSpan fields[HEADER_FIELD_LIMIT];
  std::uint32_t count;

  std::uint32_t number(std::uint32_t i) const {
    std::uint32_t value = 0;
    return parse_number(text + fields[i].offset, fields[i].length, &value) ? value : BAD_NUMBER;
  }
  std::string field(std::uint32_t i) const {
    return std::string(reinterpret_cast<const char*>(text + fields[i].offset), fields[i].length).c_str();
  }
};

void read_line(std::FILE* in, Line& line, std::uint32_t limit) {
  std::uint32_t length = LIST_LINE_LIMIT;
  read_list_line(in, line.text, &length);
  line.count = split_fields(line.text, length, line.fields, limit);
}

std::vector<std::uint8_t> read_image(const char* path, bool* found) {
  std::vector<std::uint8_t> bytes;
  std::FILE* f = std::fopen(path, "rb");
  *found = f != nullptr;
  if (f == nullptr) return bytes;
  std::uint8_t chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  std::fclose(f);
  return bytes;
}

void check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "image check failed: %s\n", what);
  std::abort();
}

// Checks a written image against the list it came from.
void check_image(const std::uint8_t* data, std::size_t size, const std::vector<std::uint8_t>& image) {
  std::FILE* in = open_input(data, size);
  Line line;
  read_line(in, line, HEADER_FIELD_LIMIT);
  check(line.count >= 12, "a run succeeded without a full header");
  const std::uint32_t diskType = line.number(1) & 0xFF;
  const std::uint32_t trackField = line.number(2) & 0xFF;
  const std::uint32_t formatLevel = line.number(3) & 0xFF;
  const std::uint32_t bps = line.number(4) & 0xFFFF;
  const std::uint32_t spc = line.number(5) & 0xFF;
  const std::uint32_t reserved = line.number(6) & 0xFFFF;
  const std::uint32_t fatCount = line.number(7) & 0xFF;
  const std::uint32_t rootEntries = line.number(8) & 0xFFFF;
  const std::uint32_t media = line.number(10) & 0xFF;
  const std::uint32_t spf = line.number(11) & 0xFF;
  const std::uint32_t spt = formatLevel >= 30 && line.count >= 15 ? line.number(12) & 0xFFFF : 8;
  struct stat info;
  check(stat(line.field(0).c_str(), &info) == 0, "boot file vanished");
  const std::uint64_t bootLength = static_cast<std::uint64_t>(info.st_size);
  bool fixed = false;
  while (!std::feof(in) && !std::ferror(in)) {
    read_line(in, line, FILE_FIELD_LIMIT);
    if (line.count >= 6) fixed = true;
  }
  std::fclose(in);

  check(bps != 0 && spc != 0 && spt != 0 && bps % 32 == 0, "a run succeeded with unusable sizes");
  check(image.size() >= DCP_HEADER_SIZE, "image shorter than its header");
  check(image[DISK_TYPE_AT] == diskType, "disk type");
  const std::uint8_t* flags = image.data() + TRACK_FLAGS_AT;
  std::uint32_t present = 0;
  while (present < MAX_TRACKS && flags[present] == 1) ++present;
  for (std::uint32_t t = present; t < MAX_TRACKS; ++t) check(flags[t] == 0, "track flags not a prefix");
  check(image[ALL_TRACKS_AT] == (present == MAX_TRACKS ? 1u : 0u), "all-tracks flag");

  const std::uint64_t body = image.size() - DCP_HEADER_SIZE;
  check(body % bps == 0, "image is not whole sectors");
  const std::uint64_t sectors = body / bps;
  const std::uint64_t boot = bootLength == 0 ? 1 : (bootLength + bps - 1) / bps;
  const std::uint64_t fatSectors = std::uint64_t{fatCount} * spf;
  const std::uint64_t rootSectors = ceil_div(rootEntries * DIR_ENTRY_SIZE, bps);
  check(sectors >= boot + fatSectors + rootSectors, "image shorter than its system areas");
  const std::uint64_t dataSectors = sectors - boot - fatSectors - rootSectors;
  check(dataSectors % spc == 0, "data area is not whole clusters");

  const std::uint8_t* bootSector = image.data() + DCP_HEADER_SIZE;
  check(load_field(bootSector, BOOT_BYTES_PER_SECTOR) == bps &&
            load_field(bootSector, BOOT_SECTORS_PER_CLUSTER) == spc &&
            load_field(bootSector, BOOT_RESERVED_SECTORS) == reserved &&
            load_field(bootSector, BOOT_FAT_COUNT) == fatCount &&
            load_field(bootSector, BOOT_ROOT_ENTRIES) == rootEntries &&
            load_field(bootSector, BOOT_MEDIA_BYTE) == media &&
            load_field(bootSector, BOOT_SECTORS_PER_FAT) == spf,
        "boot sector fields");

  const std::uint64_t fatBytes = std::uint64_t{spf} * bps;
  const std::uint8_t* fat = bootSector + boot * bps;
  for (std::uint32_t copy = 1; copy < fatCount; ++copy)
    check(std::memcmp(fat, fat + copy * fatBytes, fatBytes) == 0, "FAT copies differ");
  if (fatCount == 0 || spf == 0) return;

  // The visible 12-bit entries of the first copy.
  const std::uint64_t table = fatBytes < 6144 ? fatBytes : 6144;
  std::vector<std::uint32_t> entries;
  for (std::uint64_t j = 0; 3 * j + 2 < table; ++j) {
    entries.push_back(fat[3 * j] | (fat[3 * j + 1] & 0x0F) << 8);
    entries.push_back(fat[3 * j + 1] >> 4 | fat[3 * j + 2] << 4);
  }
  if (entries.size() >= 2) check(entries[0] == (0xF00 | media) && entries[1] == 0xFFF, "media entries");
  if (fixed) return;

  // Without fixed clusters every node is placed from cluster 2 on without
  // gaps: the chains cover clusters 2 to end - 1 and nothing after.
  const std::uint64_t end = 2 + dataSectors / spc;
  check(end <= 0xFF0, "data area beyond the FAT's reach");
  for (std::uint32_t c = 2; c < entries.size(); ++c) {
    if (c < end) {
      check(entries[c] == c + 1 || entries[c] == 0xFFF, "cluster of the data area outside a chain");
    } else {
      check(entries[c] == 0, "chain beyond the data area");
    }
  }
  const std::uint64_t needed = fatSectors + rootSectors + spc * end + 1;
  std::uint64_t tracks = (needed + spt - 1) / spt;
  if (tracks < trackField) tracks = trackField;
  check(present == (tracks < MAX_TRACKS ? tracks : MAX_TRACKS), "present tracks");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/packer_fuzz.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr || chdir(name.data()) != 0) std::abort();
  folder = name.data();
  std::atexit(remove_folder);

  write_host_file("boot", 512);
  write_host_file("boot0", 0);
  write_host_file("bootbig", 2500);
  write_host_file("e", 0);
  write_host_file("a", 1);
  write_host_file("b", 512);
  write_host_file("c", 1000);
  write_host_file("d", 3000);
  write_host_file("big", 40000);
  write_host_file("with space", 5);
  write_host_file("\xe6\x97\xa5\xe6\x9c\xac.txt", 100);  // 日本.txt
  if (mkdir("sub", 0700) != 0) std::abort();
  write_host_file("sub/x", 10);

  struct rlimit limit;
  limit.rlim_cur = IMAGE_LIMIT;
  limit.rlim_max = IMAGE_LIMIT;
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) std::abort();
  return 0;
}

namespace {

// A first input byte below OPTION_BYTE_END picks options; any other input
// is the whole file list, run without options.
constexpr std::uint8_t VERBOSE = 1;
constexpr std::uint8_t STRICT = 2;
constexpr std::uint8_t PAD = 4;
constexpr std::uint8_t OUTPUTS = 8;  // --map and --depfile
constexpr std::uint8_t OPTION_BYTE_END = 16;

std::FILE* messages = nullptr;  // --verbose output, discarded

int pack(std::vector<const char*> options, const char* image) {
  std::vector<char*> argv = {const_cast<char*>("diskmason")};
  for (const char* option : options) argv.push_back(const_cast<char*>(option));
  argv.push_back(const_cast<char*>("list"));
  argv.push_back(const_cast<char*>(image));
  argv.push_back(nullptr);
  return run_packer(static_cast<int>(argv.size() - 1), argv.data(), messages);
}

// The padded image is the plain one with every sector of its present tracks:
// the same body, then fill bytes, and only the track flags may differ.
void check_padded(const std::vector<std::uint8_t>& plain, const std::vector<std::uint8_t>& padded,
                  const std::uint8_t* data, std::size_t size) {
  check(padded.size() >= plain.size(), "padded image shorter than the plain one");
  check(std::equal(plain.begin() + DCP_HEADER_SIZE, plain.end(), padded.begin() + DCP_HEADER_SIZE),
        "padding changed the data");
  for (std::size_t i = plain.size(); i < padded.size(); ++i) check(padded[i] == 0xE5, "padding is not fill");
  std::FILE* in = open_input(data, size);
  Line line;
  read_line(in, line, HEADER_FIELD_LIMIT);
  std::fclose(in);
  const std::uint32_t formatLevel = line.number(3) & 0xFF;
  const std::uint64_t bps = line.number(4) & 0xFFFF;
  const std::uint64_t total = line.number(9) & 0xFFFF;
  const std::uint64_t spt = formatLevel >= 30 && line.count >= 15 ? line.number(12) & 0xFFFF : 8;
  std::uint32_t present = 0;
  while (present < MAX_TRACKS && padded[TRACK_FLAGS_AT + present] == 1) ++present;
  check(present >= std::min<std::uint64_t>((total + spt - 1) / spt, MAX_TRACKS), "padded tracks short of the disk");
  check(padded.size() - DCP_HEADER_SIZE >= present * spt * bps, "padded image short of its tracks");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 16384) return 0;
  // A write past the size limit fails with EFBIG instead of a signal; set
  // here because the fuzzer installs its own handler after initialising.
  static bool quiet = std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
  if (!quiet) std::abort();
  if (messages == nullptr) messages = std::fopen("/dev/null", "w");
  if (messages == nullptr) std::abort();
  std::uint8_t options = size != 0 && data[0] < OPTION_BYTE_END ? data[0] : 0;
  if (size != 0 && data[0] < OPTION_BYTE_END) {
    ++data;
    --size;
  }
  std::FILE* list = std::fopen("list", "wb");
  if (list == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, list) != size) std::abort();
  std::fclose(list);

  std::remove("out.dcp");
  int status = pack({}, "out.dcp");
  check(status == 0 || status == 1, "exit status");
  bool found = false;
  std::vector<std::uint8_t> image = read_image("out.dcp", &found);
  static const bool verbose = std::getenv("PACKER_FUZZ_VERBOSE") != nullptr;
  if (verbose) std::fprintf(stderr, "status %d, image %zu bytes\n", status, image.size());
  if (status == 0) {
    check(found, "a run succeeded without an image");
    check_image(data, size, image);
  }
  // --verbose only explains: the same status and image.
  if ((options & VERBOSE) != 0) {
    std::remove("out.dcp");
    check(pack({"--verbose"}, "out.dcp") == status, "--verbose changed the status");
    check(read_image("out.dcp", &found) == image, "--verbose changed the image");
  }
  // --strict may refuse what passes, and then leaves an existing image alone.
  if ((options & STRICT) != 0 && status == 0) {
    std::FILE* old = std::fopen("strict.dcp", "wb");
    if (old == nullptr) std::abort();
    std::fputs("older", old);
    std::fclose(old);
    int strictStatus = pack({"--strict"}, "strict.dcp");
    std::vector<std::uint8_t> strictImage = read_image("strict.dcp", &found);
    if (strictStatus == 0) {
      check(strictImage == image, "--strict changed the image");
    } else {
      check(strictImage == std::vector<std::uint8_t>{'o', 'l', 'd', 'e', 'r'}, "--strict touched the image");
    }
  }
  // The map and the dependency file come with the same image, or both fail.
  if ((options & OUTPUTS) != 0) {
    std::remove("out.dcp");
    check(pack({"--map", "map.tsv", "--depfile", "out.d"}, "out.dcp") == status, "--map changed the status");
    check(read_image("out.dcp", &found) == image, "--map changed the image");
  }
  if ((options & PAD) != 0 && status == 0) {
    std::remove("pad.dcp");
    int padStatus = pack({"--pad"}, "pad.dcp");
    std::vector<std::uint8_t> padded = read_image("pad.dcp", &found);
    // Only a padded image beyond the size limit may fail to be written.
    if (padStatus == 0 || padded.size() < IMAGE_LIMIT - 65536) {
      check(padStatus == 0, "--pad failed where the plain run passed");
      check_padded(image, padded, data, size);
    }
  }
  return 0;
}
