// Warnings about the components of image paths: characters the Shift-JIS
// table lacks, and names that the 8.3 form of a directory entry cuts or
// cannot hold as they are.
#include <cstring>

#include "diskmason/front/packer_run.h"
#include "diskmason/image/dir_entries.h"
#include "textconv/sjis_check.h"
#include "textconv/transcoder.h"

namespace {

constexpr std::uint16_t DOT = 0x2E;
constexpr std::uint32_t BASE_BYTES = 8;
constexpr std::uint32_t EXTENSION_BYTES = 3;
// Longest text a warning shows for a name.
constexpr std::size_t SHOWN_NAME = 64;

// One component of the image path being checked.
struct Component {
  PackerRun& run;
  const std::uint8_t* text;  // UTF-8, as the list wrote it
  std::uint32_t length;
  std::uint32_t start;  // offset in the image path field
  // The upper-cased Shift-JIS form, one 16-bit unit per character.
  std::uint16_t units[LIST_LINE_LIMIT];
  std::uint32_t count;
};

void on_finding(void* context, const TextFinding& finding) {
  Component& c = *static_cast<Component*>(context);
  char text[256];
  describe_finding(finding, c.text, text, sizeof text);
  warn_at(c.run.diag, field_place(c.run, IMAGE_PATH, c.start + finding.offset), "%s", text);
}

bool forbidden_in_short_names(std::uint16_t unit) {
  return unit < 0x20 || unit == 0x7F ||
         (unit <= 0x7E && std::strchr("\"*+,/:;<=>?[\\]|", unit) != nullptr);
}

// The short name that the entry of this component stores, shown in UTF-8.
void stored_name(Component& c, char* out, std::size_t capacity) {
  std::uint8_t upper[2 * LIST_LINE_LIMIT + 1];
  std::uint32_t n = 0;
  for (std::uint32_t i = 0; i < c.count; ++i) {
    if (c.units[i] > 0xFF) upper[n++] = static_cast<std::uint8_t>(c.units[i] >> 8);
    upper[n++] = static_cast<std::uint8_t>(c.units[i]);
  }
  upper[n] = 0;
  std::uint8_t shortName[SHORT_NAME_SIZE];
  make_short_name(reinterpret_cast<const char*>(upper), shortName);
  show_short_name(c.run, shortName, out, capacity);
}

// Bytes of the units [from, to), and whether the byte limit falls inside a
// double-byte unit.
std::uint32_t part_bytes(const Component& c, std::uint32_t from, std::uint32_t to,
                         std::uint32_t limit, bool& splitsCharacter) {
  std::uint32_t bytes = 0;
  for (std::uint32_t i = from; i < to; ++i) {
    std::uint32_t width = c.units[i] > 0xFF ? 2 : 1;
    if (bytes < limit && bytes + width > limit) splitsCharacter = true;
    bytes += width;
  }
  return bytes;
}

void check_forbidden(Component& c) {
  for (std::uint32_t i = 0; i < c.count; ++i) {
    std::uint16_t unit = c.units[i];
    if (!forbidden_in_short_names(unit)) continue;
    SourcePlace place = field_place(c.run, IMAGE_PATH, c.start);
    if (unit < 0x20 || unit == 0x7F) {
      warn_at(c.run.diag, place, "'%.*s' holds the control character %02Xh, which short names may not hold",
              int(c.length), reinterpret_cast<const char*>(c.text), unsigned{unit});
    } else {
      warn_at(c.run.diag, place, "'%.*s' holds '%c', which short names may not hold", int(c.length),
              reinterpret_cast<const char*>(c.text), static_cast<char>(unit));
    }
    return;
  }
}

void check_short_name(Component& c) {
  std::uint32_t dot = c.count;
  for (std::uint32_t i = c.count; i-- > 0;) {
    if (c.units[i] == DOT) {
      dot = i;
      break;
    }
  }
  bool split = false;
  bool cut = part_bytes(c, 0, dot, BASE_BYTES, split) > BASE_BYTES;
  if (dot < c.count) cut = part_bytes(c, dot + 1, c.count, EXTENSION_BYTES, split) > EXTENSION_BYTES || cut;
  SourcePlace place = field_place(c.run, IMAGE_PATH, c.start);
  const char* name = reinterpret_cast<const char*>(c.text);
  if (cut) {
    char shown[SHOWN_NAME];
    stored_name(c, shown, sizeof shown);
    warn_at(c.run.diag, place, "'%.*s' is cut to the short name '%s'%s", int(c.length), name, shown,
            split ? ", inside a double-byte character" : "");
  }
  for (std::uint32_t i = 0; i < dot; ++i) {
    if (c.units[i] != DOT) continue;
    warn_at(c.run.diag, place, "'%.*s' has a dot in its base name; a short name has one dot, before its extension",
            int(c.length), name);
    break;
  }
  check_forbidden(c);
}

}  // namespace

void show_short_name(PackerRun& run, const std::uint8_t* shortName, char* out, std::size_t capacity) {
  std::uint8_t shown[SHORT_NAME_SIZE + 1];
  std::uint32_t base = BASE_BYTES;
  while (base > 0 && shortName[base - 1] == ' ') --base;
  std::memcpy(shown, shortName, base);
  std::uint32_t extension = EXTENSION_BYTES;
  while (extension > 0 && shortName[BASE_BYTES + extension - 1] == ' ') --extension;
  std::uint32_t n = base;
  if (extension != 0) shown[n++] = '.';
  std::memcpy(shown + n, shortName + BASE_BYTES, extension);
  n += extension;
  if (n != 0 && shown[0] == 0x05) shown[0] = 0xE5;  // the stand-in for a first byte E5h
  out[0] = 0;
  if (stored_names_readable(run)) sjis_to_utf8(run.reverse, shown, n, out, capacity);
}

bool stored_names_readable(PackerRun& run) {
  if (run.reverse.spans != nullptr) return true;
  return build_sjis_reverse(run.reverse);
}

void check_component(PackerRun& run, std::uint32_t start, std::uint32_t end) {
  if (!run.diag.verbose) return;
  Component c{run, field_text(run, IMAGE_PATH) + start, end - start, start, {}, 0};
  check_sjis_text(c.text, c.length, on_finding, &c);
  if ((c.length == 1 || c.length == 2) && std::memcmp(c.text, "..", c.length) == 0) {
    warn_at(run.diag, field_place(run, IMAGE_PATH, start),
            "'%.*s' is stored as an entry of that name, not as a reference to a directory",
            int(c.length), reinterpret_cast<const char*>(c.text));
    return;
  }
  std::uint8_t folded[LIST_LINE_LIMIT];
  for (std::uint32_t i = 0; i < c.length; ++i) {
    std::uint8_t b = c.text[i];
    folded[i] = b >= 'a' && b <= 'z' ? static_cast<std::uint8_t>(b - 0x20) : b;
  }
  std::uint8_t wide[2 * LIST_LINE_LIMIT];
  c.count = utf8_to_sjis16(folded, c.length, wide, sjis_table.codes, sjis_table.trie) / 2;
  for (std::uint32_t i = 0; i < c.count; ++i) c.units[i] = static_cast<std::uint16_t>(wide[2 * i] << 8 | wide[2 * i + 1]);
  check_short_name(c);
}
