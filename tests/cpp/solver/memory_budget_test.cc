// A search whose result would outgrow the memory the process can get ends
// with ResultTooLarge instead of being killed, and the process goes on. Run
// in a child process under a low address-space limit (not with
// AddressSanitizer, whose shadow memory needs a vast address space).

#include "solver/memory_budget.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "growth_limit.h"
#include "letters_and_pairs.h"
#include "solver/anagram_solver.h"
#include "solver/fast_search.h"

namespace vorpalyx {
namespace {

int run_astronomical_search() {
  const AnagramSolver solver = letters_and_pairs();
  constexpr std::uint64_t kGrowth = std::uint64_t{1} << 30;
  limit_growth_to(kGrowth);
  try {
    solver.solve(kAlphabet, {});
  } catch (const ResultTooLarge& error) {
    if (error.solutions == 0 || error.bytes_needed <= error.bytes_available ||
        error.bytes_available > 2 * kGrowth) {
      return 3;
    }
    // The process still works.
    // "ab", "ba" and "a b".
    return solver.solve("ab", {}).size() == 3 ? 0 : 4;
  }
  return 2;
}

// Twelve letters have 3,609,673 solutions over every letter and pair,
// enough for the remainder search to write them in order; with what the
// caller spends on each, they need far more than the limit. The memory
// reported is what the process can get, none of it counted as held before
// the search holds it.
int run_search_in_order() {
  const AnagramSolver solver = letters_and_pairs();
  FastSearchOptions options;
  options.finish_costs.bytes_per_solution = 100;
  constexpr std::uint64_t kGrowth = std::uint64_t{64} << 20;
  limit_growth_to(kGrowth);
  try {
    solver.search("abcdefghijkl", {}, options);
  } catch (const ResultTooLarge& error) {
    return error.solutions == 3'609'673 &&
                   error.bytes_needed > error.bytes_available &&
                   error.bytes_available <= kGrowth
               ? 0
               : 3;
  }
  return 2;
}

TEST(MemoryBudgetTest, AnAddressSpaceLimitLowersTheMemoryAvailable) {
  EXPECT_EXIT(
      {
        limit_growth_to(std::uint64_t{100} << 20);
        const std::uint64_t available = available_memory_bytes();
        std::exit(available <= (std::uint64_t{100} << 20) ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(MemoryBudgetTest, AResultTooLargeForTheLimitIsReportedNotKilled) {
#ifdef VORPALYX_ASAN
  GTEST_SKIP() << "AddressSanitizer needs an unlimited address space";
#endif
  EXPECT_EXIT(std::exit(run_astronomical_search()), testing::ExitedWithCode(0),
              "");
}

TEST(MemoryBudgetTest, AResultInOrderIsRefusedForTheMemoryThereIs) {
#ifdef VORPALYX_ASAN
  GTEST_SKIP() << "AddressSanitizer needs an unlimited address space";
#endif
  EXPECT_EXIT(std::exit(run_search_in_order()), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace vorpalyx
