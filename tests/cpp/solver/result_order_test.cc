// The result order of solutions and the flat layout of a SolutionList.

#include "solver/result_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "solver/search_records.h"

namespace vorpalyx {
namespace {

using Solutions = std::vector<Solution>;

// In result order; each key of the order decides at least one neighbour pair.
const Solutions& ordered_solutions() {
  static const Solutions solutions = {
      {"zz"},  // a longer single word comes first
      {"a"},
      {"b"},
      {"zzzz", "zzzz"},  // the longer shortest word beats smaller words
      {"ab", "cd"},
      {"ab", "cde"},  // a word that prefixes another sorts first
      {"abc", "d"},
      {"b", "cc"},
      {"a", "a", "a"},  // more words come later, whatever their length
      {"a", "ab", "b"},
  };
  return solutions;
}

TEST(SolutionPrecedesTest, OrdersByWordCountThenShortestWordThenWords) {
  const Solutions& ordered = ordered_solutions();
  for (std::size_t i = 0; i < ordered.size(); ++i) {
    EXPECT_FALSE(solution_precedes(ordered[i], ordered[i])) << i;
    for (std::size_t j = i + 1; j < ordered.size(); ++j) {
      EXPECT_TRUE(solution_precedes(ordered[i], ordered[j])) << i << " " << j;
      EXPECT_FALSE(solution_precedes(ordered[j], ordered[i])) << i << " " << j;
    }
  }
}

TEST(MakeSolutionListTest, SortsWhateverTheInputOrder) {
  std::mt19937 random(12345);
  for (int round = 0; round < 20; ++round) {
    Solutions shuffled = ordered_solutions();
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    EXPECT_EQ(make_solution_list(std::move(shuffled)).to_vectors(),
              ordered_solutions());
  }
}

TEST(MakeSolutionListTest, HoldsEachDistinctWordOnce) {
  const SolutionList list = make_solution_list(
      {{"el", "in", "st"}, {"listen"}, {"el", "tins"}, {"in", "listen"}});
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list.words,
            (std::vector<std::string>{"listen", "el", "tins", "in", "st"}));
  // One group per word count, each solution stored as its word ids.
  ASSERT_EQ(list.groups.size(), 3u);
  const std::vector<std::pair<std::size_t, std::vector<std::uint32_t>>>
      expected = {{1, {0}}, {2, {1, 2, 3, 0}}, {3, {1, 3, 4}}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const SolutionGroup& group = list.groups[i];
    EXPECT_EQ(group.word_count, expected[i].first);
    std::vector<std::uint32_t> ids;
    group.for_each([&](const std::uint32_t* solution) {
      ids.insert(ids.end(), solution, solution + group.word_count);
    });
    EXPECT_EQ(ids, expected[i].second);
  }
  EXPECT_EQ(
      list.to_vectors(),
      (Solutions{
          {"listen"}, {"el", "tins"}, {"in", "listen"}, {"el", "in", "st"}}));
}

TEST(MakeSolutionListTest, EmptyInputGivesEmptyList) {
  const SolutionList list = make_solution_list({});
  EXPECT_EQ(list.size(), 0u);
  EXPECT_TRUE(list.words.empty());
  EXPECT_TRUE(list.groups.empty());
  EXPECT_TRUE(list.to_vectors().empty());
}

}  // namespace
}  // namespace vorpalyx
