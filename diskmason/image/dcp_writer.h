// Writing a laid-out tree as a DCP image: the 162-byte track header, the
// boot area, the FAT12 copies, the root directory and the data area, in one
// forward pass without seeking.
#pragma once

#include <cstdint>
#include <cstdio>

#include "diskmason/front/host_files.h"
#include "diskmason/front/records.h"
#include "diskmason/image/disk_format.h"
#include "diskmason/image/disk_geometry.h"
#include "diskmason/tree/dir_tree.h"

constexpr std::uint32_t FAT_ENTRY_COUNT = 4096;
constexpr std::uint32_t PACKED_FAT_SIZE = 6144;
// A chain may reach cluster 0xFEF at most: start + count <= FAT_CHAIN_LIMIT.
constexpr std::uint32_t FAT_CHAIN_LIMIT = 0xFF0;
constexpr std::uint16_t FAT_CHAIN_END = 0xFFF;
constexpr std::uint32_t LAYOUT_LIST_START = 4096;

// Outcome bits of write_dcp_image; 0 means the whole image was written.
constexpr std::uint32_t DCP_NO_MEMORY = 1;       // a buffer could not be had
constexpr std::uint32_t DCP_WRITE_FAILED = 2;    // the output stream reported an error
constexpr std::uint32_t DCP_HOST_FILE_FAILED = 4;  // a host file was missing or short
constexpr std::uint32_t DCP_BAD_GEOMETRY = 8;    // the geometry was not planned

enum class HostFileProblem : std::uint8_t { CannotOpen, Shrunk };

// Told about every host file that cannot be reopened or has become shorter.
using HostFileHandler = void (*)(void* context, const char* hostPath, HostFileProblem problem);

// Every node of a tree but the root, in collection order.
struct LayoutList {
  const FileNode** nodes;
  std::uint32_t count;
  std::uint32_t capacity;
};

// Appends dir's subdirectories, then its files (slots in use, slot order),
// growing the list by doubling. False (list unchanged) when memory ran out.
bool collect_layout_nodes(const DirNode* dir, LayoutList& list);

// Sorts order[0..count) (indices into nodes) by ascending startCluster,
// keeping equal start clusters in their given order. scratch holds count
// entries.
void sort_layout_order(const FileNode* const* nodes, std::uint32_t* order, std::uint32_t* scratch,
                       std::uint32_t count, const FileInfo* infos);

// Builds the 4096 FAT entries: the media entries, then one chain per node in
// the given order; a run at cluster 0 or 1 or past 0xFEF gets no chain.
void build_fat(std::uint16_t* entries, std::uint8_t mediaByte, const FileNode* const* nodes,
               const std::uint32_t* order, std::uint32_t count, const FileInfo* infos,
               std::uint32_t clusterSize);

// Packs 4096 12-bit entries into PACKED_FAT_SIZE bytes, two entries per three bytes.
void pack_fat(const std::uint16_t* entries, std::uint8_t* packed);

// Writes the whole pieces of source straight, then the rest zero-padded to
// whole sectors through scratch. Returns the sectors written. pieceSize is
// a multiple of sectorSize and scratch holds one piece.
std::uint32_t write_padded_sectors(std::FILE* out, const std::uint8_t* source, std::uint32_t length,
                                   std::uint8_t* scratch, std::uint32_t pieceSize,
                                   std::uint32_t sectorSize);

// Copies a host file piece by piece, at most byteLimit bytes; the first
// short piece ends the copy, zero-padded to whole sectors. Returns the
// sectors written; *bytesCopied (when given) receives the bytes read.
// pieceSize is a multiple of sectorSize and buffer holds one piece.
std::uint32_t copy_file_sectors(std::FILE* out, HostFile& in, std::uint8_t* buffer,
                                std::uint32_t pieceSize, std::uint32_t sectorSize,
                                std::uint32_t byteLimit = 0xFFFFFFFF,
                                std::uint32_t* bytesCopied = nullptr);

// Writes the image of the tree below root to out, with the areas where
// geometry places them, filled up to geometry.imageSectors. A host file is
// taken from keptFiles when it was kept open there (and closed after the
// copy), else reopened by its pool path; a file that has grown is copied up
// to its measured size. Returns 0 or DCP_* bits.
std::uint32_t write_dcp_image(std::FILE* out, const DiskParams& params, const DiskGeometry& geometry,
                              const DirNode* root, const StringPool& hostPaths,
                              const std::uint8_t* boot, std::uint32_t bootLength,
                              const FileInfo* infos, HostFileHandler onHostFile = nullptr,
                              void* context = nullptr, KeptHostFiles* keptFiles = nullptr);
