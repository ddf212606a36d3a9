#include "diskmason/tree/name_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "textconv/heap.h"

namespace {

const std::uint8_t* bytes(const std::string& s) {
  return reinterpret_cast<const std::uint8_t*>(s.data());
}

std::uint32_t put(NameTable& t, const std::string& key, std::uint16_t value = 0) {
  return insert(t, bytes(key), static_cast<std::uint32_t>(key.size()), value);
}
std::uint32_t look(const NameTable& t, const std::string& key) {
  return find(t, bytes(key), static_cast<std::uint32_t>(key.size()));
}
std::string key_of(const NameTable& t, std::uint32_t slot) {
  std::uint32_t length = 0;
  const std::uint8_t* key = key_at(t, slot, &length);
  if (key == nullptr) return "<none>";
  EXPECT_EQ(key[length], 0);
  return std::string(reinterpret_cast<const char*>(key), length);
}
std::string name(int i) { return "key" + std::to_string(i); }

struct TableGuard {
  NameTable table{};
  ~TableGuard() {
    heap_fail_at(0);
    destroy(table);
  }
};

// Every slot in use sits on the chain of its bucket, chains ascend, the free
// list is one circle over the free slots, and the byte counts agree.
void expect_consistent(const NameTable& t) {
  std::uint32_t onChains = 0;
  std::uint32_t live = 0;
  for (std::uint32_t b = 0; b < t.capacity; ++b) {
    for (std::uint32_t s = t.buckets[b]; s != NO_SLOT; s = t.entries[s].next) {
      ASSERT_LT(s, t.capacity);
      ASSERT_NE(t.entries[s].lengthAndValue, NO_SLOT);
      ASSERT_EQ(t.entries[s].hash % t.capacity, b);
      live += (t.entries[s].lengthAndValue & 0xFFFF) + 1;
      ++onChains;
      ASSERT_LE(onChains, t.count);
    }
  }
  EXPECT_EQ(onChains, t.count);
  EXPECT_EQ(live, t.storageLive);
  EXPECT_LE(t.storageLive, t.storageUsed);
  EXPECT_LE(t.storageUsed, t.storageCapacity);
  ASSERT_LT(t.freeTail, t.capacity);
  std::uint32_t freeCount = 0;
  std::uint32_t s = t.freeTail;
  do {
    ASSERT_EQ(t.entries[s].lengthAndValue, NO_SLOT);
    s = t.entries[s].next;
    ++freeCount;
    ASSERT_LE(freeCount, t.capacity);
  } while (s != t.freeTail);
  EXPECT_EQ(freeCount + t.count, t.capacity);
}

TEST(NameHash, TimesThirtyOneOverUnsignedBytes) {
  EXPECT_EQ(name_hash(bytes("abc"), 3), 96354u);
  EXPECT_EQ(name_hash(nullptr, 0), 0u);
  EXPECT_EQ(name_hash(bytes("\xFF\x01"), 2), 255u * 31 + 1);
  EXPECT_EQ(name_hash(bytes("abcdefg"), 7), 3088675940u);  // wraps modulo 2^32
}

TEST(NameTable, GrowsSlotsBeforeTheLastFreeOneIsTaken) {
  TableGuard g;
  NameTable& t = g.table;
  ASSERT_TRUE(create(t, 640, 40));
  for (int i = 0; i < 39; ++i) ASSERT_EQ(put(t, name(i)), static_cast<std::uint32_t>(i));
  EXPECT_EQ(t.capacity, 40u);
  EXPECT_EQ(put(t, name(39)), 39u);
  EXPECT_EQ(t.capacity, 80u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(look(t, name(i)), static_cast<std::uint32_t>(i));
  for (int i = 40; i < 79; ++i) ASSERT_EQ(put(t, name(i)), static_cast<std::uint32_t>(i));
  EXPECT_EQ(t.capacity, 80u);
  EXPECT_EQ(put(t, name(79)), 79u);
  EXPECT_EQ(t.capacity, 160u);
  for (int i = 0; i < 80; ++i) {
    EXPECT_EQ(look(t, name(i)), static_cast<std::uint32_t>(i));
    EXPECT_EQ(key_of(t, i), name(i));
  }
  expect_consistent(t);
  // Chains ascend after a growth.
  for (std::uint32_t b = 0; b < t.capacity; ++b) {
    for (std::uint32_t s = t.buckets[b]; s != NO_SLOT; s = t.entries[s].next) {
      if (t.entries[s].next != NO_SLOT) {
        EXPECT_LT(s, t.entries[s].next);
      }
    }
  }
}

TEST(NameTable, StorageGrowsToTwiceTheLiveBytes) {
  TableGuard g;
  NameTable& t = g.table;
  ASSERT_TRUE(create(t, 640, 64));
  // 10 keys of 62 bytes: 630 bytes live and used.
  for (int i = 0; i < 10; ++i) ASSERT_NE(put(t, std::string(62, static_cast<char>('a' + i))), NO_SLOT);
  ASSERT_EQ(t.storageUsed, 630u);
  EXPECT_NE(put(t, std::string(20, 'z')), NO_SLOT);
  EXPECT_EQ(t.storageCapacity, 2560u);  // 640 and 1280 are below 2 * 651
  EXPECT_EQ(t.storageUsed, 651u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(look(t, std::string(62, static_cast<char>('a' + i))), static_cast<std::uint32_t>(i));
  expect_consistent(t);
}

TEST(NameTable, CompactionDropsRemovedKeysAndKeepsTheSize) {
  TableGuard g;
  NameTable& t = g.table;
  ASSERT_TRUE(create(t, 640, 16));
  const std::string kept(99, 'k');
  ASSERT_EQ(put(t, kept, 7), 0u);
  for (int i = 1; i <= 5; ++i) ASSERT_NE(put(t, std::string(105, static_cast<char>('0' + i))), NO_SLOT);
  for (std::uint32_t s = 1; s <= 5; ++s) ASSERT_EQ(remove_slot(t, s), 0u);
  ASSERT_EQ(t.storageUsed, 630u);
  ASSERT_EQ(t.storageLive, 100u);
  EXPECT_EQ(put(t, std::string(20, 'n')), 6u);
  EXPECT_EQ(t.storageCapacity, 640u);
  EXPECT_EQ(t.storageUsed, 121u);
  EXPECT_EQ(t.storageLive, 121u);
  EXPECT_EQ(t.entries[0].offset, 0u);
  EXPECT_EQ(t.entries[6].offset, 100u);
  EXPECT_EQ(key_of(t, 0), kept);
  EXPECT_EQ(remove_key(t, bytes(kept), 99), 7u);
  expect_consistent(t);
}

TEST(NameTable, DuplicatesEmptyKeyAndValues) {
  TableGuard g;
  NameTable& t = g.table;
  ASSERT_TRUE(create(t, 64, 8));
  ASSERT_EQ(put(t, "README", 3), 0u);
  ASSERT_EQ(put(t, "readme", 4), 1u);  // keys are case-sensitive
  EXPECT_EQ(put(t, "README", 9), NO_SLOT);
  EXPECT_EQ(t.count, 2u);
  EXPECT_EQ(t.storageUsed, 14u);
  EXPECT_EQ(put(t, "", 5), 2u);  // one zero byte
  EXPECT_EQ(t.storageUsed, 15u);
  EXPECT_EQ(key_of(t, 2), "");
  set_value(t, 0, 0xBEEF);
  EXPECT_EQ(remove_key(t, bytes("README"), 6), 0xBEEFu);
  set_value(t, 0, 1);  // free slot: ignored
  EXPECT_EQ(t.entries[0].lengthAndValue, NO_SLOT);
  EXPECT_EQ(key_of(t, 0), "<none>");
  EXPECT_EQ(key_of(t, 99), "<none>");
  EXPECT_EQ(remove_slot(t, 99), NO_SLOT);
}

TEST(NameTable, RemovedSlotIsReusedOnlyAfterOtherFreeSlots) {
  TableGuard g;
  NameTable& t = g.table;
  ASSERT_TRUE(create(t, 64, 8));
  for (int i = 0; i < 4; ++i) put(t, name(i), static_cast<std::uint16_t>(100 + i));
  EXPECT_EQ(remove_slot(t, 1), 101u);
  EXPECT_EQ(look(t, name(1)), NO_SLOT);
  EXPECT_EQ(t.count, 3u);
  EXPECT_EQ(remove_slot(t, 1), NO_SLOT);
  EXPECT_EQ(key_of(t, 1), "<none>");
  EXPECT_EQ(put(t, name(1)), 4u);
  EXPECT_EQ(put(t, "x"), 5u);
  EXPECT_EQ(put(t, "y"), 6u);
  EXPECT_EQ(put(t, "z"), 7u);
  EXPECT_EQ(t.capacity, 8u);
  EXPECT_EQ(put(t, "w"), 1u);  // 1 is the last free slot: growth first, then 1
  EXPECT_EQ(t.capacity, 16u);
  EXPECT_EQ(put(t, "v"), 8u);
  expect_consistent(t);
}

TEST(NameTable, KeyLengthLimits) {
  TableGuard g;
  NameTable& t = g.table;
  ASSERT_TRUE(create(t, 16, 4));
  EXPECT_EQ(put(t, std::string(65536, 'a')), NO_SLOT);
  EXPECT_EQ(put(t, std::string(65535, 'b'), 0xFFFF), NO_SLOT);
  EXPECT_EQ(t.count, 0u);
  EXPECT_EQ(look(t, std::string(65536, 'a')), NO_SLOT);
  std::uint32_t slot = put(t, std::string(65535, 'b'), 0xFFFE);
  ASSERT_EQ(slot, 0u);
  set_value(t, slot, 0xFFFF);  // would read as free: ignored
  EXPECT_EQ(t.entries[slot].lengthAndValue >> 16, 0xFFFEu);
  EXPECT_EQ(look(t, std::string(65535, 'b')), slot);
  expect_consistent(t);
}

TEST(NameTable, KeyTakenFromOwnStorageSurvivesCompaction) {
  TableGuard g;
  NameTable& t = g.table;
  ASSERT_TRUE(create(t, 16, 4));
  ASSERT_EQ(put(t, "ABCDEFGHIJKL"), 0u);
  std::uint32_t length = 0;
  const std::uint8_t* stored = key_at(t, 0, &length);
  EXPECT_EQ(insert(t, stored, 6, 0), 1u);  // 13 + 7 > 16: the store moves
  EXPECT_EQ(key_of(t, 1), "ABCDEF");
}

// Removals and insertions in any order, around and right after growths,
// checked against a plain list of live keys.
TEST(NameTable, InterleavedRemovalAndInsertionStayConsistent) {
  TableGuard g;
  NameTable& t = g.table;
  ASSERT_TRUE(create(t, 8, 2));
  std::vector<std::uint32_t> slotOf(200, NO_SLOT);
  std::uint32_t seed = 12345;
  for (int step = 0; step < 3000; ++step) {
    seed = seed * 1103515245u + 12345u;
    int k = static_cast<int>((seed >> 8) % 200);
    bool removing = ((seed >> 20) % 3) == 0;
    if (removing) {
      std::uint32_t expected = slotOf[k] == NO_SLOT ? NO_SLOT : static_cast<std::uint32_t>(k);
      ASSERT_EQ(remove_key(t, bytes(name(k)), static_cast<std::uint32_t>(name(k).size())), expected);
      slotOf[k] = NO_SLOT;
    } else {
      std::uint32_t slot = put(t, name(k), static_cast<std::uint16_t>(k));
      if (slotOf[k] != NO_SLOT) {
        ASSERT_EQ(slot, NO_SLOT);
      } else {
        ASSERT_NE(slot, NO_SLOT);
        slotOf[k] = slot;
      }
    }
    if (step % 50 == 0) expect_consistent(t);
  }
  for (int k = 0; k < 200; ++k) EXPECT_EQ(look(t, name(k)), slotOf[k]) << k;
  expect_consistent(t);
}

TEST(NameTable, RemovalRightAfterGrowthSlotsAreUsedUp) {
  TableGuard g;
  NameTable& t = g.table;
  ASSERT_TRUE(create(t, 64, 4));
  for (int i = 0; i < 7; ++i) ASSERT_EQ(put(t, name(i)), static_cast<std::uint32_t>(i));
  ASSERT_EQ(t.capacity, 8u);  // only slot 7 is free now
  EXPECT_EQ(remove_slot(t, 2), 0u);
  EXPECT_EQ(put(t, "a"), 7u);
  EXPECT_EQ(remove_slot(t, 7), 0u);
  EXPECT_EQ(remove_slot(t, 0), 0u);
  EXPECT_EQ(put(t, "b"), 2u);
  EXPECT_EQ(put(t, "c"), 7u);
  EXPECT_EQ(put(t, "d"), 0u);  // the last free slot: grows first
  EXPECT_EQ(t.capacity, 16u);
  EXPECT_EQ(put(t, "e"), 8u);
  expect_consistent(t);
}

TEST(NameTable, CreateFailsCleanlyAtEachAllocation) {
  for (std::uint64_t n = 1; n <= 3; ++n) {
    TableGuard g;
    heap_fail_at(n);
    EXPECT_FALSE(create(g.table, 64, 8)) << n;
    EXPECT_TRUE(g.table.storage == nullptr && g.table.entries == nullptr && g.table.buckets == nullptr);
    EXPECT_EQ(put(g.table, "a"), NO_SLOT);
  }
  NameTable zero{};
  EXPECT_FALSE(create(zero, 64, 0));
}

TEST(NameTable, FailedStorageGrowthLeavesTableUnchanged) {
  TableGuard g;
  NameTable& t = g.table;
  ASSERT_TRUE(create(t, 16, 8));
  ASSERT_EQ(put(t, "twelve bytes", 1), 0u);
  std::uint8_t* store = t.storage;
  heap_fail_at(1);
  EXPECT_EQ(put(t, "needs room"), NO_SLOT);
  heap_fail_at(0);
  EXPECT_EQ(t.storage, store);
  EXPECT_EQ(t.storageCapacity, 16u);
  EXPECT_EQ(t.count, 1u);
  EXPECT_EQ(look(t, "twelve bytes"), 0u);
  EXPECT_EQ(put(t, "needs room"), 1u);
  expect_consistent(t);
}

TEST(NameTable, FailedSlotGrowthKeepsTableConsistent) {
  // Allocation 1 (the store) succeeds and compacts; 2 (entries) or 3
  // (buckets) fails; a later insertion succeeds.
  for (std::uint64_t n = 2; n <= 3; ++n) {
    TableGuard g;
    NameTable& t = g.table;
    ASSERT_TRUE(create(t, 8, 4));
    ASSERT_EQ(put(t, "a"), 0u);
    ASSERT_EQ(put(t, "b"), 1u);
    ASSERT_EQ(put(t, "c"), 2u);
    ASSERT_EQ(remove_slot(t, 0), 0u);
    ASSERT_EQ(put(t, "x"), 3u);  // 8 bytes used, 6 live, slot 0 the last free one
    heap_fail_at(n);
    EXPECT_EQ(put(t, "dd"), NO_SLOT) << n;
    heap_fail_at(0);
    EXPECT_EQ(t.capacity, 4u);
    EXPECT_EQ(t.count, 3u);
    EXPECT_EQ(t.storageUsed, 6u);  // the compaction stays
    EXPECT_EQ(t.storageCapacity, 32u);
    expect_consistent(t);
    EXPECT_EQ(look(t, "b"), 1u);
    EXPECT_EQ(look(t, "c"), 2u);
    EXPECT_EQ(look(t, "x"), 3u);
    EXPECT_EQ(put(t, "dd"), 0u);
    EXPECT_EQ(t.capacity, 8u);
    expect_consistent(t);
  }
}

}  // namespace
