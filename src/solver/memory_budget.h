// How much memory the process can still get, and the failure a search
// reports when its result would not fit in it.
//
// The memory available is the least of: what the address-space limit
// (RLIMIT_AS) leaves above the process's current size, when a limit is set;
// what the process's cgroup allows above its current use, when it has a
// limit; and what the system reports as available (MemAvailable). The kernel
// may kill a process that outgrows these before any allocation fails, so a
// search checks its running estimate against them instead of waiting for
// std::bad_alloc.
//
// Cost: reading a few small files under /proc and /sys (tens of
// microseconds); callers read it rarely.
//
// Tested by tests/cpp/solver/memory_budget_test.cc and, end to end, by a
// Python test under a low address-space limit.

#ifndef VORPALYX_SOLVER_MEMORY_BUDGET_H_
#define VORPALYX_SOLVER_MEMORY_BUDGET_H_

#include <cstdint>
#include <exception>
#include <string>

namespace vorpalyx {

// Bytes the process can still allocate; UINT64_MAX when nothing says.
std::uint64_t available_memory_bytes();

// A search whose result would need more memory than the process can get.
class ResultTooLarge : public std::exception {
 public:
  ResultTooLarge(std::uint64_t solutions, std::uint64_t bytes_needed,
                 std::uint64_t bytes_available)
      : solutions(solutions),
        bytes_needed(bytes_needed),
        bytes_available(bytes_available) {}
  const char* what() const noexcept override {
    return "the result would not fit in memory";
  }
  // What the caller tells its user: how many solutions, how much memory,
  // and how to bound or count instead.
  std::string message() const;

  std::uint64_t solutions;  // found when the search stopped
  std::uint64_t bytes_needed;
  std::uint64_t bytes_available;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_MEMORY_BUDGET_H_
