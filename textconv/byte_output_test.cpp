#include "textconv/byte_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// A stream that keeps what the writers hand to it, unbuffered. With the GNU
// C library it also keeps each write apart, so tests see the pieces.
struct Recorder {
  std::FILE* stream;
#ifdef __GLIBC__
  std::vector<std::string> pieces;
  Recorder() {
    cookie_io_functions_t io{};
    io.write = [](void* self, const char* data, size_t size) -> ssize_t {
      static_cast<Recorder*>(self)->pieces.emplace_back(data, size);
      return static_cast<ssize_t>(size);
    };
    stream = fopencookie(this, "wb", io);
    setvbuf(stream, nullptr, _IONBF, 0);
  }
  std::string written() const {
    std::string all;
    for (const std::string& piece : pieces) all += piece;
    return all;
  }
#else
  std::vector<std::string> pieces;  // not seen here
  Recorder() : stream(std::tmpfile()) { setvbuf(stream, nullptr, _IONBF, 0); }
  std::string written() const {
    std::string all(static_cast<std::size_t>(std::ftell(stream)), '\0');
    std::rewind(stream);
    all.resize(std::fread(all.data(), 1, all.size(), stream));
    std::fseek(stream, 0, SEEK_END);
    return all;
  }
#endif
  ~Recorder() { std::fclose(stream); }
};

// An output to the recorder whose buffer already holds `fill` bytes 'x'.
std::unique_ptr<FilterOutput> output_to(Recorder& rec, std::uint32_t fill = 0) {
  auto out = std::make_unique<FilterOutput>();
  start_output(*out, rec.stream);
  const std::string filler(fill, 'x');
  output_text(*out, reinterpret_cast<const std::uint8_t*>(filler.data()), fill);
  return out;
}

// The bytes in the buffer being filled.
std::string buffered(const FilterOutput& out) { return std::string(reinterpret_cast<const char*>(out.buffer), out.fill); }

std::string list_text(const std::vector<std::uint8_t>& bytes) {
  Recorder rec;
  auto out = output_to(rec);
  output_byte_list(*out, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  send_written(out.get());
  EXPECT_EQ(rec.written(), "");
  return buffered(*out);
}

}  // namespace

TEST(ByteList, FormatsBytes) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    const char* text;
  } cases[] = {
      {{0x82, 0xA0, 0x41, 0x0A, 0xFF}, "82h, 0a0h, 41h, 0ah, 0ffh"},
      {{0x00}, "00h"},
      {{}, ""},
      {{0x9F, 0xA0, 0x09, 0x10}, "9fh, 0a0h, 09h, 10h"},
      {{0xBC, 0xDE}, "0bch, 0deh"},
  };
  for (const Case& c : cases) EXPECT_EQ(list_text(c.bytes), c.text);
}

TEST(ByteList, NeverSplitsTheTextOfOneByte) {
  const std::string filler(2045, 'x');
  const std::uint8_t small[] = {0x41, 0x42};
  // "41h" still fits at 2045; the full buffer goes out when "42h" follows.
  {
    Recorder rec;
    auto out = output_to(rec, 2045);
    output_byte_list(*out, small, 1);
    EXPECT_EQ(out->fill, BLOCK_SIZE);
    send_written(out.get());
    EXPECT_EQ(rec.written(), "");
    // A buffer left full by a byte list goes out before any text is copied.
    output_text(*out, reinterpret_cast<const std::uint8_t*>("z"), 1);
    send_written(out.get());
    EXPECT_EQ(rec.written(), filler + "41h");
    EXPECT_EQ(buffered(*out), "z");
  }
  {
    Recorder rec;
    auto out = output_to(rec, 2045);
    output_byte_list(*out, small, 2);
    send_written(out.get());
    EXPECT_EQ(rec.written(), filler + "41h");
    EXPECT_EQ(buffered(*out), ", 42h");
  }
  // "0a0h" does not fit: the 2045 bytes go out first.
  {
    Recorder rec;
    auto out = output_to(rec, 2045);
    const std::uint8_t big[] = {0xA0};
    output_byte_list(*out, big, 1);
    send_written(out.get());
    EXPECT_EQ(rec.written(), filler);
    EXPECT_EQ(buffered(*out), "0a0h");
  }
  // A long list: what goes out ends with a whole entry, and with the buffer
  // it gives the list.
  {
    Recorder rec;
    auto out = output_to(rec);
    std::vector<std::uint8_t> bytes(3000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    output_byte_list(*out, bytes.data(), 3000);
    send_written(out.get());
    for (const std::string& w : rec.pieces) EXPECT_EQ(w.back(), 'h');
    std::string all = rec.written() + buffered(*out);
    EXPECT_EQ(all.size(), 3000u * 5 - 2 + std::count_if(bytes.begin(), bytes.end(),
                                                         [](std::uint8_t b) { return b >= 0xA0; }));
    EXPECT_EQ(all.substr(0, 14), "00h, 07h, 0eh,");
  }
}

TEST(OutputText, WholeBuffersGoOutAndTheRestWaits) {
  Recorder rec;
  std::string src;
  for (int i = 0; i < 5000; ++i) src += static_cast<char>('a' + i % 26);
  auto out = output_to(rec);
  output_text(*out, reinterpret_cast<const std::uint8_t*>(src.data()), 5000);
  send_written(out.get());
  EXPECT_EQ(rec.written(), src.substr(0, 2 * BLOCK_SIZE));
  EXPECT_EQ(buffered(*out), src.substr(2 * BLOCK_SIZE));
  flush_output(*out);
  EXPECT_EQ(rec.written(), src);
}
