#include "diskmason/tree/name_table.h"

#include <cstring>

#include "textconv/heap.h"

namespace {

constexpr std::uint32_t LENGTH_MASK = 0xFFFF;

std::uint32_t pack(std::uint32_t length, std::uint16_t value) {
  return (length & LENGTH_MASK) | (static_cast<std::uint32_t>(value) << 16);
}

bool in_use(const NameTable& table, std::uint32_t slot) {
  return slot < table.capacity && table.entries[slot].lengthAndValue != NO_SLOT;
}

// True when the slot holds exactly this key.
bool matches(const NameTable& table, const NameSlot& entry, const std::uint8_t* key,
             std::uint32_t length, std::uint32_t hash) {
  if ((entry.lengthAndValue & LENGTH_MASK) != length || entry.hash != hash) return false;
  return length == 0 || std::memcmp(table.storage + entry.offset, key, length) == 0;
}

// A key that the 16-bit length field, and the free marker, can represent.
bool storable(std::uint32_t length, std::uint16_t value) {
  return length < NAME_KEY_LIMIT && pack(length, value) != NO_SLOT;
}

// Moves the live keys, in slot order, into a new store big enough for an
// extra key of `length` bytes. The old store is handed back in *old (the key
// to insert may lie in it); false, with nothing changed, when out of memory.
bool make_room(NameTable& table, std::uint32_t length, std::uint8_t** old) {
  std::uint64_t needed = 2 * (static_cast<std::uint64_t>(length) + table.storageLive + 1);
  std::uint64_t size = table.storageCapacity == 0 ? 128 : table.storageCapacity;
  while (size < needed) size *= 2;
  if (size > 0xFFFFFFFFu) return false;
  auto* store = static_cast<std::uint8_t*>(heap_alloc(static_cast<std::size_t>(size)));
  if (store == nullptr) return false;
  std::uint32_t written = 0;
  for (std::uint32_t slot = 0; slot < table.capacity; ++slot) {
    NameSlot& entry = table.entries[slot];
    if (entry.lengthAndValue == NO_SLOT) continue;
    std::uint32_t keyLength = entry.lengthAndValue & LENGTH_MASK;
    std::memcpy(store + written, table.storage + entry.offset, keyLength);
    store[written + keyLength] = 0;
    entry.offset = written;
    written += keyLength + 1;
  }
  *old = table.storage;
  table.storage = store;
  table.storageCapacity = static_cast<std::uint32_t>(size);
  table.storageUsed = written;
  table.storageLive = written;
  return true;
}

// Doubles the slots and buckets and rebuilds the chains in ascending slot
// order. On failure capacity, keys and chains stay as they were.
bool grow_slots(NameTable& table) {
  std::uint32_t oldCapacity = table.capacity;
  if (oldCapacity > 0x7FFFFFFFu) return false;
  std::uint32_t newCapacity = oldCapacity * 2;
  auto* entries = static_cast<NameSlot*>(
      heap_realloc(table.entries, static_cast<std::size_t>(newCapacity) * sizeof(NameSlot)));
  if (entries == nullptr) return false;
  table.entries = entries;  // a larger array is harmless if the buckets fail
  auto* buckets = static_cast<std::uint32_t*>(
      heap_realloc(table.buckets, static_cast<std::size_t>(newCapacity) * sizeof(std::uint32_t)));
  if (buckets == nullptr) return false;
  table.buckets = buckets;
  for (std::uint32_t b = 0; b < newCapacity; ++b) buckets[b] = NO_SLOT;
  // The one free slot leads into the new slots; the last new slot closes the circle.
  std::uint32_t freeSlot = table.freeTail;
  for (std::uint32_t slot = oldCapacity; slot < newCapacity; ++slot) {
    entries[slot].hash = 0;
    entries[slot].offset = 0;
    entries[slot].lengthAndValue = NO_SLOT;
    entries[slot].next = slot + 1;
  }
  entries[newCapacity - 1].next = freeSlot;
  entries[freeSlot].next = oldCapacity;
  table.freeTail = newCapacity - 1;
  table.capacity = newCapacity;
  // Pushing in descending order leaves every chain in ascending order.
  for (std::uint32_t slot = oldCapacity; slot-- > 0;) {
    NameSlot& entry = entries[slot];
    if (entry.lengthAndValue == NO_SLOT) continue;
    std::uint32_t bucket = entry.hash % newCapacity;
    entry.next = buckets[bucket];
    buckets[bucket] = slot;
  }
  return true;
}

// Takes a slot in use out of its chain (previous = NO_SLOT: it is the head)
// and puts it at the end of the free list; returns its value.
std::uint32_t unlink_slot(NameTable& table, std::uint32_t slot, std::uint32_t previous) {
  NameSlot& entry = table.entries[slot];
  if (previous == NO_SLOT) {
    table.buckets[entry.hash % table.capacity] = entry.next;
  } else {
    table.entries[previous].next = entry.next;
  }
  --table.count;
  entry.next = table.entries[table.freeTail].next;
  table.entries[table.freeTail].next = slot;
  table.freeTail = slot;
  std::uint32_t value = entry.lengthAndValue >> 16;
  table.storageLive -= (entry.lengthAndValue & LENGTH_MASK) + 1;
  entry.lengthAndValue = NO_SLOT;
  return value;
}

// Walks the key's chain; returns the matching slot (NO_SLOT if none) with the
// slot before it, or the chain's last slot when there is no match.
std::uint32_t walk_chain(const NameTable& table, const std::uint8_t* key, std::uint32_t length,
                         std::uint32_t hash, std::uint32_t* previous) {
  std::uint32_t before = NO_SLOT;
  for (std::uint32_t slot = table.buckets[hash % table.capacity]; slot != NO_SLOT;
       slot = table.entries[slot].next) {
    if (matches(table, table.entries[slot], key, length, hash)) {
      *previous = before;
      return slot;
    }
    before = slot;
  }
  *previous = before;
  return NO_SLOT;
}

}  // namespace

