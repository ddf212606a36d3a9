#include "diskmason/tree/index_pool.h"

#include <gtest/gtest.h>

#include <vector>

#include "textconv/heap.h"

namespace {

struct PoolGuard {
  IndexPool pool{};
  ~PoolGuard() {
    heap_fail_at(0);
    destroy(pool);
  }
};

std::vector<std::uint32_t> take(IndexPool& pool, int n) {
  std::vector<std::uint32_t> out;
  for (int i = 0; i < n; ++i) out.push_back(allocate(pool));
  return out;
}

std::vector<std::uint32_t> range(std::uint32_t from, std::uint32_t to) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t i = from; i <= to; ++i) out.push_back(i);
  return out;
}

TEST(IndexPool, HandsOutAscendingAndGrowsWhenLastIsTaken) {
  PoolGuard g;
  ASSERT_TRUE(init(g.pool, 128));
  EXPECT_EQ(take(g.pool, 127), range(0, 126));
  EXPECT_EQ(g.pool.capacity, 128u);
  EXPECT_EQ(allocate(g.pool), 127u);
  EXPECT_EQ(g.pool.capacity, 256u);
  EXPECT_EQ(allocate(g.pool), 128u);
  EXPECT_EQ(g.pool.used, 129u);
}

TEST(IndexPool, ReleasedIndexComesBackAfterEveryEarlierFreeOne) {
  PoolGuard g;
  ASSERT_TRUE(init(g.pool, 128));
  take(g.pool, 10);
  release(g.pool, 5);
  EXPECT_FALSE(is_used(g.pool, 5));
  EXPECT_EQ(take(g.pool, 118), range(10, 127));
  EXPECT_EQ(g.pool.capacity, 128u);
  EXPECT_EQ(allocate(g.pool), 5u);  // the last free one: the pool grows
  EXPECT_EQ(g.pool.capacity, 256u);
  EXPECT_EQ(allocate(g.pool), 128u);
}

TEST(IndexPool, ReleasingAFreeOrOutOfRangeIndexChangesNothing) {
  PoolGuard g;
  ASSERT_TRUE(init(g.pool, 8));
  take(g.pool, 3);
  release(g.pool, 1);
  release(g.pool, 1);
  release(g.pool, 6);
  release(g.pool, 8);
  release(g.pool, NO_INDEX);
  EXPECT_EQ(g.pool.used, 2u);
  EXPECT_EQ(take(g.pool, 5), (std::vector<std::uint32_t>{3, 4, 5, 6, 7}));
  EXPECT_EQ(allocate(g.pool), 1u);
  EXPECT_FALSE(is_used(g.pool, 8));
  EXPECT_FALSE(is_used(g.pool, NO_INDEX));
}

TEST(IndexPool, PoolOfOneGrowsOnFirstAllocation) {
  PoolGuard g;
  ASSERT_TRUE(init(g.pool, 1));
  EXPECT_EQ(allocate(g.pool), 0u);
  EXPECT_EQ(g.pool.capacity, 2u);
  EXPECT_EQ(allocate(g.pool), 1u);
  EXPECT_EQ(allocate(g.pool), 2u);
  EXPECT_TRUE(is_used(g.pool, 0) && is_used(g.pool, 1) && is_used(g.pool, 2));
  reset(g.pool);  // the size stays, the order starts again
  EXPECT_EQ(take(g.pool, 3), range(0, 2));
}

TEST(IndexPool, InitFailureAndZeroCount) {
  PoolGuard g;
  heap_fail_at(1);
  EXPECT_FALSE(init(g.pool, 16));
  EXPECT_EQ(g.pool.capacity, 0u);
  EXPECT_EQ(allocate(g.pool), NO_INDEX);
  heap_fail_at(0);
  EXPECT_FALSE(init(g.pool, 0));
  release(g.pool, 0);
  EXPECT_EQ(allocate(g.pool), NO_INDEX);
}

TEST(IndexPool, FailedGrowthAnswersNoIndexUntilARetrySucceeds) {
  PoolGuard g;
  ASSERT_TRUE(init(g.pool, 2));
  EXPECT_EQ(allocate(g.pool), 0u);
  heap_fail_at(1);
  EXPECT_EQ(allocate(g.pool), 1u);  // the index is still handed out
  EXPECT_EQ(g.pool.capacity, 2u);
  EXPECT_EQ(g.pool.used, 2u);
  heap_fail_at(1);
  EXPECT_EQ(allocate(g.pool), NO_INDEX);  // the retry failed too
  EXPECT_EQ(g.pool.used, 2u);
  heap_fail_at(0);
  EXPECT_EQ(allocate(g.pool), 2u);  // the retry grows the pool
  EXPECT_EQ(g.pool.capacity, 4u);
  EXPECT_EQ(take(g.pool, 2), (std::vector<std::uint32_t>{3, 4}));
}

TEST(IndexPool, ReleaseIntoFullPoolStartsANewFreeList) {
  PoolGuard g;
  ASSERT_TRUE(init(g.pool, 2));
  allocate(g.pool);
  heap_fail_at(1);
  allocate(g.pool);
  heap_fail_at(0);
  release(g.pool, 0);
  EXPECT_EQ(g.pool.used, 1u);
  release(g.pool, 1);
  EXPECT_EQ(g.pool.used, 0u);
  // Free list is 0 then 1; taking the last one grows the pool.
  EXPECT_EQ(take(g.pool, 3), (std::vector<std::uint32_t>{0, 1, 2}));
  EXPECT_EQ(g.pool.capacity, 4u);
}

}  // namespace
