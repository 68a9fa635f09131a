// SolutionBuckets: the fast search's solutions, gathered by word count and
// shortest word, then sorted into the groups of a SolutionList.
//
// Each solution is one integer key whose order is the order of its word
// ranks, so that sorting a bucket word by word is sorting integers: the
// ranks in fields (solution_keys.h) when they fit one machine word; else the
// number of their multiset (multiset_numbering.h) when that fits; else
// fields in two machine words. Longer solutions are kept as rows.
//
// Invariant: every solution of a bucket has the bucket's word count and
// shortest word, and ranks below the word count given at construction.
// Cost: 8 bytes per solution in most cases, 16 for long ones, plus the
// sort's scratch (as large as the largest bucket); sorting is
// a radix sort per bucket, on two threads when allowed and worth it. A
// search under a time limit sorts no further than its deadline, so that a
// slow machine cannot stretch the call past it.
//
// Tested by tests/cpp/solver/fast_search_test.cc (through the search) and
// radix_sort_test.cc (the deadline).

#ifndef VORPALYX_SOLVER_SOLUTION_BUCKETS_H_
#define VORPALYX_SOLVER_SOLUTION_BUCKETS_H_

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "solver/key_blocks.h"
#include "solver/multiset_numbering.h"
#include "solver/search_stop.h"
#include "solver/solution_keys.h"
#include "solver/solution_list.h"

namespace vorpalyx {

class SolutionBuckets {
 public:
  // For solutions over `word_count` words (ranks 0 to word_count - 1).
  explicit SolutionBuckets(std::size_t word_count)
      : word_count_(word_count), rank_bits_(std::bit_width(word_count)) {}

  // How a bucket keeps its solutions: ranks in fields of one or two machine
  // words, the number of the multiset of ranks (when fields would need two
  // words and the number fits in one), or rows of ranks.
  enum class Form { kFields, kMultiset, kLongFields, kRows };
  struct Bucket {
    std::uint64_t shortest = 0;
    Form form = Form::kRows;
    std::size_t key_bits = 0;
    KeyBlocks<std::uint64_t> short_keys;
    KeyBlocks<LongKey> long_keys;
    SolutionGroup rows;
    // What a solution here costs, for the search's budgets; set by the
    // first to need it.
    std::optional<SolutionCost> cost;
  };

  // The bucket of the solutions of `word_count` words whose shortest word
  // has `shortest` letters.
  Bucket& bucket(std::size_t word_count, std::uint64_t shortest) {
    if (word_count < kTableSize && shortest < kTableSize) {
      Bucket*& entry = table_[word_count][shortest];
      if (entry == nullptr) entry = &create(word_count, shortest);
      return *entry;
    }
    auto [entry, inserted] =
        others_.try_emplace(std::pair(word_count, shortest), nullptr);
    if (inserted) entry->second = &create(word_count, shortest);
    return *entry->second;
  }

  // Records in `bucket` the solution made of `sorted` (`count` ranks,
  // ascending) and `last`.
  void add(Bucket& bucket, const std::uint32_t* sorted, std::size_t count,
           std::uint32_t last) {
    // Fields in one machine word, by far the most common, stay inline.
    if (bucket.form == Form::kFields) [[likely]] {
      bucket.short_keys.push_back(
          encode_key<std::uint64_t>(sorted, count, last, rank_bits_));
      return;
    }
    add_each(bucket, sorted, count, &last, 1);
  }

  // Records in `bucket` the solutions made of `sorted` (`count` ranks,
  // ascending) and each of `lasts` (`last_count` ranks, ascending).
  [[gnu::noinline]] void add_each(Bucket& bucket, const std::uint32_t* sorted,
                                  std::size_t count, const std::uint32_t* lasts,
                                  std::size_t last_count) {
    switch (bucket.form) {
      case Form::kFields:
        encode_keys<std::uint64_t>(
            sorted, count, lasts, last_count, rank_bits_,
            [&](std::uint64_t key) { bucket.short_keys.push_back(key); });
        return;
      case Form::kMultiset:
        numbering_->number_each(
            sorted, count, lasts, last_count,
            [&](std::uint64_t key) { bucket.short_keys.push_back(key); });
        return;
      case Form::kLongFields:
        encode_keys<LongKey>(
            sorted, count, lasts, last_count, rank_bits_,
            [&](LongKey key) { bucket.long_keys.push_back(key); });
        return;
      case Form::kRows:
        row_.resize(count + 1);
        for (std::size_t j = 0; j < last_count; ++j) {
          std::merge(sorted, sorted + count, lasts + j, lasts + j + 1,
                     row_.begin());
          bucket.rows.append(row_.data());
        }
        return;
    }
  }

