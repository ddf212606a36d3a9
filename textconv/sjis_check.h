// Finding what the Shift-JIS conversion cannot convert in a UTF-8 text: a
// character the table lacks, or bytes that are not UTF-8. Both pass through
// the conversion unchanged; warnings name them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "textconv/sjis_table.h"

enum class TextIssue : std::uint8_t {
  Unencodable,  // a UTF-8 character the table lacks
  NotUtf8,      // a run of bytes that is not UTF-8
};

struct TextFinding {
  TextIssue issue;
  std::uint32_t offset;     // first byte of the character or run in the text
  std::uint32_t length;     // its bytes
  std::uint32_t codePoint;  // the character (Unencodable only)
};

// A character that input methods on Windows type where the table holds a
// look-alike: write `instead` (Shift-JIS `code`) in place of `typed`.
struct TypedCharacterHint {
  std::uint32_t typed;
  std::uint32_t instead;
  std::uint16_t code;
};

// The hint for a character, or nullptr.
const TypedCharacterHint* typed_character_hint(std::uint32_t codePoint);

using FindingHandler = void (*)(void* context, const TextFinding& finding);

// Walks text as utf8_to_sjis does and calls found for every character that
// passes through unconverted, except plain ASCII (which stays itself).
// Returns the number of findings.
std::uint32_t check_sjis_text(const std::uint8_t* text, std::uint32_t length, FindingHandler found,
                              void* context, const std::uint16_t* sjis_code_table = sjis_table.codes,
                              const SjisTrieBlock* sjis_trie = sjis_table.trie);

// One step of the conversion at text (avail at least 1): the byte length of
// the longest table sequence there, its code in *code; 0 when the first byte
// passes through unconverted (*code is then that byte).
std::uint32_t sjis_match(const std::uint8_t* text, std::uint32_t avail, std::uint16_t* code,
                         const std::uint16_t* sjis_code_table = sjis_table.codes,
                         const SjisTrieBlock* sjis_trie = sjis_table.trie);

// One line describing a finding, e.g. "U+FF5E '～' is not in the Shift-JIS
// table (its UTF-8 bytes are kept); write U+301C '〜' (8160h) instead".
// A character that would not show as itself (a C1 control, a direction
// override) is named by its number alone. text is the text the finding was
// made in. Returns out.
const char* describe_finding(const TextFinding& finding, const std::uint8_t* text, char* out,
                             std::size_t capacity);

// Writes the UTF-8 form of a code point to out (4 bytes at most); returns its length.
std::uint32_t encode_utf8(std::uint32_t codePoint, std::uint8_t* out);
