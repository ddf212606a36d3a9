#include "diskmason/container/d88_reader.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

#include "diskmason/container/d88.h"

namespace {

constexpr std::uint8_t WRITE_PROTECTED = 0x10;
constexpr std::uint8_t KNOWN_MEDIA[] = {D88_MEDIA_2D, D88_MEDIA_2DD, D88_MEDIA_2HD, D88_MEDIA_1D, D88_MEDIA_1DD};
// Older writers end the offset table after 160 tracks, where their first
// track starts.
constexpr std::uint32_t LEAST_TRACK_SLOTS = 160;

std::uint32_t track_slot(const std::uint8_t* bytes, std::uint32_t t) {
  return load_field(bytes, DiskField{D88_TRACK_OFFSETS.offset + 4 * t, 4});
}

std::uint32_t table_end(std::uint32_t slots) { return D88_TRACK_OFFSETS.offset + 4 * slots; }

// The slots of the offset table: 164, or fewer when a track starts inside
// it past the slot that gives its offset (an offset before that is no
// track's and is left to the checks). The file holds at least
// D88_HEADER_SIZE bytes.
std::uint32_t table_slots(const std::uint8_t* bytes) {
  std::uint32_t slots = D88_TRACK_SLOTS;
  for (std::uint32_t t = 0; t < slots; ++t) {
    std::uint32_t at = track_slot(bytes, t);
    if (at >= table_end(t + 1) && at < table_end(slots)) slots = (at - D88_TRACK_OFFSETS.offset) / 4;
  }
  return slots;
}

// One sector record of a track: its header and, after it, its bytes.
struct SectorRecord {
  std::uint32_t cylinder;
  std::uint32_t head;
  std::uint32_t number;
  std::uint32_t dataSize;
  std::uint64_t dataAt;
};

// Reads the record at `at`; false when its header or bytes pass the end.
bool read_record(const std::uint8_t* bytes, std::size_t size, std::uint64_t at, SectorRecord& r) {
  if (at > size || size - at < D88_SECTOR_HEADER_SIZE) return false;
  const std::uint8_t* h = bytes + at;
  r = SectorRecord{load_field(h, D88_CYLINDER), load_field(h, D88_HEAD), load_field(h, D88_SECTOR),
                   load_field(h, D88_DATA_SIZE), at + D88_SECTOR_HEADER_SIZE};
  return size - r.dataAt >= r.dataSize;
}

// The sector count of the track at `at`, from its first record.
std::uint32_t track_sectors(const std::uint8_t* bytes, std::size_t size, std::uint64_t at) {
  if (at > size || size - at < D88_SECTOR_HEADER_SIZE) return 0;
  return load_field(bytes + at, D88_TRACK_SECTORS);
}

std::string sector_text(std::uint32_t cylinder, std::uint32_t head, std::uint32_t number) {
  return "sector " + std::to_string(cylinder) + "/" + std::to_string(head) + "/" + std::to_string(number);
}

struct Indexer {
  ImageFile& image;
  std::vector<ContainerFinding>& findings;
  void error(std::string text) { findings.push_back({true, std::move(text)}); }
  void warn(std::string text) { findings.push_back({false, std::move(text)}); }
};

// Places one record's sector, when the volume's geometry has it.
void place_record(Indexer& x, std::uint32_t track, const SectorRecord& r, bool& toldTrack) {
  const ImageFile& im = x.image;
  std::string name = sector_text(r.cylinder, r.head, r.number);
  if (r.head >= im.headCount || r.number == 0 || r.number > im.sectorsPerTrack) {
    x.warn("track " + std::to_string(track) + " holds " + name + ", outside the volume's " +
           std::to_string(im.headCount) + " heads and " + std::to_string(im.sectorsPerTrack) + " sectors a track");
    return;
  }
  if (r.dataSize != im.sectorSize) {
    x.error(name + " holds " + std::to_string(r.dataSize) + " bytes; the boot sector gives " +
            std::to_string(im.sectorSize) + " bytes a sector");
    return;
  }
  std::uint64_t recorded = std::uint64_t{r.cylinder} * im.headCount + r.head;
  if (recorded != track && !toldTrack) {
    x.warn("track " + std::to_string(track) + " holds " + name + " of track " + std::to_string(recorded));
    toldTrack = true;
  }
  x.image.sectorPlaces.push_back({recorded * im.sectorsPerTrack + r.number - 1, r.dataAt});
}

// Places the records of track `track` at `at`; returns where they end.
std::uint64_t index_track(Indexer& x, std::uint32_t track, std::uint64_t at) {
  const ImageFile& im = x.image;
  std::uint32_t count = track_sectors(im.bytes, im.size, at);
  if (count == 0) x.warn("track " + std::to_string(track) + " records no sectors");
  bool toldTrack = false;
  for (std::uint32_t i = 0; i < count; ++i) {
    SectorRecord r{};
    if (!read_record(im.bytes, im.size, at, r)) {
      x.error("track " + std::to_string(track) + " is cut short by the end of the file after " + std::to_string(i) +
              " of its " + std::to_string(count) + " sectors");
      break;
    }
    place_record(x, track, r, toldTrack);
    at = r.dataAt + r.dataSize;
  }
  return at;
}

// The present tracks, by offset in the file; a track that starts outside
// the tracks' area or inside an earlier track is said and left out.
void index_tracks(Indexer& x, std::uint32_t slots) {
  const ImageFile& im = x.image;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> tracks;  // offset, track
  for (std::uint32_t t = 0; t < slots; ++t) {
    std::uint32_t at = track_slot(im.bytes, t);
    if (at == 0) continue;
    if (at < table_end(slots) || at >= im.size) {
      x.error("track " + std::to_string(t) + " starts at offset " + std::to_string(at) + ", outside the file's " +
              std::to_string(table_end(slots)) + " to " + std::to_string(im.size) + " bytes of tracks");
      continue;
    }
    tracks.emplace_back(at, t);
  }
  std::sort(tracks.begin(), tracks.end());
  std::uint64_t reach = 0;
  std::uint32_t reachTrack = 0;
  for (const auto& [at, t] : tracks) {
    if (at < reach) {
      x.error("track " + std::to_string(t) + " starts inside track " + std::to_string(reachTrack));
      continue;
    }
    reach = index_track(x, t, at);
    reachTrack = t;
  }
}

// Keeps the first record of each sector, saying which others there are.
void drop_duplicates(Indexer& x) {
  std::vector<SectorPlace>& places = x.image.sectorPlaces;
  std::stable_sort(places.begin(), places.end(),
                   [](const SectorPlace& a, const SectorPlace& b) { return a.sector < b.sector; });
  const ImageFile& im = x.image;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < places.size(); ++i) {
    if (kept != 0 && places[kept - 1].sector == places[i].sector) {
      std::uint64_t track = places[i].sector / im.sectorsPerTrack;
      x.error(sector_text(static_cast<std::uint32_t>(track / im.headCount),
                          static_cast<std::uint32_t>(track % im.headCount),
                          static_cast<std::uint32_t>(places[i].sector % im.sectorsPerTrack) + 1) +
              " is recorded more than once (at offsets " + std::to_string(places[kept - 1].offset) + " and " +
              std::to_string(places[i].offset) + "); the first is read");
      continue;
    }
    places[kept++] = places[i];
  }
  places.resize(kept);
}

}  // namespace

