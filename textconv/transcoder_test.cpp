#include "textconv/transcoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Byte sequences in lexicographic order, compared byte by byte (the
// library's vector comparison draws a false overread warning from GCC 12 at -O3).
struct SequenceOrder {
  bool operator()(const Bytes& a, const Bytes& b) const {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
      if (a[i] != b[i]) return a[i] < b[i];
    }
    return a.size() < b.size();
  }
};
// The table's sequences and their codes.
using Mapping = std::map<Bytes, std::uint16_t, SequenceOrder>;
using SequenceSet = std::set<Bytes, SequenceOrder>;

Bytes to_sjis(const Bytes& in) {
  Bytes out(2 * in.size() + 1);
  out.resize(utf8_to_sjis(in.data(), static_cast<std::uint32_t>(in.size()), out.data(), sjis_table.codes,
                          sjis_table.trie));
  return out;
}

Bytes to_sjis16(const Bytes& in) {
  Bytes out(2 * in.size() + 1);
  out.resize(utf8_to_sjis16(in.data(), static_cast<std::uint32_t>(in.size()), out.data(), sjis_table.codes,
                            sjis_table.trie));
  return out;
}

// The units that for_each_sjis_unit hands on, high byte first.
Bytes units_of(const Bytes& in) {
  Bytes out;
  for_each_sjis_unit(in.data(), static_cast<std::uint32_t>(in.size()), [&out](std::uint32_t unit) {
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
    out.push_back(static_cast<std::uint8_t>(unit));
  });
  return out;
}

struct Example {
  const char* what;
  Bytes utf8;
  Bytes sjis;
  Bytes sjis16;
};

TEST(Transcoder, Examples) {
  const Example examples[] = {
      {"empty", {}, {}, {}},
      {"hiragana a", {0xE3, 0x81, 0x82}, {0x82, 0xA0}, {0x82, 0xA0}},
      {"kanji", {0xE6, 0xBC, 0xA2, 0xE5, 0xAD, 0x97}, {0x8A, 0xBF, 0x8E, 0x9A}, {0x8A, 0xBF, 0x8E, 0x9A}},
      {"ideographic full stop", {0xE3, 0x80, 0x82}, {0x81, 0x42}, {0x81, 0x42}},
      {"halfwidth katakana", {0xEF, 0xBD, 0xB1}, {0xB1}, {0x00, 0xB1}},
      {"ascii", {'A'}, {0x41}, {0x00, 0x41}},
      {"backslash", {'\\'}, {0x81, 0x5F}, {0x81, 0x5F}},
      {"tilde", {'~'}, {0x81, 0xB0}, {0x81, 0xB0}},
      {"yen sign", {0xC2, 0xA5}, {0x5C}, {0x00, 0x5C}},
      {"overline", {0xE2, 0x80, 0xBE}, {0x7E}, {0x00, 0x7E}},
      {"four-byte kanji", {0xF0, 0xA1, 0xA7, 0x83}, {0xF2, 0x9E}, {0xF2, 0x9E}},
      {"ka with semi-voiced mark", {0xE3, 0x81, 0x8B, 0xE3, 0x82, 0x9A}, {0x82, 0xF5}, {0x82, 0xF5}},
      {"ka then ascii", {0xE3, 0x81, 0x8B, 'A'}, {0x82, 0xA9, 0x41}, {0x82, 0xA9, 0x00, 0x41}},
      {"ka then voiced mark", {0xE3, 0x81, 0x8B, 0xE3, 0x82, 0x9B}, {0x82, 0xA9, 0x81, 0x4A}, {0x82, 0xA9, 0x81, 0x4A}},
      {"ka then cut-off mark", {0xE3, 0x81, 0x8B, 0xE3, 0x82}, {0x82, 0xA9, 0xE3, 0x82}, {0x82, 0xA9, 0x00, 0xE3, 0x00, 0x82}},
      {"ka then 00 is one match", {0xE3, 0x81, 0x8B, 0x00}, {0x82, 0xA9}, {0x82, 0xA9}},
      {"two-byte pair start", {0xC3, 0xA6, 0xCC, 0x80}, {0x86, 0x63}, {0x86, 0x63}},
      {"two-byte pair start alone", {0xC3, 0xA6, 'x'}, {0x85, 0x7B, 0x78}, {0x85, 0x7B, 0x00, 0x78}},
      {"tone letters pair", {0xCB, 0xA5, 0xCB, 0xA9}, {0x86, 0x86}, {0x86, 0x86}},
      {"horizontal bar unknown", {0xE2, 0x80, 0x95}, {0xE2, 0x80, 0x95}, {0x00, 0xE2, 0x00, 0x80, 0x00, 0x95}},
      {"fullwidth reverse solidus unknown", {0xEF, 0xBC, 0xBC}, {0xEF, 0xBC, 0xBC}, {0x00, 0xEF, 0x00, 0xBC, 0x00, 0xBC}},
      {"emoji unknown", {0xF0, 0x9F, 0x98, 0x80}, {0xF0, 0x9F, 0x98, 0x80}, {0x00, 0xF0, 0x00, 0x9F, 0x00, 0x98, 0x00, 0x80}},
      {"stray continuation byte", {0x80, 'A'}, {0x80, 0x41}, {0x00, 0x80, 0x00, 0x41}},
      {"cut off at end", {0xE3, 0x81}, {0xE3, 0x81}, {0x00, 0xE3, 0x00, 0x81}},
      {"broken sequence re-read", {0xE3, 0x81, 'B'}, {0xE3, 0x81, 0x42}, {0x00, 0xE3, 0x00, 0x81, 0x00, 0x42}},
      {"byte 00", {0x00}, {0x00}, {0x00, 0x00}},
      {"four-byte zero", {0xF0, 0x80, 0x80, 0x80}, {0x00}, {0x00, 0x00}},
      {"cut-off four-byte zero", {0xF0, 0x80, 0x80}, {0xF0, 0x80, 0x80}, {0x00, 0xF0, 0x00, 0x80, 0x00, 0x80}},
  };
  for (const Example& ex : examples) {
    EXPECT_EQ(to_sjis(ex.utf8), ex.sjis) << ex.what;
    EXPECT_EQ(to_sjis16(ex.utf8), ex.sjis16) << ex.what;
    EXPECT_EQ(units_of(ex.utf8), ex.sjis16) << ex.what;
  }
}

