#include "solver/solution_buckets.h"

#include <atomic>
#include <bit>
#include <chrono>
#include <thread>

#include "solver/radix_sort.h"
#include "solver/row_sort.h"
#include "solver/two_threads.h"

namespace vorpalyx {

// The buffers that a thread sorts buckets through, kept from one bucket to
// the next.
struct SolutionBuckets::SortScratch {
  PageArray<std::uint64_t> short_keys;
  PageArray<LongKey> long_keys;
};

std::size_t SolutionBuckets::size() const {
  std::size_t total = 0;
  for (const Bucket& bucket : buckets_) total += size_of(bucket);
  return total;
}

std::vector<SolutionGroup> SolutionBuckets::take_in_result_order(
    bool use_second_thread, const InterruptPoll* poll,
    std::optional<std::chrono::steady_clock::time_point> limit,
    const FinishCosts& after) {
  const std::thread::id caller = std::this_thread::get_id();
  auto next_poll = std::chrono::steady_clock::now();
  std::atomic<bool> interrupted{false};
  // Between buckets, on the calling thread only: the poll may take back
  // locks that belong to that thread.
  auto should_stop = [&] {
    if (interrupted.load(std::memory_order_relaxed)) return true;
    if (poll == nullptr || !poll->interrupted ||
        std::this_thread::get_id() != caller) {
      return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now < next_poll) return false;
    next_poll = now + poll->interval;
    if (poll->interrupted()) interrupted = true;
    return interrupted.load();
  };
  std::sort(buckets_.begin(), buckets_.end(),
            [](const Bucket& left, const Bucket& right) {
              if (left.rows.word_count != right.rows.word_count) {
                return left.rows.word_count < right.rows.word_count;
              }
              return left.shortest > right.shortest;
            });
  std::vector<SolutionGroup> groups(buckets_.size());
  // Whether each group holds all of its bucket's solutions; past its
  // deadline, a bucket is sorted in part or not at all.
  std::unique_ptr<bool[]> whole(new bool[buckets_.size()]());
  // Each bucket's deadline leaves time for it and those before it only: a
  // search that found more than its limit allows for keeps the first
  // buckets, not the first alone.
  std::vector<std::chrono::steady_clock::time_point> deadlines;
  if (limit) {
    double seconds_after = 0;
    for (const Bucket& bucket : buckets_) {
      seconds_after += static_cast<double>(size_of(bucket)) *
                       (after.seconds_per_solution +
                        after.seconds_per_word *
                            static_cast<double>(bucket.rows.word_count));
      deadlines.push_back(
          *limit -
          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
              std::chrono::duration<double>(std::min(seconds_after, 1e9))));
    }
  }
  auto sort_bucket = [&](std::size_t index, SortScratch& scratch) {
    // The first group is sorted whole even so, so that a search that found
    // solutions returns some (the first group is seldom large).
    const std::chrono::steady_clock::time_point* const bucket_deadline =
        index == 0 || deadlines.empty() ? nullptr : &deadlines[index];
    if (bucket_deadline &&
        std::chrono::steady_clock::now() > *bucket_deadline) {
      return;
    }
    Bucket& bucket = buckets_[index];
    const std::size_t solutions = size_of(bucket);
    switch (bucket.form) {
      case Form::kFields:
      case Form::kMultiset:
        groups[index] = keyed_group(bucket.short_keys, bucket,
                                    scratch.short_keys, bucket_deadline);
        break;
      case Form::kLongFields:
        groups[index] = keyed_group(bucket.long_keys, bucket, scratch.long_keys,
                                    bucket_deadline);
        break;
      case Form::kRows:
        groups[index] = sorted_rows(std::move(bucket.rows));
        break;
    }
    whole[index] = groups[index].solution_count == solutions;
  };
  // What comes before the first solution left unsorted.
  auto sorted_part = [&] {
    for (std::size_t index = 0; index < groups.size(); ++index) {
      if (!whole[index]) {
        groups.resize(groups[index].solution_count != 0 ? index + 1 : index);
        break;
      }
    }
    return std::move(groups);
  };
  if (!use_second_thread || size() < kKeysWorthASecondThread) {
    // Scratch for the largest bucket at once, not grown bucket by bucket.
    SortScratch scratch;
    std::size_t most_short = 0;
    std::size_t most_long = 0;
    for (const Bucket& bucket : buckets_) {
      most_short = std::max(most_short, bucket.short_keys.size());
      most_long = std::max(most_long, bucket.long_keys.size());
    }
    scratch.short_keys = make_page_array<std::uint64_t>(most_short);
    scratch.long_keys = make_page_array<LongKey>(most_long);
    for (std::size_t index = 0; index < buckets_.size(); ++index) {
      if (should_stop()) throw SearchInterrupted();
      sort_bucket(index, scratch);
    }
    return sorted_part();
  }
  // The largest buckets first, so that the two threads finish together.
  std::vector<std::size_t> order(buckets_.size());
  for (std::size_t index = 0; index < order.size(); ++index) {
    order[index] = index;
  }
  std::sort(order.begin(), order.end(),
            [&](std::size_t left, std::size_t right) {
              return size_of(buckets_[left]) > size_of(buckets_[right]);
            });
  std::atomic<std::size_t> next{0};
  run_on_two_threads(
      [&] {
        SortScratch scratch;
        for (std::size_t taken; (taken = next.fetch_add(1)) < order.size();) {
          if (should_stop()) return;
          sort_bucket(order[taken], scratch);
        }
      },
      true);
  if (interrupted) throw SearchInterrupted();
  return sorted_part();
}

