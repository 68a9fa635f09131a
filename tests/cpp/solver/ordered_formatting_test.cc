// Formatting on two threads in order: the same bytes as one formatter, for
// every segment size and both forms, and a stop part of the way.

#include "solver/ordered_formatting.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "solver/result_order.h"

namespace vorpalyx {
namespace {

// 600 solutions of one to three words, some repeated across solutions.
SolutionList numbered_list() {
  std::vector<std::vector<std::string>> solutions;
  for (int i = 0; i < 600; ++i) {
    // Appending rather than "w" + std::to_string(i), which GCC 12 at -O3
    // warns about (-Wrestrict) though nothing overlaps.
    std::vector<std::string> words = {
        std::string("w").append(std::to_string(i))};
    for (int extra = 0; extra < i % 3; ++extra) {
      words.push_back(std::string("x").append(std::to_string(i % 7 + extra)));
    }
    solutions.push_back(words);
  }
  return make_solution_list(solutions);
}

std::string whole(const SolutionList& list, SolutionFormat format,
                  std::size_t first, std::size_t count) {
  SolutionFormatter formatter(list, format, first, 1, count);
  std::string all, chunk;
  while (formatter.next_chunk(chunk)) all += chunk;
  return all;
}

class OrderedFormattingTest
    : public testing::TestWithParam<
          std::tuple<SolutionFormat, std::size_t, bool>> {};

TEST_P(OrderedFormattingTest, GivesWhatOneFormatterGives) {
  const auto [format, segment_solutions, second_thread] = GetParam();
  const SolutionList list = numbered_list();
  for (const auto& [first, count] :
       {std::pair<std::size_t, std::size_t>{0, 600},
        {17, 300},
        {599, 1},
        {5, 0}}) {
    std::string joined;
    EXPECT_TRUE(format_in_order(list, format, first, count, segment_solutions,
                                second_thread, [&](std::string_view piece) {
                                  joined += piece;
                                  return true;
                                }));
    EXPECT_EQ(joined, whole(list, format, first, count))
        << "first " << first << ", count " << count;
  }
}

INSTANTIATE_TEST_SUITE_P(
    FormsSegmentsAndThreads, OrderedFormattingTest,
    testing::Combine(testing::Values(SolutionFormat::kText,
                                     SolutionFormat::kJson),
                     testing::Values(1, 7, 299, 600, 10'000), testing::Bool()));

TEST(OrderedFormattingStopTest, NothingMoreAfterEmitSaysStop) {
  const SolutionList list = numbered_list();
  for (const bool second_thread : {false, true}) {
    int calls = 0;
    EXPECT_FALSE(
        format_in_order(list, SolutionFormat::kText, 0, 600, 10, second_thread,
                        [&](std::string_view) { return ++calls < 3; }));
    EXPECT_EQ(calls, 3);
  }
}

}  // namespace
}  // namespace vorpalyx
