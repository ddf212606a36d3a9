#include "diskmason/driver/utf8_path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

std::vector<std::uint16_t> convert(const std::string& s) {
  std::vector<std::uint16_t> out(s.size() + 1, 0xABCD);
  std::uint32_t n = utf8_to_utf16(reinterpret_cast<const std::uint8_t*>(s.data()),
                                  static_cast<std::uint32_t>(s.size()), out.data());
  EXPECT_LE(n, s.size());
  EXPECT_EQ(out[s.size()], 0xABCD) << "wrote past one unit per byte";
  out.resize(n);
  return out;
}

TEST(Utf8ToUtf16, ConvertsAndDropsMalformedSequences) {
  using U = std::vector<std::uint16_t>;
  struct Case {
    const char* what;
    std::string bytes;
    U units;
  } cases[] = {
      {"ascii", "dir/a.txt", {'d', 'i', 'r', '/', 'a', '.', 't', 'x', 't'}},
      {"two bytes", "\xC3\xA9", {0x00E9}},
      {"three bytes", "\xE3\x81\x82", {0x3042}},
      {"four bytes", "\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
      {"first above BMP", "\xF0\x90\x80\x80", {0xD800, 0xDC00}},
      {"last code point", "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
      {"beyond U+10FFFF", "\xF7\xBF\xBF\xBF", {0xDFBF, 0xDFFF}},
      {"truncated at end", "a\xE3\x81", {'a'}},
      {"truncated before ascii", "\xE3\x81z", {'z'}},
      {"truncated four-byte", "\xF0\x9F\x98", {}},
      {"FF then continuation", "\xFF\x80", {}},
      {"F8 starts nothing", "\xF8\x80\x80\x80\x80q", {'q'}},
      {"lone continuation", "\x80\xBF!", {'!'}},
      {"lead byte restarts", "\xE3\xC3\xA9", {0x00E9}},
      {"extra continuation", "\xC3\xA9\xA9", {0x00E9}},
      {"overlong kept by arithmetic", "\xC0\x80", {0x0000}},
      {"encoded surrogate kept", "\xED\xA0\x80", {0xD800}},
      {"zero byte", std::string("a\0b", 3), {'a', 0, 'b'}},
  };
  for (const Case& c : cases) EXPECT_EQ(convert(c.bytes), c.units) << c.what;
}

class OpenUtf8Path : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.ok());
    dir_ = scratch_.path();
  }
  std::string write(const std::string& name, const std::string& content) {
    std::string path = dir_ + "/" + name;
    write_file(path, content);
    return path;
  }
  static std::string read_all(std::FILE* f) {
    std::string out;
    char buffer[256];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    return out;
  }
  ScratchDir scratch_;
  std::string dir_;
};

TEST_F(OpenUtf8Path, OpensTheSameNonAsciiNameTwice) {
  std::string path = write("\xC3\xA9t\xC3\xA9 \xE6\xBC\xA2\xF0\x9F\x98\x80.bin", std::string("data\0\xFF", 6));
  for (int i = 0; i < 2; ++i) {
    std::FILE* f = open_utf8_path(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(read_all(f), std::string("data\0\xFF", 6));
    std::fclose(f);
  }
}

TEST_F(OpenUtf8Path, OnlyRegularFilesOpen) {
  ASSERT_TRUE(std::filesystem::create_directory(dir_ + "/sub"));
  std::vector<std::string> paths = {dir_ + "/sub", dir_ + "/missing", dir_, ""};
#if defined(_WIN32)
  paths.push_back("NUL");
#else
  ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0644), 0);  // must not block
  paths.push_back(dir_ + "/fifo");
  paths.push_back("/dev/null");
#endif
  for (const std::string& path : paths) EXPECT_EQ(open_utf8_path(path.c_str(), "rb"), nullptr) << path;
  EXPECT_EQ(open_utf8_path(nullptr, "rb"), nullptr);
}

TEST_F(OpenUtf8Path, ModeIsCutAndChecked) {
  std::string path = write("plain", "xyz");
  std::string longMode = "rb" + std::string(300, 'b');
  std::FILE* f = open_utf8_path(path.c_str(), longMode.c_str());
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(read_all(f), "xyz");
  std::fclose(f);
  EXPECT_EQ(open_utf8_path(path.c_str(), ""), nullptr);
  EXPECT_EQ(open_utf8_path(path.c_str(), "q"), nullptr);
  EXPECT_EQ(open_utf8_path(path.c_str(), nullptr), nullptr);
}

TEST_F(OpenUtf8Path, WriteModes) {
  std::string path = dir_ + "/out \xE2\x82\xAC";
  std::FILE* f = open_utf8_path(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("hello", f);
  std::fclose(f);
  f = open_utf8_path(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(read_all(f), "hello");
  std::fclose(f);
#if !defined(_WIN32)  // msvcrt's fopen knows no "x"
  EXPECT_EQ(open_utf8_path(path.c_str(), "wbx"), nullptr);  // exists
#endif
}

}  // namespace
