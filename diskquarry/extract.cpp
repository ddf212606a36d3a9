// --extract DIR: the disk's files under DIR/files, its boot area as
// DIR/boot.bin and the file list DIR/disk.lst that rebuilds it, written in a
// staging folder that takes DIR's place only when all went well; then the
// diskmason command that rebuilds the image, on standard output.
#include <cstring>
#include <functional>
#include <new>
#include <system_error>
#include <thread>

#include "diskmason/model/attributes.h"
#include "diskquarry/extract_plan.h"
#include "diskquarry/extract_steps.h"
#include "diskquarry/host_tree.h"
#include "textconv/whole_output.h"

namespace {

// The FAT's first bytes as diskmason writes them: the media byte, FFh, FFh.
bool starts_fat(const std::uint8_t* sector, std::uint8_t media) {
  return sector != nullptr && sector[0] == media && sector[1] == 0xFF && sector[2] == 0xFF;
}

// The sectors of the boot area: the reserved sectors where the FAT starts
// after them, else the first sector (up to 64) where a FAT does.
std::uint32_t find_boot_area(const QuarryRun& run) {
  const BootFields& b = run.volume.boot;
  std::uint32_t reserved = b.reservedSectors == 0 ? 1 : b.reservedSectors;
  if (starts_fat(read_sector(run.image, reserved), b.mediaByte)) return reserved;
  for (std::uint32_t s = 1; s <= 64; ++s) {
    bool copies = b.fatCount < 2 || starts_fat(read_sector(run.image, s + std::uint64_t{b.sectorsPerFat}), b.mediaByte);
    if (starts_fat(read_sector(run.image, s), b.mediaByte) && copies) return s;
  }
  return reserved;
}

void read_boot_area(QuarryRun& run, ExtractPlan& plan) {
  const VolumeGeometry& g = run.volume.geometry;
  plan.boot.assign(std::size_t{run.volume.bootSectors} * g.sectorSize, 0);
  for (std::uint32_t s = 0; s < run.volume.bootSectors; ++s) {
    const std::uint8_t* sector = read_sector(run.image, s);
    if (sector != nullptr) std::memcpy(plan.boot.data() + std::size_t{s} * g.sectorSize, sector, g.sectorSize);
  }
}

std::string base_name(const char* path) {
  std::string name = path;
  std::size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

// A word for the POSIX shell: as it is when it needs no quotes.
std::string shell_word(const std::string& word) {
  bool plain = !word.empty() && word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-+,=@%") == std::string::npos;
  if (plain) return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

bool write_whole(const std::string& path, const void* bytes, std::size_t length) {
  bool dated = false;
  return write_host_file(path, {BytePiece{static_cast<const std::uint8_t*>(bytes), length}}, 0, &dated);
}

// The header choice that rebuilds the image, found on a second thread while
// the files are written: the two share nothing that either changes but the
// plan's header fields, which only the choice writes.
struct HeaderChoice {
  std::string listText;
  bool same = false;
  bool noMemory = false;
};

void choose(const QuarryRun& run, ExtractPlan& plan, HeaderChoice& choice) {
  try {
    choice.same = choose_header(run, plan, choice.listText);
  } catch (const std::bad_alloc&) {
    choice.noMemory = true;
  }
}

// Writes the files while the header is chosen; false when writing failed.
bool write_and_choose(QuarryRun& run, ExtractPlan& plan, HostTree& tree, HeaderChoice& choice) {
  std::thread worker;
  try {
    worker = std::thread(choose, std::cref(run), std::ref(plan), std::ref(choice));
  } catch (const std::system_error&) {
    choose(run, plan, choice);  // no second thread: one after the other
  }
  bool written = false;
  try {
    written = write_host_tree(run, plan, tree);
  } catch (const std::bad_alloc&) {
    choice.noMemory = true;
  }
  if (worker.joinable()) worker.join();
  if (choice.noMemory) throw std::bad_alloc();
  return written;
}

int extract_into(QuarryRun& run, ExtractPlan& plan, const std::string& staging) {
  HostTree tree{staging, false, 0, {}};
  name_host_tree(run, plan, tree);
  plan_lines(run, plan);
  HeaderChoice choice;
  if (!write_and_choose(run, plan, tree, choice)) return 1;
  if (choice.same) {
    note_image(run, "format level %u%s rebuilds the image", unsigned{plan.params.formatLevel},
               plan.pad ? " with --pad" : "");
  }
  warn_undated(run, tree);
  warn_unsayable(run, plan);
  if (!choice.same) warn_difference(run, plan, choice.listText);
  if (!write_whole(staging + "/disk.lst", choice.listText.data(), choice.listText.size()) ||
      !write_whole(staging + "/boot.bin", plan.boot.data(), plan.boot.size())) {
    fail_image(run, "cannot write the file list or the boot area into %s", staging.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int extract_image(QuarryRun& run) {
  const std::string dir = run.options.extractDir;
  if (!target_is_free(dir)) {
    fail_image(run, "%s exists and is not an empty folder", dir.c_str());
    return 1;
  }
  std::uint32_t bootSectors = find_boot_area(run);
  if (bootSectors != run.volume.bootSectors && !read_image_volume(run, bootSectors)) return 1;
  ExtractPlan plan{};
  plan.format = run.image.format;
  read_boot_area(run, plan);
  spell_names(run, plan);
  std::string staging;
  if (!make_staging(dir, &staging)) {
    fail_image(run, "cannot make a folder beside %s to extract into", dir.c_str());
    return 1;
  }
  // The map is written before the files take their place and put beside
  // them after: a map that cannot be written leaves no extraction.
  int status = 1;
  WholeOutput map;
  try {
    status = extract_into(run, plan, staging);
    if (status == 0 && strict_failure(run.reporter)) {
      fail_image(run, "nothing extracted (--strict): %u warnings", run.reporter.warnings);
      status = 1;
    }
    if (status == 0 && run.options.mapPath != nullptr && !write_map(run, map)) status = 1;
  } catch (const std::bad_alloc&) {
    remove_staging(staging);
    throw;
  }
  if (status == 0 && !move_into_place(staging, dir)) {
    fail_image(run, "cannot move the extracted files into %s", dir.c_str());
    status = 1;
  }
  if (status != 0) {
    remove_staging(staging);
    return status;
  }
  if (run.options.mapPath != nullptr && !place_map(run, map)) return 1;
  std::string command = "diskmason ";
  if (plan.pad) command += "--pad ";
  if (plan.format != ImageFormat::Dcp) command += std::string("--format ") + format_name(plan.format) + " ";
  std::printf("%sdisk.lst %s\n", command.c_str(), shell_word(base_name(run.options.imagePath)).c_str());
  return std::fflush(stdout) == 0 ? 0 : 1;
}
