// Small entry trees, an in-memory FileSource and a recording ByteSink for
// the tests of the volume and of the containers around it.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "diskmason/model/disk_params.h"
#include "diskmason/model/entry_tree.h"
#include "diskmason/volume/volume_writer.h"

namespace volume_test {

// 64-byte sectors, eight a track, one FAT of one sector.
inline DiskParams small_disk(std::uint8_t sectorsPerCluster, std::uint16_t rootEntries, std::uint16_t totalSectors) {
  DiskParams p{};
  p.bytesPerSector = 64;
  p.sectorsPerCluster = sectorsPerCluster;
  p.fatCount = 1;
  p.sectorsPerFat = 1;
  p.rootEntries = rootEntries;
  p.totalSectors = totalSectors;
  p.sectorsPerTrack = 8;
  return p;
}

// A file of a list; the folders on its path are made with it.
struct FileLine {
  std::string path;
  std::uint32_t size = 0;
  std::uint16_t start = START_NOT_FIXED;
  std::uint8_t attributes = 0x20;
};

inline EntryTree tree_of(const std::vector<FileLine>& lines) {
  EntryTree tree;
  EXPECT_TRUE(start_tree(tree));
  for (const FileLine& line : lines) {
    PlaceResult placed = add_path(tree, reinterpret_cast<const std::uint8_t*>(line.path.data()),
                                  static_cast<std::uint32_t>(line.path.size()), 0, 1);
    if (placed.outcome != PlaceOutcome::Placed) {
      ADD_FAILURE() << "not placed: " << line.path;
      continue;
    }
    Entry& file = tree.entries[placed.file];
    file.size = line.size;
    file.startCluster = line.start;
    file.fixed = line.start != START_NOT_FIXED;
    file.attributes = line.attributes;
  }
  return tree;
}

// The entry of an image path as the list wrote it ("" is the root).
inline std::uint32_t entry_at(const EntryTree& tree, const std::string& path) {
  for (std::uint32_t i = 0; i < tree.entries.size(); ++i) {
    if (tree.entries[i].imagePath == path) return i;
  }
  ADD_FAILURE() << "no entry " << path;
  return 0;
}

// File contents by entry; an entry without one cannot be opened. Each
// `missed` call is logged as "open N" or "short N".
struct MemoryFiles {
  std::map<std::uint32_t, std::string> contents;
  std::vector<std::string> missed;
  std::string unread;  // of the open file

  FileSource source() {
    auto open = [](void* self, std::uint32_t entry) {
      auto& f = *static_cast<MemoryFiles*>(self);
      auto found = f.contents.find(entry);
      if (found == f.contents.end()) return FileOpened::Missing;
      f.unread = found->second;
      return FileOpened::Open;
    };
    auto read = [](void* self, std::uint8_t* buffer, std::uint32_t length) {
      auto& f = *static_cast<MemoryFiles*>(self);
      auto n = static_cast<std::uint32_t>(f.unread.copy(reinterpret_cast<char*>(buffer), length));
      f.unread.erase(0, n);
      return n;
    };
    auto close = [](void* self) { static_cast<MemoryFiles*>(self)->unread.clear(); };
    auto missed = [](void* self, std::uint32_t entry, bool shortened) {
      static_cast<MemoryFiles*>(self)->missed.push_back((shortened ? "short " : "open ") + std::to_string(entry));
    };
    return FileSource{open, read, close, missed, this};
  }
};

// Keeps what it is given and refuses from write number refuseFrom on (0: never).
struct MemorySink {
  std::string bytes;
  std::uint32_t calls = 0;
  std::uint32_t refuseFrom = 0;

  ByteSink sink() {
    auto write = [](void* self, const std::uint8_t* data, std::size_t length) {
      auto& s = *static_cast<MemorySink*>(self);
      ++s.calls;
      if (s.refuseFrom != 0 && s.calls >= s.refuseFrom) return false;
      s.bytes.append(reinterpret_cast<const char*>(data), length);
      return true;
    };
    return ByteSink{write, this};
  }
};

}  // namespace volume_test