void SolutionBuckets::absorb(SolutionBuckets& other) {
  for (Bucket& theirs : other.buckets_) {
    Bucket& ours = bucket(theirs.rows.word_count, theirs.shortest);
    ours.short_keys.append(std::move(theirs.short_keys));
    ours.long_keys.append(std::move(theirs.long_keys));
    for (std::vector<std::uint32_t>& chunk : theirs.rows.chunks) {
      ours.rows.chunks.push_back(std::move(chunk));
    }
    ours.rows.solution_count += theirs.rows.solution_count;
  }
  other.buckets_.clear();
}

SolutionBuckets::Bucket& SolutionBuckets::create(std::size_t word_count,
                                                 std::uint64_t shortest) {
  Bucket& bucket = buckets_.emplace_back();
  bucket.shortest = shortest;
  bucket.key_bits = word_count * static_cast<std::size_t>(rank_bits_);
  bucket.rows.word_count = word_count;
  std::uint64_t largest = 0;
  if (bucket.key_bits <= 64) {
    bucket.form = Form::kFields;
  } else if (multisets_fit(word_count) &&
             numbering().fits(word_count, &largest)) {
    bucket.form = Form::kMultiset;
    bucket.key_bits = std::max<std::size_t>(std::bit_width(largest), 1);
  } else if (bucket.key_bits <= 128) {
    bucket.form = Form::kLongFields;
  }
  return bucket;
}

// Whether the multisets of `size` ranks can be numbered below 2^64, told
// without building the table: C(n + size - 1, size), step by step.
bool SolutionBuckets::multisets_fit(std::size_t size) const {
  if (size > kLargestNumberedMultiset) return false;
  LongKey count = 1;
  for (std::size_t i = 0; i < size; ++i) {
    // C(n + i, i + 1) from C(n + i - 1, i); exact at every step.
    count = count * (word_count_ + i) / (i + 1);
    if (count >> 64 != 0) return false;
  }
  return true;
}

const MultisetNumbering& SolutionBuckets::numbering() {
  if (!numbering_) {
    numbering_ = std::make_shared<const MultisetNumbering>(
        word_count_, kLargestNumberedMultiset);
  }
  return *numbering_;
}

template <typename Key>
SolutionGroup SolutionBuckets::keyed_group(
    KeyBlocks<Key>& keys, const Bucket& bucket, PageArray<Key>& scratch,
    const std::chrono::steady_clock::time_point* deadline) const {
  SolutionGroup group;
  group.word_count = bucket.rows.word_count;
  group.id_bits = rank_bits_;
  if (bucket.form == Form::kMultiset) group.numbering = numbering_;
  // The top digit is the first word's rank, up to 2^16 ranges.
  auto sorted = radix_sort(keys, static_cast<int>(bucket.key_bits),
                           std::min(rank_bits_, 16), scratch,
                           &group.solution_count, deadline);
  if constexpr (sizeof(Key) == sizeof(std::uint64_t)) {
    group.short_keys = std::move(sorted);
  } else {
    group.long_keys = std::move(sorted);
  }
  return group;
}

SolutionGroup SolutionBuckets::sorted_rows(SolutionGroup group) {
  const std::size_t width = group.word_count;
  std::vector<const std::uint32_t*> rows;
  rows.reserve(group.solution_count);
  for (const std::vector<std::uint32_t>& chunk : group.chunks) {
    for (std::size_t row = 0; row < chunk.size(); row += width) {
      rows.push_back(chunk.data() + row);
    }
  }
  sort_rows(rows, width);
  SolutionGroup sorted;
  sorted.word_count = width;
  for (const std::uint32_t* row : rows) sorted.append(row);
  return sorted;
}

}  // namespace vorpalyx
