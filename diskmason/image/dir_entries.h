// FAT directory entries and the writer of one directory.
#pragma once

#include <cstdint>
#include <cstdio>

#include "diskmason/front/records.h"
#include "diskmason/image/disk_format.h"
#include "diskmason/tree/dir_tree.h"

// The SHORT_NAME_SIZE name bytes of the entry for `name`: cut at its last dot
// into a base of at most 8 bytes and an extension of at most 3, each padded
// with spaces; a first byte 0xE5 (the deleted mark) is stored as 0x05. No
// other byte is changed, so a double-byte character may be cut in half.
void make_short_name(const char* name, std::uint8_t* shortName);

// Fills DIR_ENTRY_SIZE bytes at entry from a short name and a node's record.
void build_dir_entry(std::uint8_t* entry, const std::uint8_t* shortName, const FileInfo& info);

// Makes the slots of bytes[0, length) empty: byte 0 of each 0x00, the rest fill.
void clear_dir_slots(std::uint8_t* bytes, std::uint32_t length, std::uint8_t fill);

// write_directory's answer when it wrote nothing.
constexpr std::uint32_t DIRECTORY_NOT_WRITTEN = 0xFFFFFFFF;

// Writes dir's entries ("." and ".." first when withDots), its end marker and
// empty slots to the end of the sector, a block at a time through buffer.
// Returns the sectors written, or DIRECTORY_NOT_WRITTEN when memory for the
// child list could not be had or blockSize is not a positive multiple of
// both 32 and sectorSize.
std::uint32_t write_directory(std::FILE* out, const DirNode* dir, const FileInfo* infos,
                              std::uint8_t* buffer, std::uint32_t blockSize,
                              std::uint32_t sectorSize, std::uint8_t fill, bool withDots);
