#include "diskmason/volume/long_name.h"

#include <vector>

namespace {

constexpr std::uint8_t LAST_SLOT_FLAG = 0x40;
constexpr std::uint8_t SEQUENCE_MASK = 0x1F;
constexpr std::uint32_t CHECKSUM_AT = 13;
constexpr std::uint32_t UNITS_PER_SLOT = 13;
// Where each slot keeps its 13 units: 5 from byte 1, 6 from byte 14, 2 from byte 28.
constexpr std::uint8_t UNIT_OFFSETS[UNITS_PER_SLOT] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

void append_utf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// UTF-16 to UTF-8; false for a lone surrogate.
bool to_utf8(const std::vector<std::uint16_t>& units, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t c = units[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      return false;
    }
    append_utf8(out, c);
  }
  return true;
}

}  // namespace

std::uint8_t short_name_checksum(const std::uint8_t* shortName) {
  std::uint8_t sum = 0;
  for (std::uint32_t i = 0; i < SHORT_NAME_SIZE; ++i) sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + shortName[i]);
  return sum;
}

bool long_name_of(const VolumeRead& volume, std::uint32_t entry, std::string& utf8) {
  std::uint32_t at = entry < volume.slotOf.size() ? volume.slotOf[entry] : NO_ENTRY;
  if (at == NO_ENTRY || at == 0) return false;
  const DirSlot& own = volume.slots[at];
  std::uint8_t checksum = short_name_checksum(own.bytes);
  std::vector<std::uint16_t> units;
  // The slots before the entry hold the name from its start: sequence 1 first.
  for (std::uint32_t sequence = 1;; ++sequence) {
    if (at < sequence) return false;
    const DirSlot& slot = volume.slots[at - sequence];
    if (slot.kind != SlotKind::LongName || slot.folder != own.folder || slot.bytes[CHECKSUM_AT] != checksum ||
        (slot.bytes[0] & SEQUENCE_MASK) != sequence) {
      return false;
    }
    for (std::uint8_t offset : UNIT_OFFSETS) units.push_back(static_cast<std::uint16_t>(slot.bytes[offset] | slot.bytes[offset + 1] << 8));
    if ((slot.bytes[0] & LAST_SLOT_FLAG) != 0) break;
  }
  std::size_t end = 0;
  while (end < units.size() && units[end] != 0) ++end;
  units.resize(end);
  return !units.empty() && to_utf8(units, utf8);
}
