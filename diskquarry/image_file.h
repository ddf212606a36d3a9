// The bytes of an image file, whole: mapped into memory where the host can
// (no copy, and only the pages read are touched), else read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct ImageFileBytes {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::vector<std::uint8_t> read;  // the bytes when they are not mapped
  void* mapped = nullptr;
  std::size_t mappedSize = 0;

  ImageFileBytes() = default;
  ~ImageFileBytes();
  ImageFileBytes(const ImageFileBytes&) = delete;
  ImageFileBytes& operator=(const ImageFileBytes&) = delete;
};

enum class FileLoaded : std::uint8_t { Loaded, CannotOpen, CannotRead, TooLarge };

// Loads the regular file at the UTF-8 path, up to `limit` bytes; errno
// tells why it could not be opened or read.
FileLoaded load_image_file(const char* path, std::size_t limit, ImageFileBytes& out);
