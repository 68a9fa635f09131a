// SearchStop: when a fast search must end early.
//
// The walk and the sinks count their steps (classes examined, solutions
// recorded) and the solutions they record; every kStepsPerClockCheck steps,
// a fraction of a millisecond of work, the search checks its budgets:
//  - time, when a limit is given: the search ends once the time spent plus
//    what its solutions will still cost to sort (by how they are stored) and
//    to convert (FinishCosts; only the first kept_most of them for a caller
//    that keeps no more) would pass the limit, so that the whole call ends
//    near the limit;
//  - memory: once the result's estimated size (the engine's storage, twice
//    over while sorted, and the caller's converted solutions) passes a
//    checkpoint, the memory the process can still get is read again
//    (memory_budget.h), and the search ends, marked out of memory, when the
//    estimate would not fit;
//  - the caller's wish, when it gives an InterruptPoll: the first walker
//    (the one on the calling thread) asks it about every `interval`, and a
//    yes stops the search, marked interrupted.
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
#include <exception>
#include <functional>
#include <optional>

#include "solver/prepared_constraints.h"

namespace vorpalyx {

// What each solution will cost once the search has found it, beyond the
// engine's own sorting and storage: converting it and holding it converted.
struct FinishCosts {
  double seconds_per_solution = 0;
  double seconds_per_word = 0;
  std::uint64_t bytes_per_solution = 0;
  std::uint64_t bytes_per_word = 0;
  // A caller that keeps only some of the solutions (the k best) converts
  // at most `kept_most` of them: each of the first kept_most found costs
  // this much more.
  std::uint64_t kept_most = 0;
  double seconds_per_kept = 0;
  double seconds_per_kept_word = 0;
  std::uint64_t bytes_per_kept = 0;
  std::uint64_t bytes_per_kept_word = 0;

  // What `solutions` kept solutions of `words` words in all cost, in
  // seconds.
  double kept_seconds(std::uint64_t solutions, std::uint64_t words) const {
    return seconds_per_kept * static_cast<double>(solutions) +
           seconds_per_kept_word * static_cast<double>(words);
  }
};

// How a caller asks a running search to stop (a signal, a closed client):
// `interrupted` is called on the calling thread only, about every
// `interval`, and returns true to stop.
struct InterruptPoll {
  std::function<bool()> interrupted;
  std::chrono::steady_clock::duration interval = std::chrono::milliseconds(20);
};

// Thrown by a search that its InterruptPoll stopped; whatever the poll
// reported (a pending Python exception, say) is the caller's to raise.
class SearchInterrupted : public std::exception {
 public:
  const char* what() const noexcept override { return "search interrupted"; }
};

// What the walkers of one search have found together, for their budgets;
// each walker adds its own at every check.
struct SharedProgress {
  std::atomic<std::uint64_t> solutions{0};
  std::atomic<std::uint64_t> result_bytes{0};
  std::atomic<std::uint64_t> stored_bytes{0};
  std::atomic<std::uint64_t> finish_nanoseconds{0};
  std::atomic<bool> stopped{false};
};

// What one solution costs from when it is found: the bytes it will occupy
// at its largest (the engine's storage twice over while sorted, next to the
// caller's converted copy), the engine's own storage, and the time to sort
// and convert it.
struct SolutionCost {
  std::uint64_t result_bytes;
  std::uint64_t stored_bytes;
  std::uint64_t finish_nanoseconds;
  // More, while it is among the first FinishCosts::kept_most.
  std::uint64_t kept_bytes = 0;
  std::uint64_t kept_nanoseconds = 0;
};

class SearchStop {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::uint64_t kStepsPerClockCheck = 1 << 14;
  static constexpr std::uint64_t kFirstMemoryCheckpoint = std::uint64_t{256}
                                                          << 20;

  // `poll`, when given, must outlive the search.
  SearchStop(const PreparedConstraints& prepared, Clock::time_point start_time,
             const FinishCosts& costs, const InterruptPoll* poll = nullptr)
      : max_solutions_(prepared.max_solutions),
        timeout_seconds_(prepared.timeout_seconds),
        start_time_(start_time),
        costs_(costs),
        poll_(poll != nullptr && poll->interrupted ? poll : nullptr),
        next_poll_(start_time) {}

  // Stops the search, at its next check, once the walkers sharing its
  // progress have found `cap` solutions together; unlike max_solutions,
  // which solutions are kept then depends on timing.
  void cap_solutions(std::uint64_t cap) { solution_cap_ = cap; }

