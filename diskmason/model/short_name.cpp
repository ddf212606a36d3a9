#include "diskmason/model/short_name.h"

#include <algorithm>
#include <cstring>

#include "textconv/sjis_reverse.h"

namespace {

constexpr std::uint16_t DOT = '.';

bool forbidden_in_short_names(std::uint16_t unit) {
  return unit < 0x20 || unit == 0x7F || (unit <= 0x7E && unit != 0 && std::strchr("\"*+,/:;<=>?[\\]|", unit) != nullptr);
}

// Bytes of the units [from, to); sets *split when `limit` bytes end inside
// a double-byte unit.
std::uint32_t part_bytes(const std::uint16_t* units, std::uint32_t from, std::uint32_t to, std::uint32_t limit,
                         bool* split) {
  std::uint32_t bytes = 0;
  for (std::uint32_t i = from; i < to; ++i) {
    std::uint32_t width = units[i] > 0xFF ? 2 : 1;
    if (bytes < limit && bytes + width > limit) *split = true;
    bytes += width;
  }
  return bytes;
}

}  // namespace

void make_short_name(const std::uint8_t* name, std::size_t length, std::uint8_t* shortName) {
  const std::uint8_t* end = name + length;
  const std::uint8_t* dot = end;
  for (const std::uint8_t* p = end; p != name;) {
    if (*--p == DOT) {
      dot = p;
      break;
    }
  }
  std::size_t baseLength = static_cast<std::size_t>(dot - name);
  std::size_t extLength = dot != end ? static_cast<std::size_t>(end - dot - 1) : 0;
  std::memset(shortName, ' ', SHORT_NAME_SIZE);
  std::memcpy(shortName, name, std::min<std::size_t>(baseLength, SHORT_BASE_SIZE));
  if (extLength > 0) std::memcpy(shortName + SHORT_BASE_SIZE, dot + 1, std::min<std::size_t>(extLength, SHORT_EXTENSION_SIZE));
  if (shortName[0] == DELETED_MARK) shortName[0] = DELETED_MARK_STANDIN;
}

std::uint32_t short_name_text(const std::uint8_t* shortName, std::uint8_t* out) {
  std::uint32_t base = SHORT_BASE_SIZE;
  while (base > 0 && shortName[base - 1] == ' ') --base;
  std::uint32_t extension = SHORT_EXTENSION_SIZE;
  while (extension > 0 && shortName[SHORT_BASE_SIZE + extension - 1] == ' ') --extension;
  std::memcpy(out, shortName, base);
  std::uint32_t n = base;
  if (extension != 0) out[n++] = '.';
  std::memcpy(out + n, shortName + SHORT_BASE_SIZE, extension);
  n += extension;
  if (n != 0 && out[0] == DELETED_MARK_STANDIN) out[0] = DELETED_MARK;
  return n;
}

void show_short_name(const SjisReverse& reverse, const std::uint8_t* shortName, char* out, std::size_t capacity) {
  std::uint8_t text[SHORT_NAME_SIZE + 1];
  std::uint32_t n = short_name_text(shortName, text);
  sjis_to_utf8(reverse, text, n, out, capacity);
}

ShortNameFit fit_short_name(const std::uint16_t* units, std::uint32_t count) {
  ShortNameFit fit{false, false, false, {}};
  std::uint32_t dot = count;
  for (std::uint32_t i = count; i-- > 0;) {
    if (units[i] == DOT) {
      dot = i;
      break;
    }
  }
  fit.cut = part_bytes(units, 0, dot, SHORT_BASE_SIZE, &fit.cutInsideCharacter) > SHORT_BASE_SIZE;
  if (dot < count) {
    fit.cut = part_bytes(units, dot + 1, count, SHORT_EXTENSION_SIZE, &fit.cutInsideCharacter) > SHORT_EXTENSION_SIZE ||
              fit.cut;
  }
  fit.dotInBase = std::find(units, units + dot, DOT) != units + dot;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (forbidden_in_short_names(units[i])) fit.forbidden.set(units[i]);
  }
  return fit;
}
