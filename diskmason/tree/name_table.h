// Hash table from byte-string keys to 16-bit values, with slot numbers that
// stay valid until the key is removed. All keys live in one byte store.
#pragma once

#include <cstdint>

constexpr std::uint32_t NO_SLOT = 0xFFFFFFFF;
// Keys are shorter than this; the length is kept in 16 bits.
constexpr std::uint32_t NAME_KEY_LIMIT = 0x10000;

struct NameSlot {
  std::uint32_t hash;
  std::uint32_t offset;          // first byte of the key in storage
  std::uint32_t lengthAndValue;  // length in bits 0-15, value in 16-31; NO_SLOT = free
  std::uint32_t next;            // chain link in use, free-list link when free
};

struct NameTable {
  std::uint8_t* storage;
  NameSlot* entries;
  std::uint32_t* buckets;
  std::uint32_t count;
  std::uint32_t capacity;
  std::uint32_t storageUsed;
  std::uint32_t storageLive;
  std::uint32_t storageCapacity;
  std::uint32_t freeTail;
};

// hash = hash * 31 + byte over the unsigned bytes, modulo 2^32.
std::uint32_t name_hash(const std::uint8_t* bytes, std::uint32_t length);
// Allocates the store and slotCount (at least 1) slots and buckets; on
// failure the table is destroyed and false returned.
bool create(NameTable& table, std::uint32_t storageBytes, std::uint32_t slotCount);
// Empties the table; slots are handed out again from 0.
void clear(NameTable& table);
void destroy(NameTable& table);
// Returns the key's slot; NO_SLOT when the key is present, cannot be stored
// (65536 bytes or longer, or 65535 bytes with value 65535) or memory ran out.
std::uint32_t insert(NameTable& table, const std::uint8_t* key, std::uint32_t length,
                     std::uint16_t value);
std::uint32_t find(const NameTable& table, const std::uint8_t* key, std::uint32_t length);
// Return the removed key's value, or NO_SLOT.
std::uint32_t remove_slot(NameTable& table, std::uint32_t slot);
std::uint32_t remove_key(NameTable& table, const std::uint8_t* key, std::uint32_t length);
// Replaces the value of a slot in use; ignored for a free slot, and for a
// 65535-byte key with value 65535 (its record would read as free).
void set_value(NameTable& table, std::uint32_t slot, std::uint16_t value);
// The key of a slot in use, zero-terminated in storage; *length receives its
// length. nullptr (and length 0) for a free or unknown slot.
const std::uint8_t* key_at(const NameTable& table, std::uint32_t slot, std::uint32_t* length);
