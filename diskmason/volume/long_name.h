// The long names other systems keep beside a short entry: slots of
// attributes 0Fh just before it, each with 13 UTF-16 units, a sequence
// number (the last one flagged 40h) and the checksum of the short name.
#pragma once

#include <cstdint>
#include <string>

#include "diskmason/volume/volume_reader.h"

// The checksum a long-name slot holds of the 11 bytes of its short name.
std::uint8_t short_name_checksum(const std::uint8_t* shortName);

// The entry's long name in UTF-8, when whole slots with the right sequence
// and checksum stand before its slot; false otherwise.
bool long_name_of(const VolumeRead& volume, std::uint32_t entry, std::string& utf8);