// The committed mapping, read independently of the generated trie.
Mapping read_mapping() {
  const char* root = std::getenv("TK_SOURCE_DIR");
  std::string path = root != nullptr ? std::string(root) + "/textconv/data/sjis_mapping.txt" : std::string(__FILE__);
  if (root == nullptr) path.replace(path.rfind('/') + 1, std::string::npos, "data/sjis_mapping.txt");
  Mapping mapping;
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return mapping;
  char line[256];
  while (std::fgets(line, sizeof line, in) != nullptr) {
    unsigned index = 0;
    unsigned code = 0;
    char hex[16];
    if (line[0] == '#' || std::sscanf(line, "%u %x %15s", &index, &code, hex) != 3) continue;
    Bytes seq;
    for (const char* h = hex; h[0] != '\0' && h[1] != '\0'; h += 2)
      seq.push_back(static_cast<std::uint8_t>(std::stoul(std::string(h, 2), nullptr, 16)));
    mapping[seq] = static_cast<std::uint16_t>(code);
  }
  std::fclose(in);
  return mapping;
}

Bytes code_bytes(std::uint16_t code) {
  if (code <= 0xFF) return {static_cast<std::uint8_t>(code)};
  return {static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code)};
}

TEST(Transcoder, EveryTableSequenceGivesItsCode) {
  Mapping mapping = read_mapping();
  ASSERT_EQ(mapping.size(), SJIS_CODE_COUNT);
  for (const auto& [seq, code] : mapping) {
    EXPECT_EQ(to_sjis(seq), code_bytes(code)) << std::hex << code;
    EXPECT_EQ(to_sjis16(seq), (Bytes{static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code)}))
        << std::hex << code;
  }
}

// Slow reference: at each position the longest table sequence wins, else one
// byte passes through. A sequence that begins a longer one also swallows a
// following byte 00 (that entry of its trie block is the accept mark).
Bytes reference_sjis(const Bytes& in, const Mapping& mapping,
                     const SequenceSet& pair_starts) {
  Bytes out;
  std::size_t p = 0;
  while (p < in.size()) {
    std::size_t best = 0;
    for (std::size_t n = 1; n <= 6 && p + n <= in.size(); ++n)
      if (mapping.count(Bytes(in.begin() + p, in.begin() + p + n)) != 0) best = n;
    if (best == 0) {
      out.push_back(in[p++]);
      continue;
    }
    Bytes seq(in.begin() + p, in.begin() + p + best);
    Bytes code = code_bytes(mapping.at(seq));
    out.insert(out.end(), code.begin(), code.end());
    p += best;
    if (p < in.size() && in[p] == 0x00 && pair_starts.count(seq) != 0) ++p;
  }
  return out;
}

