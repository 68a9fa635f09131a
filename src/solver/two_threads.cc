#include "solver/two_threads.h"

#include <system_error>
#include <utility>

namespace vorpalyx {

// Asked once: the C library reads /sys for it on every call, a system call
// or four per search in a batch of thousands.
bool second_core_available() {
  static const bool available = std::thread::hardware_concurrency() >= 2;
  return available;
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
      const std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
      ended_.notify_one();
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

bool HelperThread::wait_unless(const std::function<bool()>& interrupted,
                               std::chrono::steady_clock::duration interval) {
  if (!thread_.joinable()) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!ended_.wait_for(lock, interval, [this] { return done_; })) {
    lock.unlock();
    if (interrupted()) return true;
    lock.lock();
  }
  return false;
}

}  // namespace vorpalyx