bool looks_like_d88(const std::uint8_t* bytes, std::size_t size) {
  if (size < D88_HEADER_SIZE || load_field(bytes, D88_FILE_SIZE) != size) return false;
  std::uint8_t protect = bytes[D88_WRITE_PROTECT.offset];
  if (protect != 0 && protect != WRITE_PROTECTED) return false;
  if (std::find(std::begin(KNOWN_MEDIA), std::end(KNOWN_MEDIA), bytes[D88_MEDIA.offset]) == std::end(KNOWN_MEDIA)) {
    return false;
  }
  std::uint32_t slots = table_slots(bytes);
  if (slots < LEAST_TRACK_SLOTS) return false;
  std::uint32_t first = 0;
  for (std::uint32_t t = 0; t < slots; ++t) {
    std::uint32_t at = track_slot(bytes, t);
    if (at == 0) continue;
    if (at < table_end(slots) || at >= size) return false;
    if (first == 0 || at < first) first = at;
  }
  SectorRecord r{};
  return first != 0 && track_sectors(bytes, size, first) != 0 && read_record(bytes, size, first, r);
}

const std::uint8_t* d88_first_sector(const std::uint8_t* bytes, std::size_t size, std::size_t length) {
  if (size < D88_HEADER_SIZE) return nullptr;
  std::uint64_t at = track_slot(bytes, 0);
  if (at < table_end(table_slots(bytes))) return nullptr;
  std::uint32_t count = track_sectors(bytes, size, at);
  for (std::uint32_t i = 0; i < count; ++i) {
    SectorRecord r{};
    if (!read_record(bytes, size, at, r)) break;
    if (r.cylinder == 0 && r.head == 0 && r.number == 1) return r.dataSize >= length ? bytes + r.dataAt : nullptr;
    at = r.dataAt + r.dataSize;
  }
  return nullptr;
}

D88TrackShape d88_track_shape(const std::uint8_t* bytes, std::size_t size) {
  D88TrackShape shape{0, 0, 0};
  if (size < D88_HEADER_SIZE) return shape;
  std::uint32_t slots = table_slots(bytes);
  for (std::uint32_t t = 0; t < slots; ++t) {
    std::uint32_t at = track_slot(bytes, t);
    SectorRecord r{};
    if (at < table_end(slots) || at >= size || !read_record(bytes, size, at, r)) continue;
    ++shape.presentTracks;
    if (shape.sectorsPerTrack == 0) shape.sectorsPerTrack = track_sectors(bytes, size, at);
    shape.headCount = std::max(shape.headCount, r.head + 1);
  }
  if (shape.sectorsPerTrack == 0) shape.headCount = 0;
  return shape;
}

void index_d88_sectors(ImageFile& image, std::vector<ContainerFinding>& findings) {
  Indexer x{image, findings};
  if (image.size < D88_HEADER_SIZE) {
    x.error("the file has " + std::to_string(image.size) + " bytes, fewer than a D88 header's " +
            std::to_string(D88_HEADER_SIZE));
    return;
  }
  std::uint32_t recorded = load_field(image.bytes, D88_FILE_SIZE);
  if (recorded != image.size) {
    x.error("the header gives a file size of " + std::to_string(recorded) + " bytes; the file has " +
            std::to_string(image.size));
  }
  index_tracks(x, table_slots(image.bytes));
  drop_duplicates(x);
}
