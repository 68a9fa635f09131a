// SearchStop: when a fast search must end early.
//
// The walk and the sinks count their steps (classes examined, solutions
// recorded) and the solutions they record; every kStepsPerClockCheck steps,
// a fraction of a millisecond of work, the search checks its budgets:
//  - time, when a limit is given: the search ends once the time spent plus
//    what its solutions will still cost to sort and convert (FinishCosts)
//    would pass the limit, so that the whole call ends near the limit;
//  - memory: once the result's estimated size (the engine's keys and the
//    caller's converted solutions) passes a checkpoint, the memory the
//    process can still get is read again (memory_budget.h), and the search
//    ends, marked out of memory, when the estimate would not fit.
// Once stopped, a search stays stopped.
//
// Invariant: stopped() turns true as soon as max_solutions solutions have
// been counted, and at the first check past a budget. Cost: an add and a
// compare per call; a clock reading per 2^14 steps with a time limit; a read
// of /proc each time the estimate passes a checkpoint (first at 256 MiB).
//
// Tested by tests/cpp/solver/time_limit_test.cc and memory_bound_test.cc.

#ifndef VORPALYX_SOLVER_SEARCH_STOP_H_
#define VORPALYX_SOLVER_SEARCH_STOP_H_

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

#include "solver/prepared_constraints.h"

namespace vorpalyx {

// What each solution will cost once the search has found it, beyond the
// engine's own sorting and keys: converting it and holding it converted.
struct FinishCosts {
  double seconds_per_solution = 0;
  double bytes_per_solution = 0;
  double bytes_per_word = 0;
};

// What the walkers of one search have found together, for their budgets;
// each walker adds its own at every check.
struct SharedProgress {
  std::atomic<std::uint64_t> solutions{0};
  std::atomic<std::uint64_t> words{0};
  std::atomic<bool> stopped{false};
};

class SearchStop {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::uint64_t kStepsPerClockCheck = 1 << 14;
  // The engine's share: sorting a key, and holding it (a key is 8 bytes in
  // most cases, held twice over while its bucket is sorted, plus scratch).
  static constexpr double kSortSecondsPerSolution = 30e-9;
  static constexpr double kKeyBytesPerSolution = 24;
  static constexpr double kKeyBytesHeld = 8;
  static constexpr double kFirstMemoryCheckpoint = 256.0 * (1 << 20);

  SearchStop(const PreparedConstraints& prepared, Clock::time_point start_time,
             const FinishCosts& costs)
      : max_solutions_(prepared.max_solutions),
        timeout_seconds_(prepared.timeout_seconds),
        start_time_(start_time),
        seconds_per_solution_(costs.seconds_per_solution +
                              kSortSecondsPerSolution),
        bytes_per_solution_(costs.bytes_per_solution + kKeyBytesPerSolution),
        bytes_per_word_(costs.bytes_per_word) {}

  // Budgets count what every walker sharing `progress` found, and a walker
  // that stops stops the others at their next check.
  void share(SharedProgress* progress) { shared_ = progress; }

  bool stopped() const { return stopped_; }
  bool out_of_memory() const { return out_of_memory_; }
  std::uint64_t solutions_found() const { return solutions_found_; }
  // The estimated size of the result, for this walker's solutions.
  double bytes_needed() const {
    return bytes_needed(solutions_found_, words_found_);
  }
  double bytes_available() const { return bytes_available_; }

  void count_steps(std::uint64_t steps) {
    steps_since_check_ += steps;
    if (steps_since_check_ < kStepsPerClockCheck) return;
    steps_since_check_ = 0;
    check_budgets();
  }

  void count_solution(std::size_t word_count) {
    words_found_ += word_count;
    if (++solutions_found_ >= max_solutions_) stopped_ = true;
  }

 private:
  double bytes_needed(std::uint64_t solutions, std::uint64_t words) const {
    return static_cast<double>(solutions) * bytes_per_solution_ +
           static_cast<double>(words) * bytes_per_word_;
  }

  void check_budgets() {
    std::uint64_t solutions = solutions_found_;
    std::uint64_t words = words_found_;
    if (shared_ != nullptr) {
      solutions =
          shared_->solutions.fetch_add(solutions - solutions_reported_) +
          solutions - solutions_reported_;
      words = shared_->words.fetch_add(words - words_reported_) + words -
              words_reported_;
      solutions_reported_ = solutions_found_;
      words_reported_ = words_found_;
      if (shared_->stopped.load(std::memory_order_relaxed)) stopped_ = true;
    }
    if (timeout_seconds_) {
      const std::chrono::duration<double> elapsed = Clock::now() - start_time_;
      const double to_finish =
          static_cast<double>(solutions) * seconds_per_solution_;
      if (elapsed.count() + to_finish > *timeout_seconds_) stop();
    }
    const double needed = bytes_needed(solutions, words);
    if (needed >= memory_checkpoint_) check_memory(solutions, needed);
  }

  void stop() {
    stopped_ = true;
    if (shared_ != nullptr) shared_->stopped.store(true);
  }

  void check_memory(std::uint64_t solutions, double needed);

  std::uint64_t max_solutions_;
  std::optional<double> timeout_seconds_;
  Clock::time_point start_time_;
  double seconds_per_solution_;
  double bytes_per_solution_;
  double bytes_per_word_;
  std::uint64_t solutions_found_ = 0;
  std::uint64_t words_found_ = 0;
  std::uint64_t steps_since_check_ = 0;
  double memory_checkpoint_ = kFirstMemoryCheckpoint;
  double bytes_available_ = 0;
  bool stopped_ = false;
  bool out_of_memory_ = false;
  SharedProgress* shared_ = nullptr;
  std::uint64_t solutions_reported_ = 0;  // to shared_
  std::uint64_t words_reported_ = 0;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_SEARCH_STOP_H_
