#include "diskquarry/spelling.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

#include "textconv/sjis_reverse.h"
#include "textconv/transcoder.h"

namespace {

// Bytes a spelling may add where the cut drops them: single-byte characters
// that convert as they are, need no quotes in a file list and are neither a
// dot, a path separator nor a character short names forbid.
const std::vector<std::uint8_t>& tail_bytes() {
  static const std::vector<std::uint8_t> bytes = [] {
    std::vector<std::uint8_t> b;
    for (int c = 0x21; c <= 0xDF; ++c) {
      bool ascii = c < 0x7F && (std::isalnum(c) != 0 || std::string("!#$%&'()-@^_`{}").find(static_cast<char>(c)) != std::string::npos);
      if (ascii || c >= 0xA1) b.push_back(static_cast<std::uint8_t>(c));
    }
    return b;
  }();
  return bytes;
}

bool is_lead(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool is_trail(std::uint8_t b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

enum class ItemKind : std::uint8_t { Fixed, Letter, Trail, Tail, OptionalDot };

// One step of the pattern every spelling of a name follows. Fixed: `byte`;
// Letter: `byte` or its lower case; Trail: one byte of `set`; Tail: any
// number of bytes of `set`; OptionalDot: "." or nothing.
struct Item {
  ItemKind kind;
  std::uint8_t byte;
  std::vector<std::uint8_t> set;
};

using Pattern = std::vector<Item>;
using Text = std::optional<std::string>;

// The trail bytes that make a character with the lead byte.
std::vector<std::uint8_t> trails_of(const SjisReverse& reverse, std::uint8_t lead) {
  std::vector<std::uint8_t> set;
  for (int t = 0x40; t <= 0xFC; ++t) {
    if (is_trail(static_cast<std::uint8_t>(t)) && reverse.spans[lead << 8 | t] != 0) set.push_back(static_cast<std::uint8_t>(t));
  }
  return set;
}

// The items of a base or extension; a full field may go on with a tail, and
// a lead byte that ends a full field was cut from its character.
void add_field(const SjisReverse& reverse, const std::uint8_t* field, std::uint32_t n, bool full, Pattern& p) {
  for (std::uint32_t i = 0; i < n; ++i) {
    std::uint8_t b = field[i];
    if (is_lead(b) && i + 1 < n && is_trail(field[i + 1])) {
      p.push_back({ItemKind::Fixed, b, {}});
      p.push_back({ItemKind::Fixed, field[++i], {}});
    } else if (is_lead(b) && i + 1 == n && full) {
      p.push_back({ItemKind::Fixed, b, {}});
      p.push_back({ItemKind::Trail, 0, trails_of(reverse, b)});
    } else {
      p.push_back({b >= 'A' && b <= 'Z' ? ItemKind::Letter : ItemKind::Fixed, b, {}});
    }
  }
  if (full) p.push_back({ItemKind::Tail, 0, tail_bytes()});
}

Pattern pattern_of(const SjisReverse& reverse, const std::uint8_t* shortName) {
  std::uint8_t base[SHORT_BASE_SIZE];
  std::copy(shortName, shortName + SHORT_BASE_SIZE, base);
  if (base[0] == DELETED_MARK_STANDIN) base[0] = DELETED_MARK;
  std::uint32_t baseLength = SHORT_BASE_SIZE;
  while (baseLength > 0 && base[baseLength - 1] == ' ') --baseLength;
  const std::uint8_t* ext = shortName + SHORT_BASE_SIZE;
  std::uint32_t extLength = SHORT_EXTENSION_SIZE;
  while (extLength > 0 && ext[extLength - 1] == ' ') --extLength;
  Pattern p;
  add_field(reverse, base, baseLength, baseLength == SHORT_BASE_SIZE, p);
  bool dotInBase = std::find(base, base + baseLength, '.') != base + baseLength;
  if (extLength != 0 || dotInBase) {
    p.push_back({ItemKind::Fixed, '.', {}});
  } else {
    p.push_back({ItemKind::OptionalDot, 0, {}});
  }
  add_field(reverse, ext, extLength, extLength == SHORT_EXTENSION_SIZE, p);
  return p;
}

Text least(const Text& a, const Text& b) {
  if (!a) return b;
  if (!b) return a;
  return *b < *a ? b : a;
}

Text prefixed(std::uint8_t byte, const Text& rest) {
  if (!rest) return std::nullopt;
  return std::string(1, static_cast<char>(byte)) + *rest;
}

// The least spelling of items [j, end).
std::string least_from(const Pattern& p, std::size_t j) {
  std::string s;
  for (; j < p.size(); ++j) {
    if (p[j].kind == ItemKind::Fixed || p[j].kind == ItemKind::Letter) s += static_cast<char>(p[j].byte);
    if (p[j].kind == ItemKind::Trail && !p[j].set.empty()) s += static_cast<char>(p[j].set.front());
  }
  return s;
}

Text least_nonempty_from(const Pattern& p, std::size_t j) {
  if (j == p.size()) return std::nullopt;
  const Item& item = p[j];
  if (item.kind == ItemKind::Tail || item.kind == ItemKind::OptionalDot) {
    std::uint8_t first = item.kind == ItemKind::Tail ? item.set.front() : '.';
    return least(least_nonempty_from(p, j + 1), prefixed(first, least_from(p, j + 1)));
  }
  return least_from(p, j);
}

// Bytes of `set` that equal `b` and the least above it, as candidates.
Text from_set(const Pattern& p, const std::string& previous, std::size_t i, std::size_t j, std::size_t next,
              const std::vector<std::uint8_t>& set);

// The least spelling of items [j, end) that sorts after previous[i, end).
Text least_after(const Pattern& p, const std::string& previous, std::size_t i, std::size_t j) {
  if (j == p.size()) return std::nullopt;
  if (i == previous.size()) return least_nonempty_from(p, j);
  const Item& item = p[j];
  switch (item.kind) {
    case ItemKind::Fixed:
      return from_set(p, previous, i, j, j + 1, {item.byte});
    case ItemKind::Letter:
      return from_set(p, previous, i, j, j + 1, {item.byte, static_cast<std::uint8_t>(item.byte + 0x20)});
    case ItemKind::Trail:
      return from_set(p, previous, i, j, j + 1, item.set);
    case ItemKind::Tail:
      return least(least_after(p, previous, i, j + 1), from_set(p, previous, i, j, j, item.set));
    case ItemKind::OptionalDot:
      return least(least_after(p, previous, i, j + 1), from_set(p, previous, i, j, j + 1, {'.'}));
  }
  return std::nullopt;
}

Text from_set(const Pattern& p, const std::string& previous, std::size_t i, std::size_t j, std::size_t next,
              const std::vector<std::uint8_t>& set) {
  auto b = static_cast<std::uint8_t>(previous[i]);
  Text same;
  if (std::find(set.begin(), set.end(), b) != set.end()) same = prefixed(b, least_after(p, previous, i + 1, next));
  if (same) return same;  // agreeing longer always sorts first
  auto above = std::upper_bound(set.begin(), set.end(), b);
  if (above == set.end()) return std::nullopt;
  // After a tail byte the tail may stay empty: the rest is least from j + 1.
  std::size_t rest = next == j ? j + 1 : next;
  return prefixed(*above, least_from(p, rest));
}

}  // namespace

bool spell_after(const SjisReverse& reverse, const std::uint8_t* shortName, const std::string& previous,
                 std::string& spelling) {
  Pattern p = pattern_of(reverse, shortName);
  Text found = previous.empty() ? Text(least_from(p, 0)) : least_after(p, previous, 0, 0);
  if (!found) return false;
  spelling = *found;
  return true;
}

bool sjis_spelling_to_utf8(const SjisReverse& reverse, const std::string& sjis, std::string& utf8) {
  utf8.clear();
  const auto* s = reinterpret_cast<const std::uint8_t*>(sjis.data());
  for (std::size_t i = 0; i < sjis.size();) {
    std::uint32_t span = 0;
    std::size_t taken = 1;
    if (is_lead(s[i]) && i + 1 < sjis.size()) span = reverse.spans[s[i] << 8 | s[i + 1]];
    if (span != 0) {
      taken = 2;
    } else {
      span = reverse.spans[s[i]];
    }
    if (span == 0) return false;
    utf8.append(reinterpret_cast<const char*>(reverse.bytes.data() + (span >> 4)), span & 0xF);
    i += taken;
  }
  // The conversion takes the longest match: the characters must not join.
  std::vector<std::uint8_t> wide(2 * utf8.size() + 2);
  std::uint32_t bytes = utf8_to_sjis16(reinterpret_cast<const std::uint8_t*>(utf8.data()),
                                       static_cast<std::uint32_t>(utf8.size()), wide.data(), sjis_table.codes,
                                       sjis_table.trie);
  std::string back;
  for (std::uint32_t k = 0; k < bytes; k += 2) {
    if (wide[k] != 0) back.push_back(static_cast<char>(wide[k]));
    back.push_back(static_cast<char>(wide[k + 1]));
  }
  return back == sjis;
}