  // What one solution of `word_count` words costs in `bucket`: its bytes
  // and sorting it (measured on the project's machine kind, with a margin:
  // keys by radix sort, rows by spreading them word by word).
  static SolutionCost cost_of(const Bucket& bucket, std::size_t word_count,
                              const SearchStop& stop) {
    switch (bucket.form) {
      case Form::kFields:
      case Form::kMultiset:
        return stop.cost_of(word_count, sizeof(std::uint64_t), 30);
      case Form::kLongFields:
        return stop.cost_of(word_count, sizeof(LongKey), 40);
      case Form::kRows:
        break;
    }
    // The row, and its pointer while sorted.
    return stop.cost_of(word_count,
                        sizeof(std::uint32_t) * word_count + sizeof(void*),
                        30 + 20.0 * static_cast<double>(word_count));
  }

  // The solutions recorded so far.
  std::size_t size() const;

  // The buckets as groups in result order (fewer words first, then the
  // longer shortest word), each sorted word by word; on two threads when
  // `use_second_thread` and there are enough solutions to be worth it.
  // `poll`, when given, is asked between buckets on the calling thread;
  // a yes throws SearchInterrupted. Under a `limit`, sorting leaves time for
  // what the caller then spends on each solution returned (`after`, by
  // seconds_per_solution and seconds_per_word): a bucket's deadline is the
  // limit less that time for it and the buckets before it in result order.
  // Past its deadline a bucket is sorted in part or not at all, and only
  // what precedes the first solution left unsorted, in result order, is
  // returned.
  std::vector<SolutionGroup> take_in_result_order(
      bool use_second_thread, const InterruptPoll* poll = nullptr,
      std::optional<std::chrono::steady_clock::time_point> limit = std::nullopt,
      const FinishCosts& after = {});

  // Moves the solutions of `other` (over the same words) into these.
  void absorb(SolutionBuckets& other);

 private:
  static constexpr std::size_t kTableSize = 64;
  // Past this many words, multisets of even a few ranks do not fit.
  static constexpr std::size_t kLargestNumberedMultiset = 16;
  // Sorting fewer keys than this takes less time than starting a thread.
  static constexpr std::size_t kKeysWorthASecondThread = std::size_t{1} << 16;

  static std::size_t size_of(const Bucket& bucket) {
    return bucket.short_keys.size() + bucket.long_keys.size() +
           bucket.rows.solution_count;
  }

  Bucket& create(std::size_t word_count, std::uint64_t shortest);
  bool multisets_fit(std::size_t size) const;
  const MultisetNumbering& numbering();
  struct SortScratch;
  template <typename Key>
  SolutionGroup keyed_group(
      KeyBlocks<Key>& keys, const Bucket& bucket, PageArray<Key>& scratch,
      const std::chrono::steady_clock::time_point* deadline) const;
  static SolutionGroup sorted_rows(SolutionGroup group);

  std::size_t word_count_;
  int rank_bits_;
  std::shared_ptr<const MultisetNumbering> numbering_;  // made when needed
  std::vector<std::uint32_t> row_;  // for solutions too long for a key
  // Small word counts and lengths by table, the rest by map; the deque keeps
  // every bucket at its address.
  std::array<std::array<Bucket*, kTableSize>, kTableSize> table_{};
  std::map<std::pair<std::size_t, std::uint64_t>, Bucket*> others_;
  std::deque<Bucket> buckets_;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_SOLUTION_BUCKETS_H_
