// Keys hold a solution's ranks in order: decoding gives back the merged
// ranks, and keys compare as their rank lists do.

#include "solver/solution_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vorpalyx {
namespace {

template <typename Key>
void expect_round_trip(std::vector<std::uint32_t> sorted, std::uint32_t last,
                       int rank_bits) {
  const Key key =
      encode_key<Key>(sorted.data(), sorted.size(), last, rank_bits);
  std::vector<std::uint32_t> expected = sorted;
  expected.insert(std::upper_bound(expected.begin(), expected.end(), last),
                  last);
  std::vector<std::uint32_t> decoded(expected.size());
  decode_key(key, decoded.size(), rank_bits, decoded.data());
  EXPECT_EQ(decoded, expected);
}

TEST(SolutionKeysTest, DecodeGivesTheMergedRanks) {
  expect_round_trip<std::uint64_t>({}, 5, 3);
  expect_round_trip<std::uint64_t>({1, 4, 4}, 0, 3);
  expect_round_trip<std::uint64_t>({1, 4, 4}, 4, 3);
  expect_round_trip<std::uint64_t>({1, 4, 4}, 7, 3);
  expect_round_trip<std::uint64_t>({0, 65535, 65535}, 65535, 16);
  expect_round_trip<LongKey>({3, 1000, 70000, 70000, 131071}, 99999, 17);
}

TEST(SolutionKeysTest, ARunOfLastRanksGivesEachKeyInTurn) {
  const std::vector<std::uint32_t> sorted = {1, 4, 4, 6};
  const std::vector<std::uint32_t> lasts = {0, 1, 2, 4, 5, 7, 7};
  std::vector<LongKey> keys;
  encode_keys<LongKey>(sorted.data(), sorted.size(), lasts.data(), lasts.size(),
                       30, [&](LongKey key) { keys.push_back(key); });
  ASSERT_EQ(keys.size(), lasts.size());
  for (std::size_t j = 0; j < lasts.size(); ++j) {
    EXPECT_TRUE(keys[j] ==
                encode_key<LongKey>(sorted.data(), sorted.size(), lasts[j], 30))
        << "last " << lasts[j];
  }
}

TEST(SolutionKeysTest, KeysCompareAsRankLists) {
  const std::vector<std::vector<std::uint32_t>> lists = {
      {0, 0, 1}, {0, 0, 2}, {0, 1, 1}, {0, 3, 3}, {1, 1, 1}, {2, 3, 3}};
  std::vector<std::uint64_t> keys;
  for (const auto& ranks : lists) {
    keys.push_back(encode_key<std::uint64_t>(ranks.data(), 2, ranks[2], 2));
  }
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end());
}

}  // namespace
}  // namespace vorpalyx
