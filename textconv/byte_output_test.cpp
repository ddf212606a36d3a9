#include "textconv/byte_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A stream that keeps what the writers hand to it, unbuffered. With the GNU
// C library it also keeps each write apart, so tests see the pieces.
struct Recorder {
  std::FILE* stream;
#ifdef __GLIBC__
  static constexpr bool SEES_PIECES = true;
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
  static constexpr bool SEES_PIECES = false;
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

std::string list_text(const std::vector<std::uint8_t>& bytes) {
  Recorder rec;
  std::uint8_t buffer[BLOCK_SIZE];
  std::uint32_t fill = write_byte_list(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                       buffer, 0, rec.stream);
  EXPECT_EQ(rec.written(), "");
  return std::string(reinterpret_cast<char*>(buffer), fill);
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
  std::uint8_t buffer[BLOCK_SIZE];
  std::string filler(2045, 'x');
  std::memcpy(buffer, filler.data(), filler.size());

  // "41h" still fits at 2045; the full buffer goes out when "42h" follows.
  {
    Recorder rec;
    const std::uint8_t small[] = {0x41, 0x42};
    std::uint32_t fill = write_byte_list(small, 1, buffer, 2045, rec.stream);
    EXPECT_EQ(fill, BLOCK_SIZE);
    EXPECT_EQ(rec.written(), "");
    std::memcpy(buffer, filler.data(), filler.size());
    fill = write_byte_list(small, 2, buffer, 2045, rec.stream);
    EXPECT_EQ(rec.written(), filler + "41h");
    if (Recorder::SEES_PIECES) {
      EXPECT_EQ(rec.pieces.size(), 1u);
    }
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), fill), ", 42h");
  }
  // "0a0h" does not fit: the 2045 bytes go out first.
  {
    Recorder rec;
    std::memcpy(buffer, filler.data(), filler.size());
    const std::uint8_t big[] = {0xA0};
    std::uint32_t fill = write_byte_list(big, 1, buffer, 2045, rec.stream);
    EXPECT_EQ(rec.written(), filler);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), fill), "0a0h");
  }
  // A long list: every write is whole entries, and together they give the list.
  {
    Recorder rec;
    std::vector<std::uint8_t> bytes(3000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    std::uint32_t fill = write_byte_list(bytes.data(), 3000, buffer, 0, rec.stream);
    for (const std::string& w : rec.pieces) {
      EXPECT_LE(w.size(), BLOCK_SIZE);
      EXPECT_EQ(w.back(), 'h');
    }
    std::string all = rec.written();
    all.append(reinterpret_cast<char*>(buffer), fill);
    EXPECT_EQ(all.size(), 3000u * 5 - 2 + std::count_if(bytes.begin(), bytes.end(),
                                                         [](std::uint8_t b) { return b >= 0xA0; }));
    EXPECT_EQ(all.substr(0, 14), "00h, 07h, 0eh,");
  }
}

TEST(WriteThrough, WritesWholeBuffersAndKeepsTheRest) {
  Recorder rec;
  std::string src;
  for (int i = 0; i < 5000; ++i) src += static_cast<char>('a' + i % 26);
  std::uint8_t buffer[BLOCK_SIZE];
  std::uint32_t fill = write_through(reinterpret_cast<const std::uint8_t*>(src.data()), 5000,
                                     buffer, 0, rec.stream);
  EXPECT_EQ(rec.written(), src.substr(0, 4096));
  if (Recorder::SEES_PIECES) {
    EXPECT_EQ(rec.pieces.size(), 2u);
  }
  EXPECT_EQ(fill, 904u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), fill), src.substr(4096));

  // A buffer left full by a byte list goes out before anything is copied.
  fill = write_through(reinterpret_cast<const std::uint8_t*>("z"), 1, buffer, BLOCK_SIZE,
                       rec.stream);
  EXPECT_EQ(rec.written().size(), 3u * BLOCK_SIZE);
  EXPECT_EQ(fill, 1u);
  EXPECT_EQ(buffer[0], 'z');
}
