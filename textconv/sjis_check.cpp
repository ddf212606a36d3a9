#include "textconv/sjis_check.h"

#include <cstdio>

#include "textconv/transcoder.h"

namespace {

constexpr TypedCharacterHint HINTS[] = {
    {0xFF5E, 0x301C, 0x8160},  // fullwidth tilde for the wave dash
    {0x2015, 0x2014, 0x815C},  // horizontal bar for the em dash
    {0xFFE0, 0x00A2, 0x8191},  // fullwidth cent sign
    {0xFFE1, 0x00A3, 0x8192},  // fullwidth pound sign
    {0xFFE2, 0x00AC, 0x81CA},  // fullwidth not sign
};

// Length of the well-formed UTF-8 character at text (no overlong forms, no
// surrogates, nothing past U+10FFFF), or 0; *codePoint receives its value.
std::uint32_t utf8_character(const std::uint8_t* text, std::uint32_t avail, std::uint32_t* codePoint) {
  std::uint8_t lead = text[0];
  std::uint32_t length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
  if (length == 0 || length > avail) return 0;
  std::uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
  for (std::uint32_t i = 1; i < length; ++i) {
    if ((text[i] & 0xC0) != 0x80) return 0;
    value = value << 6 | (text[i] & 0x3F);
  }
  static constexpr std::uint32_t SMALLEST[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < SMALLEST[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *codePoint = value;
  return length;
}

// True for characters that would act on a terminal or reorder the line
// rather than show: C1 controls, line and paragraph separators, the
// direction marks and overrides, the byte order mark.
bool is_invisible(std::uint32_t codePoint) {
  return (codePoint >= 0x80 && codePoint <= 0x9F) || (codePoint >= 0x200B && codePoint <= 0x200F) ||
         (codePoint >= 0x2028 && codePoint <= 0x202E) || (codePoint >= 0x2066 && codePoint <= 0x2069) ||
         codePoint == 0xFEFF;
}

}  // namespace

const TypedCharacterHint* typed_character_hint(std::uint32_t codePoint) {
  for (const TypedCharacterHint& hint : HINTS) {
    if (hint.typed == codePoint) return &hint;
  }
  return nullptr;
}

std::uint32_t check_sjis_text(const std::uint8_t* text, std::uint32_t length, FindingHandler found,
                              void* context, const std::uint16_t* /*sjis_code_table*/,
                              const SjisTrieBlock* sjis_trie) {
  std::uint32_t findings = 0;
  std::uint32_t badStart = 0;
  std::uint32_t badLength = 0;
  auto flush_bad = [&]() {
    if (badLength == 0) return;
    found(context, TextFinding{TextIssue::NotUtf8, badStart, badLength, 0});
    ++findings;
    badLength = 0;
  };
  for (std::uint32_t p = 0; p < length;) {
    std::uint32_t index = 0;
    std::uint32_t matched = sjis_longest_match(text + p, length - p, sjis_trie, &index);
    if (matched != 0) {
      flush_bad();
      p += matched;
      continue;
    }
    std::uint32_t codePoint = 0;
    std::uint32_t character = utf8_character(text + p, length - p, &codePoint);
    if (character == 0) {
      if (badLength == 0) badStart = p;
      ++badLength;
      ++p;
      continue;
    }
    flush_bad();
    if (codePoint >= 0x80) {
      found(context, TextFinding{TextIssue::Unencodable, p, character, codePoint});
      ++findings;
    }
    p += character;
  }
  flush_bad();
  return findings;
}

std::uint32_t sjis_match(const std::uint8_t* text, std::uint32_t avail, std::uint16_t* code,
                        const std::uint16_t* sjis_code_table, const SjisTrieBlock* sjis_trie) {
  std::uint32_t index = 0;
  const std::uint32_t matched = sjis_longest_match(text, avail, sjis_trie, &index);
  *code = matched != 0 ? sjis_code_table[index] : text[0];
  return matched;
}

std::uint32_t encode_utf8(std::uint32_t codePoint, std::uint8_t* out) {
  if (codePoint < 0x80) {
    out[0] = static_cast<std::uint8_t>(codePoint);
    return 1;
  }
  std::uint32_t length = codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
  for (std::uint32_t i = length - 1; i > 0; --i) {
    out[i] = static_cast<std::uint8_t>(0x80 | (codePoint & 0x3F));
    codePoint >>= 6;
  }
  out[0] = static_cast<std::uint8_t>((0xF00 >> length) | codePoint);
  return length;
}

const char* describe_finding(const TextFinding& finding, const std::uint8_t* text, char* out,
                             std::size_t capacity) {
  if (capacity == 0) return out;
  if (finding.issue == TextIssue::NotUtf8) {
    int used = std::snprintf(out, capacity, "byte%s", finding.length == 1 ? "" : "s");
    for (std::uint32_t i = 0; i < finding.length && i < 8 && used > 0 && std::size_t(used) < capacity; ++i) {
      used += std::snprintf(out + used, capacity - used, " %02X", unsigned{text[finding.offset + i]});
    }
    if (used > 0 && std::size_t(used) < capacity) {
      std::snprintf(out + used, capacity - used, "%s not UTF-8 (kept as %s)",
                    finding.length > 8 ? " ... are" : finding.length == 1 ? " is" : " are",
                    finding.length == 1 ? "it is" : "they are");
    }
    return out;
  }
  // An invisible character is named by its number alone, so that the line
  // shows as written.
  const char* character = reinterpret_cast<const char*>(text + finding.offset);
  const int shown = is_invisible(finding.codePoint) ? 0 : int(finding.length);
  int used = std::snprintf(out, capacity, "U+%04X%s%.*s%s is not in the Shift-JIS table (its UTF-8 bytes are kept)",
                           unsigned{finding.codePoint}, shown ? " '" : "", shown, character, shown ? "'" : "");
  const TypedCharacterHint* hint = typed_character_hint(finding.codePoint);
  if (hint != nullptr && used > 0 && std::size_t(used) < capacity) {
    std::uint8_t instead[4];
    std::uint32_t n = encode_utf8(hint->instead, instead);
    std::snprintf(out + used, capacity - used, "; write U+%04X '%.*s' (%Xh) instead",
                  unsigned{hint->instead}, int(n), reinterpret_cast<const char*>(instead),
                  unsigned{hint->code});
  }
  return out;
}
