// Fuzzes the reading side of a disk image: the format recognised from the
// content (and each format forced), the boot sector's fields, the sectors
// located, the volume read (FAT copies, folders, chains) and every entry's
// bytes copied. Any input must read without a fault, end, and keep the
// record within the bounds the reader promises: each entry has its slot and
// chain, no chain is longer than the FAT, no copy longer than asked; long
// names are decoded wherever they stand. The checker of diskquarry --check
// then runs over the same input and must end with a bounded number of
// findings, each of some text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "diskmason/container/image_reader.h"
#include "diskmason/volume/long_name.h"
#include "diskmason/volume/volume_reader.h"
#include "diskquarry/check.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

const std::uint8_t* sector_of(const void* context, std::uint64_t k) {
  return read_sector(*static_cast<const ImageFile*>(context), k);
}

bool count_bytes(void* context, const std::uint8_t*, std::size_t length) {
  *static_cast<std::uint64_t*>(context) += length;
  return true;
}

void read_as(ImageFormat format, const std::uint8_t* data, std::size_t size) {
  ImageFile image = open_image_file(format, data, size);
  const std::uint8_t* boot = boot_sector_bytes(image, BOOT_FIELDS_END);
  if (boot == nullptr) return;
  BootFields fields = read_boot_fields(boot);
  std::vector<ContainerFinding> findings;
  if (!index_sectors(image, fields.bytesPerSector, fields.sectorsPerTrack, fields.headCount, findings)) return;
  SectorSource sectors{sector_of, &image};
  VolumeRead volume;
  if (read_volume(boot, sectors, 0, volume) != VolumeOpened::Read) return;
  const std::size_t entries = volume.tree.entries.size();
  check(volume.chains.size() == entries && volume.slotOf.size() == entries);
  // Every entry comes from a slot of 32 bytes that the image holds.
  check(entries - 1 <= size / 32);
  for (std::uint32_t i = 1; i < entries; ++i) {
    if (volume.fat != nullptr) check(volume.chains[i].length <= volume.fat->size());
    std::uint64_t copied = 0;
    std::uint64_t limit = volume.tree.entries[i].size % 65536;
    check(copy_entry_bytes(volume, sectors, i, limit, count_bytes, &copied) == copied && copied <= limit);
    std::string longName;
    if (long_name_of(volume, i, longName)) check(!longName.empty());
  }
}

struct FindingCount {
  std::uint64_t findings;
};

void count_finding(void* context, bool, const std::string& text) {
  check(!text.empty());
  ++static_cast<FindingCount*>(context)->findings;
}

std::string stored_name(void* context, std::uint32_t entry) {
  return static_cast<const VolumeRead*>(context)->tree.entries[entry].name;
}

void check_as(ImageFormat format, const std::uint8_t* data, std::size_t size) {
  ImageFile image = open_image_file(format, data, size);
  std::vector<ContainerFinding> found;
  FindingCount count{0};
  CheckSink sink{count_finding, &count};
  CheckedLayout layout;
  if (!check_image_and_boot(image, found, sink, layout)) return;
  const std::uint8_t* boot = boot_sector_bytes(image, BOOT_FIELDS_END);
  SectorSource sectors{sector_of, &image};
  VolumeRead volume;
  if (read_volume(boot, sectors, 0, volume) != VolumeOpened::Read) return;
  EntryNamer namer{stored_name, &volume};
  check_allocation(volume, sectors, layout, namer, sink);
  check_entries(volume, namer, sink);
  // A few findings for each entry, slot and cluster at most.
  check(count.findings <= 64 + 8 * (volume.tree.entries.size() + volume.slots.size() + FAT_ENTRY_COUNT));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  read_as(recognise_format(data, size), data, size);
  if (size != 0) read_as(data[0] % 2 == 0 ? ImageFormat::Raw : ImageFormat::Dcp, data, size);
  if (size != 0) check_as(data[0] % 2 == 0 ? ImageFormat::Raw : ImageFormat::Dcp, data, size);
  return 0;
}
