// SearchStop: when a fast search must end early.
//
// The walk and the sinks count their steps (classes examined, solutions
// recorded) and the solutions they record; the clock is read once every
// kStepsPerClockCheck steps, a fraction of a millisecond of work, and only
// when a time limit is given. Once stopped, a search stays stopped.
//
// Invariant: stopped() turns true as soon as max_solutions solutions have
// been counted, and at the first clock reading past the time limit. Cost: an
// add and a compare per call; a clock reading per 2^14 steps.
//
// Tested by tests/cpp/solver/time_limit_test.cc and memory_bound_test.cc.

#ifndef VORPALYX_SOLVER_SEARCH_STOP_H_
#define VORPALYX_SOLVER_SEARCH_STOP_H_

#include <chrono>
#include <cstdint>
#include <optional>

#include "solver/prepared_constraints.h"

namespace vorpalyx {

class SearchStop {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::uint64_t kStepsPerClockCheck = 1 << 14;

  SearchStop(const PreparedConstraints& prepared, Clock::time_point start_time)
      : max_solutions_(prepared.max_solutions),
        timeout_seconds_(prepared.timeout_seconds),
        start_time_(start_time) {}

  bool stopped() const { return stopped_; }
  std::uint64_t solutions_found() const { return solutions_found_; }

  void count_steps(std::uint64_t steps) {
    if (!timeout_seconds_) return;
    steps_since_clock_ += steps;
    if (steps_since_clock_ < kStepsPerClockCheck) return;
    steps_since_clock_ = 0;
    const std::chrono::duration<double> elapsed = Clock::now() - start_time_;
    if (elapsed.count() > *timeout_seconds_) stopped_ = true;
  }

  void count_solution() {
    if (++solutions_found_ >= max_solutions_) stopped_ = true;
  }

 private:
  std::uint64_t max_solutions_;
  std::optional<double> timeout_seconds_;
  Clock::time_point start_time_;
  std::uint64_t solutions_found_ = 0;
  std::uint64_t steps_since_clock_ = 0;
  bool stopped_ = false;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_SEARCH_STOP_H_
