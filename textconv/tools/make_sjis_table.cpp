// Host tool run by the build: turns textconv/data/sjis_mapping.txt into the
// C++ source of the constant conversion table (codes, then the byte trie) and
// of the direct lookups derived from the trie.
//
// Usage: make_sjis_table MAPPING OUTPUT
//
// The trie is built by inserting the sequences in table order. Every byte but
// the last follows a negative entry or creates the next free block there; if
// the entry was positive (a shorter sequence ends here) its value moves into
// the new block's entry 0, the block's accept mark. The last byte's entry is
// set to index + 1.
//
// The direct lookups give, for every one-, two- and three-byte UTF-8 form,
// what the transcoder's walk of the trie finds there: its code, 0 when the
// first byte passes through unconverted (a single byte: the byte itself), or
// DIRECT_WALK where the walk must decide (a longer sequence may follow); a
// three-byte form that begins pairs may instead name its code among the
// pair starts (see pair_start_code).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t CODE_COUNT = 11424;
constexpr std::uint32_t BLOCK_COUNT = 760;
constexpr std::size_t MAX_SEQUENCE = 6;
constexpr std::uint16_t DIRECT_WALK = 0xFFFF;
constexpr std::uint16_t DIRECT_PAIR = 0xFF00;
constexpr std::size_t DIRECT_PAIR_LIMIT = 32;

struct Mapping {
  std::uint16_t code;
  std::uint8_t bytes[MAX_SEQUENCE];
  std::size_t length;
};