  // Budgets count what every walker sharing `progress` found, and a walker
  // that stops stops the others at their next check.
  void share(SharedProgress* progress) { shared_ = progress; }

  bool stopped() const { return stopped_; }
  bool out_of_memory() const { return out_of_memory_; }
  bool interrupted() const { return interrupted_; }
  std::uint64_t solutions_found() const { return solutions_found_; }
  // The estimated size of the result (the walkers' together once one
  // check has passed), and the memory there was for it at the last look.
  std::uint64_t bytes_needed() const { return bytes_needed_; }
  std::uint64_t bytes_available() const { return bytes_available_; }

  // The cost of a solution of `word_count` words that the engine stores in
  // `stored_bytes` and sorts in about `sort_nanoseconds`.
  SolutionCost cost_of(std::size_t word_count, std::uint64_t stored_bytes,
                       double sort_nanoseconds) const {
    const double words = static_cast<double>(word_count);
    return {
        .result_bytes = 2 * stored_bytes + costs_.bytes_per_solution +
                        costs_.bytes_per_word * word_count,
        .stored_bytes = stored_bytes,
        .finish_nanoseconds = static_cast<std::uint64_t>(
            sort_nanoseconds + 1e9 * (costs_.seconds_per_solution +
                                      costs_.seconds_per_word * words)),
        .kept_bytes =
            costs_.bytes_per_kept + costs_.bytes_per_kept_word * word_count,
        .kept_nanoseconds = static_cast<std::uint64_t>(
            1e9 * costs_.kept_seconds(1, word_count)),
    };
  }

  void count_steps(std::uint64_t steps) {
    steps_since_check_ += steps;
    if (steps_since_check_ < kStepsPerClockCheck) return;
    steps_since_check_ = 0;
    check_budgets();
  }

  // Counts `count` solutions that are not stored.
  void count_solutions(std::uint64_t count) {
    solutions_found_ = count > kUnlimited - solutions_found_
                           ? kUnlimited
                           : solutions_found_ + count;
    if (solutions_found_ >= max_solutions_) stopped_ = true;
  }

  void count_solution(const SolutionCost& cost) {
    result_bytes_ += cost.result_bytes;
    stored_bytes_ += cost.stored_bytes;
    finish_nanoseconds_ += cost.finish_nanoseconds;
    if (solutions_found_ < costs_.kept_most) {
      result_bytes_ += cost.kept_bytes;
      finish_nanoseconds_ += cost.kept_nanoseconds;
    }
    if (++solutions_found_ >= max_solutions_) stopped_ = true;
  }

  // Counts `count` stored solutions of `cost`, at most solutions_left().
  void count_solutions(std::uint64_t count, const SolutionCost& cost) {
    const std::uint64_t kept = std::min(
        count, costs_.kept_most - std::min(solutions_found_, costs_.kept_most));
    result_bytes_ += count * cost.result_bytes + kept * cost.kept_bytes;
    stored_bytes_ += count * cost.stored_bytes;
    finish_nanoseconds_ +=
        count * cost.finish_nanoseconds + kept * cost.kept_nanoseconds;
    solutions_found_ += count;
    if (solutions_found_ >= max_solutions_) stopped_ = true;
  }

  // How many more solutions max_solutions lets the search record.
  std::uint64_t solutions_left() const {
    return max_solutions_ - solutions_found_;
  }

 private:
  void check_budgets();
  void check_memory(std::uint64_t stored_bytes);
  void stop();

  std::uint64_t max_solutions_;
  std::uint64_t solution_cap_ = kUnlimited;
  std::optional<double> timeout_seconds_;
  Clock::time_point start_time_;
  FinishCosts costs_;
  std::uint64_t solutions_found_ = 0;
  std::uint64_t result_bytes_ = 0;
  std::uint64_t stored_bytes_ = 0;
  std::uint64_t finish_nanoseconds_ = 0;
  std::uint64_t steps_since_check_ = 0;
  std::uint64_t memory_checkpoint_ = kFirstMemoryCheckpoint;
  std::uint64_t bytes_needed_ = 0;
  std::uint64_t bytes_available_ = 0;
  bool stopped_ = false;
  bool out_of_memory_ = false;
  bool interrupted_ = false;
  const InterruptPoll* poll_;
  Clock::time_point next_poll_;
  SharedProgress* shared_ = nullptr;
  // What has been added to shared_ so far.
  std::uint64_t solutions_shared_ = 0;
  std::uint64_t result_bytes_shared_ = 0;
  std::uint64_t stored_bytes_shared_ = 0;
  std::uint64_t finish_nanoseconds_shared_ = 0;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_SEARCH_STOP_H_
