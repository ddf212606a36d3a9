#include "textconv/byte_output.h"

#include <cstring>

std::uint32_t write_through(const std::uint8_t* src, std::uint32_t length, std::uint8_t* buffer,
                            std::uint32_t fill, std::FILE* stream) {
  while (length > 0) {
    std::uint32_t room = BLOCK_SIZE - fill;
    std::uint32_t take = length < room ? length : room;
    std::memcpy(buffer + fill, src, take);
    fill += take;
    src += take;
    length -= take;
    if (fill == BLOCK_SIZE) {
      std::fwrite(buffer, 1, BLOCK_SIZE, stream);
      fill = 0;
    }
  }
  return fill;
}

namespace {

// Lower-case hexadecimal digit of a nibble, without a branch.
inline std::uint8_t hex_digit(std::uint32_t nibble) {
  return static_cast<std::uint8_t>('0' + nibble + ((nibble > 9) * 39u));
}

}  // namespace

std::uint32_t write_byte_list(const std::uint8_t* bytes, std::uint32_t count, std::uint8_t* buffer,
                              std::uint32_t fill, std::FILE* stream) {
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t b = bytes[i];
    std::uint32_t size = (i == 0 ? 3u : 5u) + (b >= 0xA0 ? 1u : 0u);
    if (fill + size > BLOCK_SIZE) {
      std::fwrite(buffer, 1, fill, stream);
      fill = 0;
    }
    if (i != 0) {
      buffer[fill++] = ',';
      buffer[fill++] = ' ';
    }
    if (b >= 0xA0) buffer[fill++] = '0';
    buffer[fill++] = hex_digit(b >> 4);
    buffer[fill++] = hex_digit(b & 0x0F);
    buffer[fill++] = 'h';
  }
  return fill;
}

void start_output(FilterOutput& out, std::FILE* stream) {
  out.stream = stream;
  out.fill = 0;
}

void output_text(FilterOutput& out, const std::uint8_t* bytes, std::uint32_t length) {
  out.fill = write_through(bytes, length, out.buffer, out.fill, out.stream);
}

void output_byte_list(FilterOutput& out, const std::uint8_t* bytes, std::uint32_t count) {
  out.fill = write_byte_list(bytes, count, out.buffer, out.fill, out.stream);
}

void copy_text(void* output, const std::uint8_t* bytes, std::uint32_t length) {
  output_text(*static_cast<FilterOutput*>(output), bytes, length);
}

void flush_output(FilterOutput& out) {
  if (out.fill > 0) std::fwrite(out.buffer, 1, out.fill, out.stream);
  out.fill = 0;
}