TEST(Transcoder, MatchesSlowReferenceOnRandomFragments) {
  Mapping mapping = read_mapping();
  ASSERT_EQ(mapping.size(), SJIS_CODE_COUNT);
  SequenceSet pair_starts;
  std::vector<Bytes> fragments = {{0x00}, {0x80}, {0xFF}, {0xE3}, {0xE3, 0x82}, {0xF0, 0x80}, {0xE3, 0x82, 0x9A},
                                  {0xCC, 0x80}, {0xCC, 0x81}, {0xCB, 0xA5}, {0xCB, 0xA9}};
  for (const auto& [seq, code] : mapping) {
    if (seq.size() == 6) pair_starts.insert(Bytes(seq.begin(), seq.begin() + 3));
    if (seq.size() == 4 && seq[0] < 0xF0) pair_starts.insert(Bytes(seq.begin(), seq.begin() + 2));
    if (seq.size() >= 4 || code % 97 == 0) fragments.push_back(seq);
  }
  ASSERT_EQ(pair_starts.size(), 21u);
  for (const Bytes& s : pair_starts) fragments.push_back(s);

  std::mt19937 rng(12345);
  for (int round = 0; round < 3000; ++round) {
    Bytes in;
    int count = static_cast<int>(rng() % 12);
    for (int k = 0; k < count; ++k) {
      const Bytes& f = fragments[rng() % fragments.size()];
      // Sometimes cut a fragment short to leave an incomplete sequence.
      std::size_t take = rng() % 4 == 0 ? rng() % f.size() + 1 : f.size();
      in.insert(in.end(), f.begin(), f.begin() + static_cast<std::ptrdiff_t>(take));
    }
    Bytes expected = reference_sjis(in, mapping, pair_starts);
    Bytes got = to_sjis(in);
    ASSERT_EQ(got, expected) << "round " << round;
    ASSERT_LE(got.size(), 2 * in.size());
    Bytes got16 = to_sjis16(in);
    ASSERT_LE(got16.size(), 2 * in.size());
    ASSERT_EQ(units_of(in), got16) << "round " << round;
    Bytes narrowed;  // the 16-bit units with high byte 0 dropped
    for (std::size_t k = 0; k < got16.size(); k += 2) {
      if (got16[k] != 0) narrowed.push_back(got16[k]);
      narrowed.push_back(got16[k + 1]);
    }
    ASSERT_EQ(narrowed, expected) << "round " << round;
  }
}

}  // namespace

namespace {

// The conversion by the walk of the trie alone: the same table, at another
// address, takes no shortcut.
struct WalkOnly {
  std::unique_ptr<SjisTable> copy = std::make_unique<SjisTable>(sjis_table);
  Bytes convert(const Bytes& in, bool fixedWidth) const {
    Bytes out(2 * in.size() + 1);
    const auto length = static_cast<std::uint32_t>(in.size());
    out.resize(fixedWidth ? utf8_to_sjis16(in.data(), length, out.data(), copy->codes, copy->trie)
                          : utf8_to_sjis(in.data(), length, out.data(), copy->codes, copy->trie));
    return out;
  }
};

}  // namespace

// Every one-, two- and three-byte form (well formed or not), before each kind
// of follower and in runs: the direct lookups of the built-in table, in
// whole texts and unit by unit, agree with the walk.
TEST(Transcoder, DirectLookupsAgreeWithTheWalk) {
  const WalkOnly walk;
  const Bytes followers[] = {{}, {'A'}, {0x00}, {0xE3, 0x82, 0x9A}, {0xCC, 0x80}, {0xCB, 0xA5}, {0x80}, {0xE3}};
  std::vector<Bytes> forms;
  for (unsigned a = 0; a < 0x100; ++a) forms.push_back({static_cast<std::uint8_t>(a)});
  for (unsigned a = 0xC0; a < 0xE0; ++a)
    for (unsigned b = 0x70; b < 0xD0; ++b) forms.push_back({static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)});
  for (unsigned a = 0xE0; a < 0xF0; ++a)
    for (unsigned b = 0x80; b < 0xC0; ++b)
      for (unsigned c = 0x7F; c < 0xC1; ++c)
        forms.push_back({static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(c)});
  for (const Bytes& form : forms) {
    for (const Bytes& follower : followers) {
      Bytes in = form;
      in.insert(in.end(), follower.begin(), follower.end());
      for (const Bytes& run : {form, form, Bytes{'x', 'y', 'z'}, form, follower}) in.insert(in.end(), run.begin(), run.end());
      for (std::size_t cut : {form.size() + follower.size(), in.size()}) {
        const Bytes part(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(cut));
        ASSERT_EQ(to_sjis(part), walk.convert(part, false)) << testing::PrintToString(part);
        ASSERT_EQ(to_sjis16(part), walk.convert(part, true)) << testing::PrintToString(part);
        ASSERT_EQ(units_of(part), walk.convert(part, true)) << testing::PrintToString(part);
      }
    }
  }
}
