// Work on a second thread, with its failure carried back to the first.
//
// HelperThread starts one piece of work on a new thread and, when asked to
// finish, waits for it and rethrows on the calling thread whatever it threw.
// When the system gives no thread, `start` says so and the caller does the
// work itself. run_on_two_threads runs one piece of work that shares itself
// out (through a counter both threads read) on the calling thread and, when
// allowed and possible, on a helper too.
//
// Invariant: a HelperThread is joined before it is destroyed, so the work
// may use anything that outlives the HelperThread. Cost: one thread start
// (tens of microseconds) per helper.
//
// Tested by tests/cpp/solver/two_threads_test.cc.

#ifndef VORPALYX_SOLVER_TWO_THREADS_H_
#define VORPALYX_SOLVER_TWO_THREADS_H_

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace vorpalyx {

// Whether the machine has a second core to give a helper, as it was when
// first asked.
bool second_core_available();

class HelperThread {
 public:
  HelperThread() = default;
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;
  ~HelperThread();

  bool started() const { return thread_.joinable(); }

  // Starts `work` on a new thread; false, and nothing runs, when no thread
  // can be had.
  bool start(std::function<void()> work);

  // Waits for the work to end and rethrows what it threw. Does nothing when
  // no work was started.
  void finish();

  // Waits for the work to end, asking `interrupted` every `interval`
  // meanwhile; true, with the work still running, once it says yes. Call
  // finish() after either way.
  bool wait_unless(const std::function<bool()>& interrupted,
                   std::chrono::steady_clock::duration interval);

 private:
  std::exception_ptr failure_;
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::jthread thread_;  // after what its work writes, so joined first
};

template <typename Work>
void run_on_two_threads(Work&& work, bool use_second_thread) {
  HelperThread helper;
  if (use_second_thread) helper.start(work);
  work();
  helper.finish();
}

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_TWO_THREADS_H_