std::uint32_t name_hash(const std::uint8_t* bytes, std::uint32_t length) {
  std::uint32_t hash = 0;
  for (std::uint32_t i = 0; i < length; ++i) hash = hash * 31 + bytes[i];
  return hash;
}

bool create(NameTable& table, std::uint32_t storageBytes, std::uint32_t slotCount) {
  table.storage = nullptr;
  table.entries = nullptr;
  table.buckets = nullptr;
  if (slotCount != 0) {
    table.storage = static_cast<std::uint8_t*>(heap_alloc(storageBytes));
    if (table.storage != nullptr)
      table.entries = static_cast<NameSlot*>(
          heap_alloc(static_cast<std::size_t>(slotCount) * sizeof(NameSlot)));
    if (table.entries != nullptr)
      table.buckets = static_cast<std::uint32_t*>(
          heap_alloc(static_cast<std::size_t>(slotCount) * sizeof(std::uint32_t)));
  }
  if (table.buckets == nullptr) {
    destroy(table);
    return false;
  }
  table.capacity = slotCount;
  table.storageCapacity = storageBytes;
  clear(table);
  return true;
}

void clear(NameTable& table) {
  for (std::uint32_t slot = 0; slot < table.capacity; ++slot) {
    table.entries[slot].lengthAndValue = NO_SLOT;
    table.entries[slot].next = slot + 1 == table.capacity ? 0 : slot + 1;
    table.buckets[slot] = NO_SLOT;
  }
  table.count = 0;
  table.storageLive = 0;
  table.storageUsed = 0;
  table.freeTail = table.capacity == 0 ? NO_SLOT : table.capacity - 1;
}

void destroy(NameTable& table) {
  heap_free(table.buckets);
  heap_free(table.entries);
  heap_free(table.storage);
  table.buckets = nullptr;
  table.entries = nullptr;
  table.storage = nullptr;
  table.count = 0;
  table.capacity = 0;
  table.storageUsed = 0;
  table.storageLive = 0;
  table.storageCapacity = 0;
  table.freeTail = NO_SLOT;
}

