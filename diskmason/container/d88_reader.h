// Reading a D88 image: recognising it, and finding each sector of the
// volume by the cylinder, head and sector number its header records, not by
// its place in the track. Every offset and count the file gives is checked
// against its size before use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "diskmason/container/image_reader.h"

// True when the bytes look like a D88 image: the header's size is the
// file's, the write protection and media bytes are known values, and the
// track offsets lie past the offset table and within the file, the first
// track starting with a whole sector.
bool looks_like_d88(const std::uint8_t* bytes, std::size_t size);

// The bytes of cylinder 0, head 0, sector 1 when at least length of them
// are there; nullptr otherwise.
const std::uint8_t* d88_first_sector(const std::uint8_t* bytes, std::size_t size, std::size_t length);

// The sectors a track and heads the records show: the sector count the
// first present track records, and one more than the highest head the first
// record of any track names; 0 and 0 when no track shows them. Reads one
// record header a track.
struct D88TrackShape {
  std::uint32_t sectorsPerTrack;
  std::uint32_t headCount;
  std::uint32_t presentTracks;  // tracks whose first record the file holds
};
D88TrackShape d88_track_shape(const std::uint8_t* bytes, std::size_t size);

// Fills image.sectorPlaces for the image's sector size, sectors a track and
// heads (not 0), and says in findings what does not fit.
void index_d88_sectors(ImageFile& image, std::vector<ContainerFinding>& findings);
