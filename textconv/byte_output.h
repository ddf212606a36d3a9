// A filter's output: the 2048-byte buffer with its fill count and stream,
// pass-through copying and assembler byte lists ("82h, 0a0h, 41h").
#pragma once

#include <cstdint>
#include <cstdio>

#include "textconv/reporter.h"

// The size of the filters' output buffer, input block and literal buffer.
constexpr std::uint32_t BLOCK_SIZE = 2048;

// What a filter writes collects in an area of this size before it goes to
// the stream in one write.
constexpr std::uint32_t OUTPUT_AREA_SIZE = 128 * 1024;

// One filter run's output. Text and byte lists fill its buffer; a full
// buffer stays in the area, and the next buffer follows it, until the area
// has no room for another.
struct FilterOutput {
  std::FILE* stream;
  std::uint32_t fill;       // bytes in the buffer
  std::uint8_t* buffer;     // BLOCK_SIZE bytes in area, after the written ones
  std::uint32_t written;    // bytes written out of buffers, not yet sent to the stream
  std::uint8_t area[OUTPUT_AREA_SIZE];
};

// Starts an empty output to stream.
void start_output(FilterOutput& out, std::FILE* stream);

// Copies text into the buffer; a buffer that becomes full goes out whole.
void output_text(FilterOutput& out, const std::uint8_t* bytes, std::uint32_t length);
// Appends the bytes as an assembler byte list; the text of one byte never
// straddles two buffers, so every write ends with a whole entry.
void output_byte_list(FilterOutput& out, const std::uint8_t* bytes, std::uint32_t count);

// A scanner text handler whose context is a FilterOutput: copies the text.
void copy_text(void* output, const std::uint8_t* bytes, std::uint32_t length);

// A message hook whose context is a FilterOutput: what its buffers wrote out
// so far goes to the stream (the buffer being filled stays).
void send_written(void* output);

// While it lives, the reporter sends what the output wrote out so far to its
// stream before each one-line message, as if the output were unbuffered.
struct OutputBeforeMessages {
  Reporter& reporter;
  OutputBeforeMessages(Reporter& r, FilterOutput& out) : reporter(r) {
    r.beforeMessage = send_written;
    r.hookContext = &out;
  }
  ~OutputBeforeMessages() {
    reporter.beforeMessage = nullptr;
    reporter.hookContext = nullptr;
  }
  OutputBeforeMessages(const OutputBeforeMessages&) = delete;
  OutputBeforeMessages& operator=(const OutputBeforeMessages&) = delete;
};

// Sends everything, the buffer's bytes included, to the stream.
void flush_output(FilterOutput& out);