std::uint32_t insert(NameTable& table, const std::uint8_t* key, std::uint32_t length,
                     std::uint16_t value) {
  if (table.capacity == 0 || !storable(length, value) || (key == nullptr && length != 0))
    return NO_SLOT;
  std::uint32_t hash = name_hash(key, length);
  std::uint32_t last = NO_SLOT;
  if (walk_chain(table, key, length, hash, &last) != NO_SLOT) return NO_SLOT;

  // The old store is freed only at the end: the key may have come from it.
  std::uint8_t* oldStore = nullptr;
  if (static_cast<std::uint64_t>(length) + table.storageUsed + 1 > table.storageCapacity &&
      !make_room(table, length, &oldStore))
    return NO_SLOT;

  if (table.count + 1 == table.capacity) {
    if (!grow_slots(table)) {
      heap_free(oldStore);
      return NO_SLOT;
    }
    walk_chain(table, key, length, hash, &last);
  }

  std::uint32_t slot = table.entries[table.freeTail].next;
  table.entries[table.freeTail].next = table.entries[slot].next;

  if (length != 0) std::memmove(table.storage + table.storageUsed, key, length);
  table.storage[table.storageUsed + length] = 0;
  heap_free(oldStore);

  if (last == NO_SLOT) {
    table.buckets[hash % table.capacity] = slot;
  } else {
    table.entries[last].next = slot;
  }
  NameSlot& entry = table.entries[slot];
  entry.hash = hash;
  entry.offset = table.storageUsed;
  entry.lengthAndValue = pack(length, value);
  entry.next = NO_SLOT;
  ++table.count;
  table.storageLive += length + 1;
  table.storageUsed += length + 1;
  return slot;
}

std::uint32_t find(const NameTable& table, const std::uint8_t* key, std::uint32_t length) {
  if (table.capacity == 0 || length >= NAME_KEY_LIMIT || (key == nullptr && length != 0))
    return NO_SLOT;
  std::uint32_t previous = NO_SLOT;
  return walk_chain(table, key, length, name_hash(key, length), &previous);
}

std::uint32_t remove_slot(NameTable& table, std::uint32_t slot) {
  if (!in_use(table, slot)) return NO_SLOT;
  std::uint32_t previous = NO_SLOT;
  std::uint32_t at = table.buckets[table.entries[slot].hash % table.capacity];
  while (at != NO_SLOT && at != slot) {
    previous = at;
    at = table.entries[at].next;
  }
  if (at == NO_SLOT) return NO_SLOT;
  return unlink_slot(table, slot, previous);
}

std::uint32_t remove_key(NameTable& table, const std::uint8_t* key, std::uint32_t length) {
  if (table.capacity == 0 || length >= NAME_KEY_LIMIT || (key == nullptr && length != 0))
    return NO_SLOT;
  std::uint32_t previous = NO_SLOT;
  std::uint32_t slot = walk_chain(table, key, length, name_hash(key, length), &previous);
  if (slot == NO_SLOT) return NO_SLOT;
  return unlink_slot(table, slot, previous);
}

void set_value(NameTable& table, std::uint32_t slot, std::uint16_t value) {
  if (!in_use(table, slot)) return;
  NameSlot& entry = table.entries[slot];
  std::uint32_t length = entry.lengthAndValue & LENGTH_MASK;
  if (!storable(length, value)) return;
  entry.lengthAndValue = pack(length, value);
}

const std::uint8_t* key_at(const NameTable& table, std::uint32_t slot, std::uint32_t* length) {
  if (!in_use(table, slot)) {
    if (length != nullptr) *length = 0;
    return nullptr;
  }
  const NameSlot& entry = table.entries[slot];
  if (length != nullptr) *length = entry.lengthAndValue & LENGTH_MASK;
  return table.storage + entry.offset;
}