// Reports a fault in the mapping data (at a line or a table index) and stops.
[[noreturn]] void fail(const char* what, unsigned long where) {
  std::fprintf(stderr, "make_sjis_table: %s (at %lu)\n", what, where);
  std::exit(1);
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads "index code utf8hex ..." lines; '#' lines are comments.
std::vector<Mapping> read_mapping(const char* path) {
  std::FILE* in = std::fopen(path, "rb");
  if (in == nullptr) fail("cannot open the mapping file", 0);
  std::vector<Mapping> rows;
  char line[256];
  unsigned long number = 0;
  while (std::fgets(line, sizeof line, in) != nullptr) {
    ++number;
    if (line[0] == '#' || line[0] == '\n') continue;
    unsigned long index = 0;
    unsigned long code = 0;
    char hex[2 * MAX_SEQUENCE + 3];  // room to notice an over-long field
    if (std::sscanf(line, "%lu %lx %14s", &index, &code, hex) != 3) fail("malformed line", number);
    if (index != rows.size()) fail("index out of order", number);
    if (code > 0xFFFF) fail("code out of range", number);
    std::size_t digits = std::strlen(hex);
    if (digits == 0 || digits % 2 != 0 || digits > 2 * MAX_SEQUENCE) fail("bad byte sequence", number);
    Mapping m{};
    m.code = static_cast<std::uint16_t>(code);
    m.length = digits / 2;
    for (std::size_t k = 0; k < m.length; ++k) {
      int hi = hex_digit(hex[2 * k]);
      int lo = hex_digit(hex[2 * k + 1]);
      if (hi < 0 || lo < 0) fail("bad hex digit", number);
      m.bytes[k] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
    rows.push_back(m);
  }
  std::fclose(in);
  if (rows.size() != CODE_COUNT) fail("wrong number of codes", number);
  return rows;
}

// Builds the trie by the insertion rule above; blocks are 256 entries each.
std::vector<std::int16_t> build_trie(const std::vector<Mapping>& rows) {
  std::vector<std::int16_t> trie(256);  // the root block
  std::size_t blocks = 1;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Mapping& m = rows[i];
    std::size_t block = 0;
    for (std::size_t k = 0; k + 1 < m.length; ++k) {
      std::int16_t& entry = trie[block * 256 + m.bytes[k]];
      if (entry < 0) {
        block = static_cast<std::size_t>(-entry);
        continue;
      }
      std::int16_t moved = entry;
      std::size_t fresh = blocks++;
      if (blocks > BLOCK_COUNT) fail("too many trie blocks", i);
      trie.resize(blocks * 256);
      // trie may have moved: address the entry again.
      trie[block * 256 + m.bytes[k]] = static_cast<std::int16_t>(-static_cast<int>(fresh));
      trie[fresh * 256] = moved;
      block = fresh;
    }
    std::int16_t& last = trie[block * 256 + m.bytes[m.length - 1]];
    if (last != 0) fail("sequence collides with an earlier one", i);
    last = static_cast<std::int16_t>(i + 1);
  }
  if (blocks != BLOCK_COUNT) fail("wrong number of trie blocks", blocks);
  return trie;
}

// What the transcoder's walk from the root finds for exactly these n bytes:
// the code of a sequence that ends with the last of them and goes no
// further, 0 when none of them begins a sequence, else DIRECT_WALK.
std::uint16_t direct_entry(const std::vector<Mapping>& rows, const std::vector<std::int16_t>& trie,
                           const std::uint8_t* bytes, std::size_t n) {
  std::size_t block = 0;
  bool accepted = false;
  for (std::size_t k = 0; k < n; ++k) {
    const std::int16_t entry = trie[block * 256 + bytes[k]];
    if (entry > 0) {
      if (k + 1 < n) return DIRECT_WALK;
      const std::uint16_t code = rows[static_cast<std::size_t>(entry - 1)].code;
      if (code == 0 || code >= DIRECT_PAIR) fail("code not fit for the direct lookups", code);
      return code;
    }
    if (entry == 0) return accepted ? DIRECT_WALK : 0;
    block = static_cast<std::size_t>(-entry);
    accepted = accepted || trie[block * 256] > 0;
  }
  return DIRECT_WALK;
}

bool is_three_byte_form(const std::uint8_t* bytes) {
  return bytes[0] >= 0xE0 && bytes[0] < 0xF0 && (bytes[1] & 0xC0) == 0x80 && (bytes[2] & 0xC0) == 0x80;
}

std::size_t three_byte_index(const std::uint8_t* bytes) {
  return std::size_t{bytes[0] & 0x0Fu} << 12 | std::size_t{bytes[1] & 0x3Fu} << 6 | (bytes[2] & 0x3Fu);
}

// The code of a three-byte form that is a sequence of its own and begins
// longer ones, when each of those goes on with a three-byte form whose entry
// is 0 (or with no three-byte form at all): then a following three-byte form
// whose entry is not 0 leaves this one standing alone. Else 0.
std::uint16_t pair_start_code(const std::vector<Mapping>& rows, const std::vector<std::int16_t>& trie,
                              const std::vector<std::uint16_t>& three, const std::uint8_t* form) {
  std::size_t block = 0;
  for (std::size_t k = 0; k < 3; ++k) {
    const std::int16_t entry = trie[block * 256 + form[k]];
    if (entry >= 0) return 0;
    block = static_cast<std::size_t>(-entry);
  }
  const std::int16_t accept = trie[block * 256];
  if (accept <= 0) return 0;
  for (const Mapping& m : rows) {
    if (m.length <= 3 || std::memcmp(m.bytes, form, 3) != 0) continue;
    const std::uint8_t* rest = m.bytes + 3;
    if (rest[0] < 0xE0 || rest[0] >= 0xF0) continue;
    if (m.length < 6 || !is_three_byte_form(rest)) return 0;
    const std::uint16_t entry = three[three_byte_index(rest)];
    if (entry != 0) return 0;
  }
  return rows[static_cast<std::size_t>(accept - 1)].code;
}

// The direct lookups, one after the other: one byte 00 to 7F; two bytes,
// (lead & 1F) << 6 | (next & 3F) for leads C0 to DF; three bytes,
// (lead & 0F) << 12 | (second & 3F) << 6 | (third & 3F) for leads E0 to EF,
// every byte after the lead from 80 to BF; then the codes of the pair starts.
void write_direct(std::FILE* out, const std::vector<Mapping>& rows, const std::vector<std::int16_t>& trie) {
  std::vector<std::uint16_t> entries;
  for (std::size_t i = 0; i < 128; ++i) {
    // A single byte that passes through is its own entry; none begins a
    // longer sequence.
    const std::uint8_t bytes[1] = {static_cast<std::uint8_t>(i)};
    const std::uint16_t entry = direct_entry(rows, trie, bytes, 1);
    if (entry == DIRECT_WALK) fail("a single byte begins a longer sequence", i);
    entries.push_back(entry == 0 ? static_cast<std::uint16_t>(i) : entry);
  }
  for (std::size_t i = 0; i < 2048; ++i) {
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(0xC0 | i >> 6), static_cast<std::uint8_t>(0x80 | (i & 0x3F))};
    entries.push_back(direct_entry(rows, trie, bytes, 2));
  }
  std::vector<std::uint16_t> three;
  for (std::size_t i = 0; i < 65536; ++i) {
    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(0xE0 | i >> 12),
                                   static_cast<std::uint8_t>(0x80 | (i >> 6 & 0x3F)),
                                   static_cast<std::uint8_t>(0x80 | (i & 0x3F))};
    three.push_back(direct_entry(rows, trie, bytes, 3));
  }
  // Pair starts: DIRECT_PAIR + k, their codes after the three-byte forms.
  std::vector<std::uint16_t> pairCodes;
  for (std::size_t i = 0; i < three.size(); ++i) {
    if (three[i] != DIRECT_WALK) continue;
    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(0xE0 | i >> 12),
                                   static_cast<std::uint8_t>(0x80 | (i >> 6 & 0x3F)),
                                   static_cast<std::uint8_t>(0x80 | (i & 0x3F))};
    const std::uint16_t code = pair_start_code(rows, trie, three, bytes);
    if (code == 0) continue;
    if (pairCodes.size() == DIRECT_PAIR_LIMIT) fail("too many pair starts", i);
    three[i] = static_cast<std::uint16_t>(DIRECT_PAIR + pairCodes.size());
    pairCodes.push_back(code);
  }
  pairCodes.resize(DIRECT_PAIR_LIMIT);
  entries.insert(entries.end(), three.begin(), three.end());
  entries.insert(entries.end(), pairCodes.begin(), pairCodes.end());
  std::fputs("\nconst std::uint16_t sjis_direct[SJIS_DIRECT_SIZE] = {", out);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::fprintf(out, "%s%u,", i % 32 == 0 ? "\n" : "", static_cast<unsigned>(entries[i]));
  }
  std::fputs("\n};\n", out);
}

