#include "textconv/sjis_check.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Every finding in text, one description per line.
std::string check(const std::string& text) {
  struct Context {
    const std::string* text;
    std::string found;
  } context{&text, ""};
  auto collect = [](void* c, const TextFinding& f) {
    Context& context = *static_cast<Context*>(c);
    char line[200];
    describe_finding(f, reinterpret_cast<const std::uint8_t*>(context.text->data()), line, sizeof line);
    context.found += std::to_string(f.offset) + ": " + line + "\n";
  };
  check_sjis_text(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<std::uint32_t>(text.size()), collect,
                  &context);
  return context.found;
}

}  // namespace

TEST(SjisCheck, FindsAndDescribesWhatPassesThroughUnconverted) {
  const std::string kept = " is not in the Shift-JIS table (its UTF-8 bytes are kept)";
  const std::pair<std::string, std::string> cases[] = {
      // Table characters, pairs that are one code, ASCII controls, the four-byte U+0000.
      {"あA漢ｱ\\~¥‾\xe3\x81\x8b\xe3\x82\x9a\t\xf0\x80\x80\x80", ""},
      {"a\xe2\x80\x95", "1: U+2015 '―'" + kept + "; write U+2014 '—' (815Ch) instead\n"},
      {"\xf0\x9f\x98\x80", "0: U+1F600 '\xf0\x9f\x98\x80'" + kept + "\n"},
      {"a\xff\xfe" "b\xe3\x81", "1: bytes FF FE are not UTF-8 (kept as they are)\n4: bytes E3 81 are not UTF-8 (kept as they are)\n"},
      {"\xc0\xaf\xed\xa0\x80!\xff", "0: bytes C0 AF ED A0 80 are not UTF-8 (kept as they are)\n6: byte FF is not UTF-8 (kept as it is)\n"},
      // Characters that would act on a terminal are named by number only.
      {"\xc2\x9b\xe2\x80\xae", "0: U+009B" + kept + "\n2: U+202E" + kept + "\n"},
  };
  for (const auto& [text, found] : cases) EXPECT_EQ(check(text), found) << text;
}
