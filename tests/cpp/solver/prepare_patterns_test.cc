#include "solver/prepare_patterns.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vorpalyx {
namespace {

CharCounts counts(std::initializer_list<std::pair<char, std::uint64_t>> items) {
  CharCounts result;
  for (const auto& [letter, count] : items) result[letter - 'a'] = count;
  return result;
}

TEST(PreparePatternsTest, NormalisesAndDropsWhatNormalisesToNothing) {
  const std::vector<ProcessedPattern> patterns = prepare_patterns(
      {"N-e-T", "", "--", "\xc3\xa9", "aBa", "net", "\xc3\xa9t\xc3\xa9"});
  ASSERT_EQ(patterns.size(), 4u);
  EXPECT_EQ(patterns[0].text, "net");
  EXPECT_EQ(patterns[0].counts, counts({{'n', 1}, {'e', 1}, {'t', 1}}));
  EXPECT_EQ(patterns[1].text, "aba");
  EXPECT_EQ(patterns[1].counts, counts({{'a', 2}, {'b', 1}}));
  EXPECT_EQ(patterns[2].text, "net");
  EXPECT_EQ(patterns[3].text, "t");
  EXPECT_EQ(patterns[3].counts, counts({{'t', 1}}));
  EXPECT_TRUE(prepare_patterns({}).empty());
}

}  // namespace
}  // namespace vorpalyx
