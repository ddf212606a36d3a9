// FAT directory entries and the writer of one directory.
#pragma once

#include <cstdint>
#include <cstdio>

#include "diskmason/front/records.h"
#include "diskmason/tree/dir_tree.h"

constexpr std::uint32_t DIR_ENTRY_SIZE = 32;
constexpr std::uint8_t FILL_BYTE = 0xE5;

void store_le16(std::uint8_t* place, std::uint32_t value);
void store_le32(std::uint8_t* place, std::uint32_t value);

// Cuts a name at its last dot into base (at most baseLimit bytes) and
// extension (at most extLimit bytes), both zero-terminated.
void split_short_name(const char* name, char* base, std::uint32_t baseLimit, char* ext,
                      std::uint32_t extLimit);

// Fills 32 bytes at entry from the name parts and the node's record; a first
// name byte 0xE5 (the deleted mark) is stored as 0x05.
void build_dir_entry(std::uint8_t* entry, const char* base, const char* ext, const FileInfo& info);

// Writes dir's entries ("." and ".." first when withDots), its end marker and
// empty slots to the end of the sector, a block at a time through buffer.
// Returns the sectors written, or 0xFFFFFFFF (nothing written) when memory
// for the child list could not be had or blockSize is not a positive multiple
// of both 32 and sectorSize.
std::uint32_t write_directory(std::FILE* out, const DirNode* dir, const FileInfo* infos,
                              std::uint8_t* buffer, std::uint32_t blockSize,
                              std::uint32_t sectorSize, std::uint8_t fill, bool withDots);
