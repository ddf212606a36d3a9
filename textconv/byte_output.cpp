#include "textconv/byte_output.h"

#include <cstring>

namespace {

// A FilterOutput keeps what its buffer writes out in its area, and the next
// buffer starts behind it; write_out returns that buffer.
struct AreaSink {
  FilterOutput& out;
  std::uint8_t* write_out(std::uint8_t*, std::uint32_t count) {
    out.written += count;
    if (out.written > OUTPUT_AREA_SIZE - BLOCK_SIZE) {
      std::fwrite(out.area, 1, out.written, out.stream);
      out.written = 0;
    }
    out.buffer = out.area + out.written;
    return out.buffer;
  }
};

std::uint32_t copy_into(const std::uint8_t* src, std::uint32_t length, std::uint8_t* buffer, std::uint32_t fill,
                        AreaSink& sink) {
  while (length > 0) {
    std::uint32_t room = BLOCK_SIZE - fill;
    std::uint32_t take = length < room ? length : room;
    std::memcpy(buffer + fill, src, take);
    fill += take;
    src += take;
    length -= take;
    if (fill == BLOCK_SIZE) {
      buffer = sink.write_out(buffer, BLOCK_SIZE);
      fill = 0;
    }
  }
  return fill;
}

// The text of one byte in a list after its first: ", 41h" or ", 0a0h" (a
// number that begins with a letter gets a leading "0"), in the first bytes
// of text and padded to eight, so that it can be copied as one word.
struct ByteText {
  char text[8];
  std::uint32_t length;
};

constexpr ByteText byte_text(std::uint32_t b) {
  constexpr char DIGITS[] = "0123456789abcdef";
  ByteText t{{',', ' '}, 2};
  if (b >= 0xA0) t.text[t.length++] = '0';
  t.text[t.length++] = DIGITS[b >> 4];
  t.text[t.length++] = DIGITS[b & 0x0F];
  t.text[t.length++] = 'h';
  return t;
}

struct ByteTexts {
  ByteText texts[256];
  constexpr ByteTexts() : texts() {
    for (std::uint32_t b = 0; b < 256; ++b) texts[b] = byte_text(b);
  }
};

constexpr ByteTexts BYTE_TEXTS;
constexpr std::uint32_t SEPARATOR = 2;  // ", " before every byte but the first
constexpr std::uint32_t LONGEST_TEXT = 6;

// Appends the text of one byte, from `skip` on, writing out the buffer
// first when it does not fit.
inline std::uint32_t append_byte_text(const ByteText& t, std::uint32_t skip, std::uint8_t*& buffer,
                                      std::uint32_t fill, AreaSink& sink) {
  const std::uint32_t size = t.length - skip;
  if (fill + size > BLOCK_SIZE) {
    buffer = sink.write_out(buffer, fill);
    fill = 0;
  }
  std::memcpy(buffer + fill, t.text + skip, size);
  return fill + size;
}

std::uint32_t list_into(const std::uint8_t* bytes, std::uint32_t count, std::uint8_t* buffer, std::uint32_t fill,
                        AreaSink& sink) {
  if (count == 0) return fill;
  fill = append_byte_text(BYTE_TEXTS.texts[bytes[0]], SEPARATOR, buffer, fill, sink);
  std::uint32_t i = 1;
  while (i < count) {
    // As many texts as surely fit are copied whole, eight bytes at a time;
    // only the last few before the buffer is full are counted out.
    const std::uint32_t room = BLOCK_SIZE - fill;
    const std::uint32_t sure = room >= sizeof(ByteText::text) ? (room - sizeof(ByteText::text)) / LONGEST_TEXT + 1 : 0;
    const std::uint32_t end = count - i < sure ? count : i + sure;
    for (; i < end; ++i) {
      const ByteText& t = BYTE_TEXTS.texts[bytes[i]];
      std::memcpy(buffer + fill, t.text, sizeof t.text);
      fill += t.length;
    }
    if (i < count) fill = append_byte_text(BYTE_TEXTS.texts[bytes[i++]], 0, buffer, fill, sink);
  }
  return fill;
}

}  // namespace

void start_output(FilterOutput& out, std::FILE* stream) {
  out.stream = stream;
  out.fill = 0;
  out.buffer = out.area;
  out.written = 0;
}

void output_text(FilterOutput& out, const std::uint8_t* bytes, std::uint32_t length) {
  AreaSink sink{out};
  out.fill = copy_into(bytes, length, out.buffer, out.fill, sink);
}

void output_byte_list(FilterOutput& out, const std::uint8_t* bytes, std::uint32_t count) {
  AreaSink sink{out};
  out.fill = list_into(bytes, count, out.buffer, out.fill, sink);
}

void copy_text(void* output, const std::uint8_t* bytes, std::uint32_t length) {
  output_text(*static_cast<FilterOutput*>(output), bytes, length);
}

void send_written(void* output) {
  FilterOutput& out = *static_cast<FilterOutput*>(output);
  if (out.written == 0) return;
  std::fwrite(out.area, 1, out.written, out.stream);
  std::memmove(out.area, out.buffer, out.fill);
  out.written = 0;
  out.buffer = out.area;
}

void flush_output(FilterOutput& out) {
  const std::uint32_t count = out.written + out.fill;
  if (count > 0) std::fwrite(out.area, 1, count, out.stream);
  out.written = 0;
  out.fill = 0;
  out.buffer = out.area;
}
