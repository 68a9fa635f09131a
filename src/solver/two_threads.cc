#include "solver/two_threads.h"

#include <system_error>
#include <utility>

namespace vorpalyx {

bool second_core_available() {
  return std::thread::hardware_concurrency() >= 2;
}

HelperThread::~HelperThread() {
  if (thread_.joinable()) thread_.join();
}

bool HelperThread::start(std::function<void()> work) {
  try {
    thread_ = std::jthread([this, work = std::move(work)] {
      try {
        work();
      } catch (...) {
        failure_ = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void HelperThread::finish() {
  if (thread_.joinable()) thread_.join();
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

}  // namespace vorpalyx
