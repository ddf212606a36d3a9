// Hash table from byte-string keys to 16-bit values, with slot numbers that
// stay valid until the key is removed. All keys live in one byte store.
#pragma once

#include <cstdint>

constexpr std::uint32_t NO_SLOT = 0xFFFFFFFF;

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

std::uint32_t name_hash(const std::uint8_t* bytes, std::uint32_t length);
bool create(NameTable& table, std::uint32_t storageBytes, std::uint32_t slotCount);
void clear(NameTable& table);
void destroy(NameTable& table);
// Returns the key's slot; NO_SLOT when the key is present or memory ran out.
std::uint32_t insert(NameTable& table, const std::uint8_t* key, std::uint32_t length,
                     std::uint16_t value);
std::uint32_t find(const NameTable& table, const std::uint8_t* key, std::uint32_t length);
// Return the removed key's value, or NO_SLOT.
std::uint32_t remove_slot(NameTable& table, std::uint32_t slot);
std::uint32_t remove_key(NameTable& table, const std::uint8_t* key, std::uint32_t length);
void set_value(NameTable& table, std::uint32_t slot, std::uint16_t value);
// The key of a slot in use, zero-terminated in storage; *length receives its length.
const std::uint8_t* key_at(const NameTable& table, std::uint32_t slot, std::uint32_t* length);
