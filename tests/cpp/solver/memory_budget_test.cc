// A search whose result would outgrow the memory the process can get ends
// with ResultTooLarge instead of being killed, and the process goes on. Run
// in a child process under a low address-space limit (not with
// AddressSanitizer, whose shadow memory needs a vast address space).

#include "solver/memory_budget.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "letters_and_pairs.h"
#include "solver/anagram_solver.h"

#if defined(__SANITIZE_ADDRESS__)
#define VORPALYX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORPALYX_ASAN 1
#endif
#endif

namespace vorpalyx {
namespace {

// Lets the process grow by `bytes` more than it has now.
void limit_growth_to(std::uint64_t bytes) {
  std::ifstream statm("/proc/self/statm");
  std::uint64_t pages = 0;
  statm >> pages;
  rlimit limit;
  getrlimit(RLIMIT_AS, &limit);
  limit.rlim_cur = pages * static_cast<std::uint64_t>(getpagesize()) + bytes;
  setrlimit(RLIMIT_AS, &limit);
}

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

}  // namespace
}  // namespace vorpalyx
