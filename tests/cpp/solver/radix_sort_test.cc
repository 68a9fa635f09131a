// The radix sort against std::sort, over the key widths and range sizes
// that take its different paths: comparison sorts for short ranges, 6, 8
// and 11-bit digits, ranges finished from the lowest digit (in an odd or even
// number of passes), shared high digits, and keys gathered in blocks (into
// arrays mapped on their own once large); rows too long for keys; sorts
// stopped by a deadline; buckets small enough to be sorted as one range.

#include "solver/radix_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

#include "solver/key_blocks.h"
#include "solver/row_sort.h"
#include "solver/solution_buckets.h"
#include "solver/solution_keys.h"

namespace vorpalyx {
namespace {

template <typename Key>
std::vector<Key> random_keys(std::size_t count, int key_bits,
                             int shared_top_bits, std::uint32_t seed) {
  std::mt19937_64 random(seed);
  std::vector<Key> keys(count);
  const int free_bits = key_bits - shared_top_bits;
  for (Key& key : keys) {
    Key value = Key{random()};
    if constexpr (sizeof(Key) > sizeof(std::uint64_t)) {
      value = value << 64 | Key{random()};
    }
    if (free_bits < static_cast<int>(8 * sizeof(Key))) {
      value &= (Key{1} << free_bits) - 1;
    }
    // Few distinct values in small ranges give runs of equal keys.
    if (count < 5000) value %= count / 2 + 1;
    key = value | (shared_top_bits ? Key{1} << (key_bits - 1) : Key{0});
  }
  return keys;
}

class RadixSortTest
    : public testing::TestWithParam<std::tuple<std::size_t, int, int>> {};

TEST_P(RadixSortTest, SortsLikeStdSort) {
  const auto [count, key_bits, shared_top_bits] = GetParam();
  std::vector<std::uint64_t> keys = random_keys<std::uint64_t>(
      count, key_bits, shared_top_bits, static_cast<std::uint32_t>(count));
  std::vector<std::uint64_t> expected = keys;
  std::sort(expected.begin(), expected.end());

  std::vector<std::uint64_t> in_place = keys;
  radix_sort(in_place.data(), in_place.size(), key_bits);
  EXPECT_EQ(in_place, expected);

  // Two walkers' keys: the first's block grows to hold the second's too.
  KeyBlocks<std::uint64_t> blocks;
  KeyBlocks<std::uint64_t> others;
  for (std::size_t i = 0; i < count; ++i) {
    (i < count / 2 ? blocks : others).push_back(keys[i]);
  }
  blocks.append(std::move(others));
  PageArray<std::uint64_t> scratch;
  const auto sorted = radix_sort(blocks, key_bits, 16, scratch);
  EXPECT_EQ(blocks.size(), 0u);
  EXPECT_EQ(std::vector<std::uint64_t>(sorted.get(), sorted.get() + count),
            expected);
}

INSTANTIATE_TEST_SUITE_P(
    PathsAndWidths, RadixSortTest,
    testing::Values(std::tuple(0, 10, 0), std::tuple(1, 10, 0),
                    std::tuple(40, 12, 0), std::tuple(300, 20, 0),
                    std::tuple(3000, 24, 1), std::tuple(70'000, 40, 0),
                    std::tuple(200'000, 64, 0), std::tuple(100'000, 64, 20),
                    std::tuple(50'000, 7, 0), std::tuple(1'500'000, 48, 0)));

TEST(RadixSortTest, LongKeysFromBlocks) {
  const std::vector<LongKey> keys = random_keys<LongKey>(100'000, 100, 0, 7);
  KeyBlocks<LongKey> blocks;
  for (LongKey key : keys) blocks.push_back(key);
  std::vector<LongKey> expected = keys;
  std::sort(expected.begin(), expected.end());
  PageArray<LongKey> scratch;
  const auto sorted = radix_sort(blocks, 100, 16, scratch);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), sorted.get()));
}

// Past its deadline a sort stops after its first ranges, with the smallest
// keys in order; the buckets of a search then keep only their first group
// in result order, sorted whole.
TEST(RadixSortTest, DeadlinePassedKeepsTheSmallestKeysSorted) {
  const std::vector<std::uint64_t> keys =
      random_keys<std::uint64_t>(1'000'000, 40, 0, 3);
  KeyBlocks<std::uint64_t> blocks;
  for (std::uint64_t key : keys) blocks.push_back(key);
  std::vector<std::uint64_t> expected = keys;
  std::sort(expected.begin(), expected.end());
  PageArray<std::uint64_t> scratch;
  const auto past = std::chrono::steady_clock::now() - std::chrono::seconds(1);
  std::size_t sorted_count = 0;
  const auto sorted = radix_sort(blocks, 40, 16, scratch, &sorted_count, &past);
  EXPECT_GT(sorted_count, 0u);
  EXPECT_LT(sorted_count, keys.size() / 4);
  EXPECT_TRUE(
      std::equal(sorted.get(), sorted.get() + sorted_count, expected.begin()));

  SolutionBuckets buckets(1000);
  const std::uint32_t ranks[] = {3, 7};
  for (std::uint32_t last = 0; last < 900; ++last) {
    buckets.add(buckets.bucket(3, 2), ranks, 2, last);
    buckets.add(buckets.bucket(2, 4), ranks, 1, 999 - last);
  }
  const std::vector<SolutionGroup> groups =
      buckets.take_in_result_order(false, nullptr, past);
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].word_count, 2u);
  EXPECT_EQ(groups[0].solution_count, 900u);
  std::vector<std::uint32_t> firsts;
  groups[0].for_each([&](const std::uint32_t* ids) {
    firsts.push_back(ids[0] == 3 ? ids[1] : ids[0]);
  });
  EXPECT_TRUE(std::is_sorted(firsts.begin(), firsts.end()));
}

// Under a limit, each bucket leaves time only for what is done after with
// it and the buckets before it: a search that found more than fits keeps
// the buckets that fit, not the first alone.
TEST(RadixSortTest, LimitKeepsTheBucketsWhoseCostFits) {
  SolutionBuckets buckets(1000);
  const std::uint32_t ranks[] = {3, 7, 9};
  for (std::uint32_t last = 0; last < 900; ++last) {
    buckets.add(buckets.bucket(2, 4), ranks, 1, 999 - last);
    buckets.add(buckets.bucket(3, 2), ranks, 2, last);
    buckets.add(buckets.bucket(4, 1), ranks, 3, last);
  }
  // An hour away; two buckets take 2700 s after, the three 4050 s.
  FinishCosts after;
  after.seconds_per_solution = 1.5;
  const std::vector<SolutionGroup> groups = buckets.take_in_result_order(
      false, nullptr, std::chrono::steady_clock::now() + std::chrono::hours(1),
      after);
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0].word_count, 2u);
  EXPECT_EQ(groups[1].word_count, 3u);
  EXPECT_EQ(groups[1].solution_count, 900u);
}

