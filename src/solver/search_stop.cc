#include "solver/search_stop.h"

#include <algorithm>

#include "solver/memory_budget.h"

namespace vorpalyx {

void SearchStop::check_budgets() {
  std::uint64_t result_bytes = result_bytes_;
  std::uint64_t stored_bytes = stored_bytes_;
  std::uint64_t finish_nanoseconds = finish_nanoseconds_;
  std::uint64_t solutions = solutions_found_;
  if (shared_ != nullptr) {
    auto add = [](std::atomic<std::uint64_t>& total, std::uint64_t mine,
                  std::uint64_t& shared) {
      const std::uint64_t sum = total.fetch_add(mine - shared) + mine - shared;
      shared = mine;
      return sum;
    };
    solutions = add(shared_->solutions, solutions_found_, solutions_shared_);
    result_bytes =
        add(shared_->result_bytes, result_bytes_, result_bytes_shared_);
    stored_bytes =
        add(shared_->stored_bytes, stored_bytes_, stored_bytes_shared_);
    finish_nanoseconds = add(shared_->finish_nanoseconds, finish_nanoseconds_,
                             finish_nanoseconds_shared_);
    if (shared_->stopped.load(std::memory_order_relaxed)) stopped_ = true;
  }
  if (solutions >= solution_cap_) {
    stop();
    return;
  }
  if (poll_ != nullptr) {
    const Clock::time_point now = Clock::now();
    if (now >= next_poll_) {
      next_poll_ = now + poll_->interval;
      if (poll_->interrupted()) {
        interrupted_ = true;
        stop();
        return;
      }
    }
  }
  if (timeout_seconds_) {
    const std::chrono::duration<double> elapsed = Clock::now() - start_time_;
    const double to_finish = static_cast<double>(finish_nanoseconds) * 1e-9;
    if (elapsed.count() + to_finish > *timeout_seconds_) stop();
  }
  bytes_needed_ = result_bytes;
  if (result_bytes >= memory_checkpoint_) check_memory(stored_bytes);
}

void SearchStop::check_memory(std::uint64_t stored_bytes) {
  // What the process can still get, plus what the engine already holds
  // (counted in the estimate).
  const std::uint64_t available = available_memory_bytes();
  bytes_available_ = available > UINT64_MAX - stored_bytes
                         ? UINT64_MAX
                         : available + stored_bytes;
  if (bytes_needed_ > bytes_available_) {
    out_of_memory_ = true;
    stop();
    return;
  }
  // Look again when half of what is left has been spoken for.
  memory_checkpoint_ = std::min(
      bytes_available_,
      bytes_needed_ + std::max<std::uint64_t>(
                          (bytes_available_ - bytes_needed_) / 2, 16 << 20));
}

void SearchStop::stop() {
  stopped_ = true;
  if (shared_ != nullptr) shared_->stopped.store(true);
}

}  // namespace vorpalyx
