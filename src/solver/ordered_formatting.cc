#include "solver/ordered_formatting.h"

#include <algorithm>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "solver/two_threads.h"

namespace vorpalyx {
namespace {

class SegmentQueue {
 public:
  SegmentQueue(const SolutionList& list, SolutionFormat format,
               std::size_t first, std::size_t count,
               std::size_t segment_solutions)
      : list_(list),
        format_(format),
        first_(first),
        count_(count),
        segment_solutions_(segment_solutions),
        texts_((count + segment_solutions - 1) / segment_solutions) {}

  std::size_t segments() const { return texts_.size(); }

  // The helper's loop: formats segments until none is left or it is told
  // to stop.
  void format_until_done() {
    try {
      while (std::optional<std::size_t> segment = take()) {
        put(*segment, format_segment(*segment));
      }
    } catch (...) {
      stop();
      throw;
    }
  }

  // The caller's loop: emits the segments in order, formatting one itself
  // whenever the next is not ready and one may still be taken.
  bool emit_in_order(const std::function<bool(std::string_view)>& emit) {
    try {
      for (std::size_t segment = 0; segment < segments(); ++segment) {
        std::optional<std::string> text = wait_for(segment);
        if (!text) return false;
        if (!emit_segment(segment, *text, emit)) return false;
        give_back(std::move(*text));
        std::lock_guard lock(mutex_);
        emitted_ = segment + 1;
        changed_.notify_all();
      }
      return true;
    } catch (...) {
      stop();
      throw;
    }
  }

  void stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }

 private:
  std::optional<std::size_t> take() {
    std::unique_lock lock(mutex_);
    while (true) {
      if (stopped_ || next_ == segments()) return std::nullopt;
      if (may_take()) return next_++;
      changed_.wait(lock);
    }
  }

  // Whether one more segment may be formatted now; with the lock held.
  bool may_take() const { return next_ <= emitted_ + kSegmentsAhead; }

  void put(std::size_t segment, std::string text) {
    std::lock_guard lock(mutex_);
    texts_[segment] = std::move(text);
    changed_.notify_all();
  }

  // Segment `segment`'s text once it is formatted, here if it has not been
  // taken; none when the helper failed.
  std::optional<std::string> wait_for(std::size_t segment) {
    std::unique_lock lock(mutex_);
    while (!texts_[segment]) {
      if (stopped_) return std::nullopt;
      if (next_ < segments() && may_take()) {
        const std::size_t mine = next_++;
        lock.unlock();
        std::string text = format_segment(mine);
        lock.lock();
        texts_[mine] = std::move(text);
        changed_.notify_all();
        continue;
      }
      changed_.wait(lock);
    }
    std::string text = std::move(*texts_[segment]);
    texts_[segment].reset();
    return text;
  }

  // Formats a segment in chunks of a megabyte gathered into one text: a
  // chunk is cleared before it is written, and a segment's text is a used
  // one's storage, so no segment pays for fresh or zeroed pages.
  std::string format_segment(std::size_t segment) {
    const std::size_t start = segment * segment_solutions_;
    const std::size_t size = std::min(segment_solutions_, count_ - start);
    SolutionFormatter formatter(list_, format_, first_ + start, 1, size);
    std::string text = take_spare();
    std::string chunk;
    while (formatter.next_chunk(chunk)) text += chunk;
    return text;
  }

  std::string take_spare() {
    std::lock_guard lock(mutex_);
    if (spares_.empty()) return {};
    std::string spare = std::move(spares_.back());
    spares_.pop_back();
    spare.clear();
    return spare;
  }

  void give_back(std::string text) {
    std::lock_guard lock(mutex_);
    spares_.push_back(std::move(text));
  }

  // A JSON segment is an array of its own: its brackets are dropped, and
  // the run's are written around all of them.
  bool emit_segment(std::size_t segment, std::string_view text,
                    const std::function<bool(std::string_view)>& emit) const {
    if (format_ != SolutionFormat::kJson) return emit(text);
    if (!emit(segment == 0 ? "[" : ", ")) return false;
    if (!emit(text.substr(1, text.size() - 2))) return false;
    return segment + 1 < segments() || emit("]");
  }

  const SolutionList& list_;
  const SolutionFormat format_;
  const std::size_t first_;
  const std::size_t count_;
  const std::size_t segment_solutions_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::optional<std::string>> texts_;  // formatted, not emitted
  std::vector<std::string> spares_;  // emitted texts, their storage to reuse
  std::size_t next_ = 0;             // the first segment nobody has taken
  std::size_t emitted_ = 0;          // segments emitted
  bool stopped_ = false;
};

}  // namespace

bool format_in_order(const SolutionList& list, SolutionFormat format,
                     std::size_t first, std::size_t count,
                     std::size_t segment_solutions, bool use_second_thread,
                     const std::function<bool(std::string_view)>& emit) {
  if (count == 0) {
    return format != SolutionFormat::kJson || emit("[]");
  }
  SegmentQueue queue(list, format, first, count,
                     segment_solutions == 0 ? 1 : segment_solutions);
  HelperThread helper;
  if (use_second_thread && queue.segments() > 1) {
    helper.start([&queue] { queue.format_until_done(); });
  }
  bool emitted = false;
  try {
    emitted = queue.emit_in_order(emit);
  } catch (...) {
    queue.stop();
    helper.finish();
    throw;
  }
  queue.stop();
  helper.finish();
  return emitted;
}

}  // namespace vorpalyx