void write_source(const char* path, const std::vector<Mapping>& rows, const std::vector<std::int16_t>& trie) {
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) fail("cannot open the output file", 0);
  std::fputs("// Generated by make_sjis_table from textconv/data/sjis_mapping.txt; do not edit.\n"
             "#include \"textconv/sjis_table.h\"\n\n"
             "const SjisTable sjis_table = {\n{",
             out);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::fprintf(out, "%s%u,", i % 16 == 0 ? "\n" : "", static_cast<unsigned>(rows[i].code));
  }
  std::fputs("\n},\n{", out);
  for (std::size_t b = 0; b < BLOCK_COUNT; ++b) {
    std::fputs("\n{", out);
    for (std::size_t e = 0; e < 256; ++e) {
      std::fprintf(out, "%s%d,", e % 32 == 0 ? "\n" : "", static_cast<int>(trie[b * 256 + e]));
    }
    std::fputs("\n},", out);
  }
  std::fputs("\n}\n};\n", out);
  write_direct(out, rows, trie);
  if (std::fclose(out) != 0) fail("cannot write the output file", 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_sjis_table MAPPING OUTPUT\n");
    return 1;
  }
  std::vector<Mapping> rows = read_mapping(argv[1]);
  std::vector<std::int16_t> trie = build_trie(rows);
  write_source(argv[2], rows, trie);
  return 0;
}
