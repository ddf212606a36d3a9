#include "diskmason/front/records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "textconv/heap.h"

namespace {

struct PoolGuard {
  StringPool pool{};
  ~PoolGuard() {
    heap_fail_at(0);
    string_pool_release(pool);
  }
};

bool append(StringPool& pool, const std::string& s) {
  return string_pool_append(pool, reinterpret_cast<const std::uint8_t*>(s.data()),
                            static_cast<std::uint32_t>(s.size()));
}
bool append_path(StringPool& pool, const char* path) {
  return string_pool_append(pool, reinterpret_cast<const std::uint8_t*>(path),
                            static_cast<std::uint32_t>(std::strlen(path) + 1));
}
std::string text_of(const StringPool& pool, std::uint32_t i) {
  return std::string(reinterpret_cast<const char*>(pool.text) + pool.spans[i].offset, pool.spans[i].length);
}

TEST(StringPool, SpansGrowByDoublingAndPathsReadBackZeroTerminated) {
  PoolGuard g;
  ASSERT_TRUE(string_pool_init(g.pool, 4096, 128));
  for (int i = 0; i < 129; ++i) ASSERT_TRUE(append_path(g.pool, ("dir/file" + std::to_string(i)).c_str()));
  EXPECT_EQ(g.pool.spanCapacity, 256u);
  EXPECT_EQ(g.pool.count, 129u);
  for (std::uint32_t i = 0; i < 129; ++i)
    EXPECT_STREQ(reinterpret_cast<const char*>(g.pool.text) + g.pool.spans[i].offset,
                 ("dir/file" + std::to_string(i)).c_str());
}

TEST(StringPool, TextGrowsByDoublingUntilTheStringFits) {
  struct Case {
    std::uint32_t initial;
    std::uint32_t first;
    std::uint32_t second;
    std::uint32_t expected;
  } cases[] = {
      {4096, 4000, 100, 8192},
      {4096, 4000, 9000, 16384},
      {0, 10, 0, 256},
      {0, 10, 250, 512},
      {0, 300, 0, 512},
  };
  for (const Case& c : cases) {
    PoolGuard g;
    ASSERT_TRUE(string_pool_init(g.pool, c.initial, 4));
    ASSERT_TRUE(append(g.pool, std::string(c.first, 'a')));
    ASSERT_TRUE(append(g.pool, std::string(c.second, 'b')));
    EXPECT_EQ(g.pool.textCapacity, c.expected) << c.initial << " " << c.first << " " << c.second;
    EXPECT_EQ(text_of(g.pool, 0), std::string(c.first, 'a'));
    EXPECT_EQ(text_of(g.pool, 1), std::string(c.second, 'b'));
    EXPECT_EQ(g.pool.used, c.first + c.second);
  }
}

TEST(StringPool, FailedGrowthKeepsStoredStrings) {
  // Allocation 1 fails the text growth, then the span growth.
  PoolGuard g;
  ASSERT_TRUE(string_pool_init(g.pool, 8, 2));
  ASSERT_TRUE(append(g.pool, "abc"));
  ASSERT_TRUE(append(g.pool, "defg"));
  heap_fail_at(1);
  EXPECT_FALSE(append(g.pool, "too long"));
  heap_fail_at(1);
  EXPECT_FALSE(append(g.pool, "h"));  // fits the text, needs a third span
  heap_fail_at(0);
  EXPECT_EQ(g.pool.count, 2u);
  EXPECT_EQ(g.pool.used, 7u);
  EXPECT_EQ(g.pool.spanCapacity, 2u);
  EXPECT_EQ(text_of(g.pool, 0), "abc");
  EXPECT_EQ(text_of(g.pool, 1), "defg");
  ASSERT_TRUE(append(g.pool, "h"));
  EXPECT_EQ(text_of(g.pool, 2), "h");
}

TEST(StringPool, InitFailureReleasesThePool) {
  for (std::uint64_t n = 1; n <= 2; ++n) {
    PoolGuard g;
    heap_fail_at(n);
    EXPECT_FALSE(string_pool_init(g.pool, 64, 4));
    EXPECT_EQ(g.pool.text, nullptr);
    EXPECT_EQ(g.pool.spans, nullptr);
    EXPECT_EQ(g.pool.textCapacity, 0u);
    EXPECT_EQ(g.pool.spanCapacity, 0u);
  }
}

TEST(StringPool, RefusesLengthsBeyond32Bits) {
  PoolGuard g;
  ASSERT_TRUE(string_pool_init(g.pool, 16, 2));
  ASSERT_TRUE(append(g.pool, "x"));
  static const std::uint8_t byte = 0;
  EXPECT_FALSE(string_pool_append(g.pool, &byte, 0xFFFFFFFFu));  // used + length overflows
  EXPECT_FALSE(string_pool_append(g.pool, &byte, 0x80000000u));  // doubling passes 32 bits
  EXPECT_FALSE(string_pool_append(g.pool, nullptr, 4));
  EXPECT_EQ(g.pool.count, 1u);
  EXPECT_EQ(g.pool.textCapacity, 16u);
}

}  // namespace
