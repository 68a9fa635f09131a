#include "solver/search_stop.h"

#include "solver/memory_budget.h"

namespace vorpalyx {

void SearchStop::check_memory(std::uint64_t solutions, double needed) {
  // What the process can still get, plus what the engine already holds
  // (its keys, counted in the estimate).
  const double held = static_cast<double>(solutions) * kKeyBytesHeld;
  bytes_available_ = static_cast<double>(available_memory_bytes()) + held;
  if (needed > bytes_available_) {
    out_of_memory_ = true;
    stop();
    return;
  }
  // Look again when half of what is left has been spoken for.
  memory_checkpoint_ = std::max(needed + (bytes_available_ - needed) / 2,
                                needed + 16.0 * (1 << 20));
  if (memory_checkpoint_ > bytes_available_) {
    memory_checkpoint_ = bytes_available_;
  }
}

}  // namespace vorpalyx
