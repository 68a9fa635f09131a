// A lower address-space limit for a test's child process, so that a search
// meets the end of its memory without the machine running short. Not for
// AddressSanitizer, whose shadow memory needs a vast address space
// (VORPALYX_ASAN tells).

#ifndef VORPALYX_TESTS_SOLVER_GROWTH_LIMIT_H_
#define VORPALYX_TESTS_SOLVER_GROWTH_LIMIT_H_

#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>

#if defined(__SANITIZE_ADDRESS__)
#define VORPALYX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORPALYX_ASAN 1
#endif
#endif

namespace vorpalyx {

// Lets the process grow by `bytes` more than it has now.
inline void limit_growth_to(std::uint64_t bytes) {
  std::ifstream statm("/proc/self/statm");
  std::uint64_t pages = 0;
  statm >> pages;
  rlimit limit;
  getrlimit(RLIMIT_AS, &limit);
  limit.rlim_cur = pages * static_cast<std::uint64_t>(getpagesize()) + bytes;
  setrlimit(RLIMIT_AS, &limit);
}

}  // namespace vorpalyx

#endif  // VORPALYX_TESTS_SOLVER_GROWTH_LIMIT_H_