// Rows that share long prefixes, with ties, narrow and widely spread ranks
// (spread by counting or sorted by comparison), in ranges large and small.
TEST(RowSortTest, SortsLikeComparingRowsWordByWord) {
  for (const std::size_t count : {1, 20, 5000}) {
    for (const std::uint32_t spread : {3u, 100'000u}) {
      std::mt19937 random(static_cast<std::uint32_t>(count + spread));
      const std::size_t width = 12;
      std::vector<std::uint32_t> ranks(count * width);
      for (std::size_t row = 0; row < count; ++row) {
        for (std::size_t column = 0; column < width; ++column) {
          ranks[row * width + column] =
              column < 4 ? static_cast<std::uint32_t>(column)
                         : static_cast<std::uint32_t>(random() % spread);
        }
      }
      std::vector<const std::uint32_t*> rows;
      for (std::size_t row = 0; row < count; ++row) {
        rows.push_back(ranks.data() + row * width);
      }
      auto as_lists = [&](const std::vector<const std::uint32_t*>& sorted) {
        std::vector<std::vector<std::uint32_t>> lists;
        for (const std::uint32_t* row : sorted)
          lists.emplace_back(row, row + width);
        return lists;
      };
      std::vector<std::vector<std::uint32_t>> expected = as_lists(rows);
      std::sort(expected.begin(), expected.end());
      sort_rows(rows, width);
      EXPECT_EQ(as_lists(rows), expected) << count << " rows, " << spread;
    }
  }
}

TEST(KeyBlocksTest, AppendKeepsEveryKeyInOrder) {
  KeyBlocks<std::uint64_t> first;
  KeyBlocks<std::uint64_t> second;
  for (std::uint64_t i = 0; i < 1000; ++i) first.push_back(i);
  for (std::uint64_t i = 1000; i < 1100; ++i) second.push_back(i);
  first.append(std::move(second));
  first.push_back(1100);
  std::vector<std::uint64_t> seen;
  first.for_each_block(
      [&](const std::uint64_t* begin, const std::uint64_t* end) {
        seen.insert(seen.end(), begin, end);
      });
  ASSERT_EQ(seen.size(), 1101u);
  EXPECT_EQ(first.size(), 1101u);
  EXPECT_EQ(second.size(), 0u);
  for (std::uint64_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], i);
}

}  // namespace
}  // namespace vorpalyx
